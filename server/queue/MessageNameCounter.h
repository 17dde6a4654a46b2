// The daily counter behind the message file names "MSG" + five hexadecimal digits.
//
// On the first request of each calendar day the counter restarts at the number of seconds
// since local midnight, so names of one day rarely repeat those of an earlier run that
// day; each request then adds 1, and a value above 0xFFFFF wraps to 1. The counter only
// proposes numbers: whoever creates the file still checks that the name is free.
// One counter serves the whole process (processCounter()); tests make their own and move
// the clock of base/Clock.h.
#pragma once

#include <cstdint>
#include <mutex>

#include "base/DateTime.h"
#include "base/Str.h"

namespace quillet {

class MessageNameCounter {
 public:
  static constexpr uint32_t kMaxValue = 0xFFFFF;

  MessageNameCounter() = default;

  // The counter the whole process shares.
  static MessageNameCounter& processCounter();

  // The next number (1 .. kMaxValue), after the daily restart when the date has changed.
  [[nodiscard]] uint32_t next();
  // "MSG" + next() as five lower-case hexadecimal digits, without directory or extension.
  [[nodiscard]] Str nextName();
  // value in base 16 with lower-case digits, left-padded with '0' to five characters; of a
  // longer number only the last five digits remain.
  [[nodiscard]] static Str formatNumber(uint32_t value);

 private:
  std::mutex mutex_;
  Date date_;           // guarded by mutex_: the local date of the last restart
  uint32_t value_ = 0;  // guarded by mutex_
};

}  // namespace quillet
