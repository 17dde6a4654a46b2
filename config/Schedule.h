// Schedule: when a mailbox is fetched. A list of daily windows (ScheduleItem) and the
// moment of the last start; due(now) says whether any window allows a start now.
//
// Moments are timestamps (seconds since 1994-01-01 00:00:00 local time, base/DateTime.h)
// and are always passed in, so the due test needs no clock and tests choose any moment.
// A window never crosses midnight: one whose until is at or before its from is never due.
// Every operation takes the schedule's own lock, so a schedule may be asked and marked
// from several threads.
//
// Untrusted input (record fields): times that are not "HH:MM" count as 0 seconds; a
// negative interval counts as 0 and one beyond 32 bits of seconds is capped.
#pragma once

#include <cstdint>
#include <mutex>
#include <vector>

#include "base/Str.h"

namespace quillet {

struct ScheduleItem {
  int32_t days = 0;   // bit d set = due on weekday d (1 Sunday .. 7 Saturday)
  int32_t from = 0;   // start of the daily window, seconds after midnight
  int32_t until = 0;  // end of the window (exclusive), seconds after midnight
  int32_t every = 0;  // least distance between two starts, seconds
};

class Schedule {
 public:
  Schedule() = default;
  // Copies take the items and lastRun under the source's lock.
  Schedule(const Schedule& other);
  Schedule& operator=(const Schedule& other);

  // Appends a window. daysText is cut or blank-padded to 7 characters, one per weekday
  // from Sunday; with anyMark a character that is not white space marks its day, without
  // it only an upper-case "X" does. fromText and untilText are cut or padded to 5
  // characters and read as "HH:MM" by position (0 when that is not a valid time).
  void add(const Str& daysText, const Str& fromText, const Str& untilText, int64_t everySeconds,
           bool anyMark);

  // True when some window is open at now (its weekday marked, from <= time of day < until)
  // and now is at least every seconds after the last start (any distance when it never
  // started).
  [[nodiscard]] bool due(uint32_t now) const;

  // Records now as the last start.
  void markRun(uint32_t now);

  // The last start; 0 = never.
  [[nodiscard]] uint32_t lastRun() const;
  [[nodiscard]] std::vector<ScheduleItem> items() const;

 private:
  mutable std::mutex mutex_;
  std::vector<ScheduleItem> items_;  // guarded by mutex_
  uint32_t lastRun_ = 0;             // guarded by mutex_
};

}  // namespace quillet
