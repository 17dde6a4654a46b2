// StatisticsWriter: one row per recipient of every message queued for delivery, in the
// daily file "SM" + YYMMDD + ".CSV" (in StatisticPath, or the program directory when that
// is blank). The server never reads these files back.
//
// Columns: Date (YYYY-MM-DD), Time (HH:MM:SS), Type, From, To, Bytes and, only for an
// archived message, File (the archived copy's name without its directory). The header is
// written only when a day's file is created, so its column count follows the first
// message of the day. A failed write ends the rows of that message; the next message tries
// again. Settings arrive in StatisticsOptions; this class reads no settings file.
#pragma once

#include <cstdint>
#include <mutex>

#include "base/DateTime.h"
#include "base/Str.h"
#include "server/queue/SMTPInfo.h"

namespace quillet {

// What the statistics writer takes from the server settings.
struct StatisticsOptions {
  bool writeStatisticFile = false;  // WriteStatisticFile
  Str statisticPath;                // StatisticPath; blank = the program directory
  bool useAnsi = false;             // StatisticFileUseANSI: convert OEM text to ANSI
  bool writeHeader = true;          // StatisticFileWriteHeader
  Str programDirectory;             // where the files go when statisticPath is blank
};

class StatisticsWriter {
 public:
  // The Type of a message queued for outbound delivery.
  static constexpr const char* kDirectionOutbound = "O";

  // A writer with the given settings; rows carry the local date and time of base/Clock.h.
  explicit StatisticsWriter(StatisticsOptions options);

  // The statistic file of a day: directory + "SM" + YYMMDD + ".CSV".
  [[nodiscard]] Str pathFor(const Date& date) const;

  // Writes one row per recipient (date and time taken once for the message). archivePath
  // empty = not archived, no File column. True when every row was written or statistics
  // are off; false at the first row that could not be written. Thread-safe.
  [[nodiscard]] bool write(const Str& direction, const Str& sender,
                           const ArraySMTPInfoAddress& recipients, uint64_t size,
                           const Str& archivePath);

 private:
  StatisticsOptions options_;
  std::mutex mutex_;  // the statistics lock: one message's rows at a time
};

}  // namespace quillet
