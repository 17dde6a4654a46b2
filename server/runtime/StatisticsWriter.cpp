// The daily statistic files.
#include "server/runtime/StatisticsWriter.h"

#include <utility>

#include "base/Clock.h"
#include "server/queue/QueuePaths.h"
#include "server/runtime/StatisticsCsvFile.h"

namespace quillet {

namespace {

constexpr int kDateYearMonthDay = 2;  // formatDate: YYYY-MM-DD
constexpr int kDateCompact = 7;       // formatDate: YYYYMMDD
constexpr int kTimeWithSeconds = 2;   // formatTime: HH:MM:SS

ArrayStr columnNames(bool withFile) {
  ArrayStr names;
  for (const char* name : {"Date", "Time", "Type", "From", "To", "Bytes"}) names.add(Str(name));
  if (withFile) names.add(Str("File"));
  return names;
}

}  // namespace

StatisticsWriter::StatisticsWriter(StatisticsOptions options) : options_(std::move(options)) {}

Str StatisticsWriter::pathFor(const Date& date) const {
  Str directory = options_.statisticPath;
  directory.trim();
  if (directory.empty()) {
    directory = options_.programDirectory;
  }
  if (!directory.empty() && directory.at(directory.length() - 1) != '/') directory += '/';
  return directory + "SM" + formatDate(date, kDateCompact).mid(2) + ".CSV";
}

bool StatisticsWriter::write(const Str& direction, const Str& sender,
                             const ArraySMTPInfoAddress& recipients, uint64_t size,
                             const Str& archivePath) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!options_.writeStatisticFile) return true;

  const Timer time = now();
  const bool archived = !archivePath.isBlank();
  CSVFile file(pathFor(time.date), !options_.useAnsi, options_.writeHeader);
  file.setHeader(columnNames(archived));

  const Str date = formatDate(time.date, kDateYearMonthDay);
  const Str clock = formatTime(time.time, kTimeWithSeconds);
  const Str bytes = Str::fromUInt(size);
  const Str archiveName = archived ? baseNameOf(archivePath) : Str();
  for (const SMTPInfoAddress& recipient : recipients) {
    ArrayStr row;
    row.add(date);
    row.add(clock);
    row.add(direction);
    row.add(sender);
    row.add(recipient.address);
    row.add(bytes);
    if (archived) row.add(archiveName);
    if (!file.appendRow(row)) return false;
  }
  return true;
}

}  // namespace quillet
