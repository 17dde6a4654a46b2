// LogFiles: per-line open/append/close of the dated and current logs, and the purge.
#include "server/runtime/LogFiles.h"

#include <cstdio>
#include <utility>

#include "base/File.h"
#include "base/FileNames.h"

namespace quillet {
namespace {

constexpr int64_t kSecondsPerDay = 86400;

Str withTrailingSlash(Str directory) {
  if (!directory.empty() && directory.at(directory.length() - 1) != '/') directory += '/';
  return directory;
}

}  // namespace

LogFiles::LogFiles(LogOptions options) : options_(std::move(options)) {}

Str LogFiles::directory() const {
  Str path = options_.logPath;
  path.trim();
  if (path.empty()) return withTrailingSlash(options_.programDirectory);
  return withTrailingSlash(path);
}

Str LogFiles::datedPath(const Date& date) const {
  char name[32];
  std::snprintf(name, sizeof name, "STRANDEL%02u%02u%02u.LOG", date.year % 100u, date.month % 100u,
                date.day % 100u);
  return directory() + name;
}

Str LogFiles::currentPath() const { return directory() + "STRANDEL.LOG"; }

bool LogFiles::append(const Timer& moment, const Str& line) {
  if (!options_.writeLogFile) return true;
  std::lock_guard<std::mutex> guard(mutex_);

  const Str datedName = datedPath(moment.date);
  // A new day is a dated log that did not exist before this line. openAppend's own answer
  // is not enough: it also reports a creation when an existing log was busy for a moment,
  // and the current log must not be emptied then.
  const bool existed = fileExists(datedName);
  File dated(datedName);
  bool created = false;
  if (!dated.openAppend(created)) return false;
  const bool newDay = created && !existed;
  File current(currentPath());
  // A new day's first line starts the current log anew; otherwise it is appended to.
  bool currentCreated = false;
  const bool currentOpen =
      newDay ? current.open(File::kCreate) : current.openAppend(currentCreated);
  if (!currentOpen) {
    static_cast<void>(dated.close());  // nothing was written to it yet
    // The dated log made for this line stays (empty); its day has begun all the same.
    if (newDay && options_.purgeDays > 0) purge(moment);
    return false;
  }

  bool written = dated.writeLine(line);
  written = current.writeLine(line) && written;
  written = dated.close() && written;
  written = current.close() && written;
  if (newDay && options_.purgeDays > 0) purge(moment);
  return written;
}

int LogFiles::purge(const Timer& moment) const {
  const uint32_t today = toTimestamp(moment.date, Time{});
  if (today == 0 || options_.purgeDays <= 0) return 0;
  int deleted = 0;
  int daysWithoutLog = 0;
  for (int64_t day = int64_t{today} - int64_t{options_.purgeDays} * kSecondsPerDay;
       day >= 0 && daysWithoutLog < kPurgeGapDays; day -= kSecondsPerDay) {
    Date date;
    Time time;
    fromTimestamp(static_cast<uint32_t>(day), date, time);
    const Str path = datedPath(date);
    if (fileExists(path) && removeFile(path)) {
      ++deleted;
      daysWithoutLog = 0;
    } else {
      ++daysWithoutLog;
    }
  }
  return deleted;
}

}  // namespace quillet
