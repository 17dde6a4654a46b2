// LogFiles: the dated log "STRANDEL" + YYMMDD + ".LOG" and the current log "STRANDEL.LOG"
// in the log directory, both opened, appended and closed for every line so that other
// programs (a viewer, the zip step of the log mailing) can read them at any time and a
// crash loses no line. The first line of a new day creates the dated log, starts the
// current log anew and purges old dated logs.
//
// It does not show anything on screen and reads no settings file: LogOptions carries the
// settings. Lines are written as given plus CR LF; the caller renders them.
#pragma once

#include <cstdint>
#include <mutex>

#include "base/DateTime.h"
#include "base/Str.h"

namespace quillet {

// What the log files take from the server settings.
struct LogOptions {
  bool writeLogFile = true;  // WriteLogFile
  Str logPath;               // LogPath; blank = the program directory
  int purgeDays = 0;         // LogFilePurgeDays; 0 or less = never purge
  Str programDirectory;      // where the logs go when logPath is blank ('/'-terminated or empty)
};

class LogFiles {
 public:
  // The purge stops after this many consecutive days without a deleted log.
  static constexpr int kPurgeGapDays = 31;

  explicit LogFiles(LogOptions options);

  // The log directory, ending in '/' (empty = the current directory).
  [[nodiscard]] Str directory() const;
  // The dated and the current log of the given date.
  [[nodiscard]] Str datedPath(const Date& date) const;
  [[nodiscard]] Str currentPath() const;

  // Appends line + CR LF to both logs of the moment's date, creating them as described
  // above. True when the line reached both files, or logging is off. False when either
  // file could not be opened or written; the next call tries again. Thread-safe: the log
  // lock is held from opening to closing.
  [[nodiscard]] bool append(const Timer& moment, const Str& line);

 private:
  // Deletes the dated logs from purgeDays before the moment backwards until a gap of
  // kPurgeGapDays days without a log, or until the first day of the timestamp scale.
  // Returns the number of logs deleted. Called by append(), under the log lock, when a
  // day's log is created.
  int purge(const Timer& moment) const;

  LogOptions options_;
  std::mutex mutex_;  // the log lock
};

}  // namespace quillet
