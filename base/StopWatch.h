// StopWatch: milliseconds since it was made or restarted, from the monotonic reading of
// base/Clock.h (not affected by changes of the date; moved by a test clock). The start is kept as a
// 32-bit tick count like the system's other millisecond counters; differences are taken modulo
// 2^32, so a wrap of the counter (every 49.7 days) never gives a negative or huge value. It does
// not measure spans longer than 49.7 days.
#pragma once

#include <cstdint>

namespace quillet {

class StopWatch {
 public:
  StopWatch() { restart(); }

  void restart() { start_ = tickCount(); }
  // Milliseconds since construction or the last restart().
  [[nodiscard]] uint32_t elapsed() const { return ticksBetween(start_, tickCount()); }

  // Milliseconds of the monotonic clock, cut to 32 bits (wraps every 2^32 ms).
  [[nodiscard]] static uint32_t tickCount();
  // Milliseconds from tick start to tick now, across a wrap of the counter.
  [[nodiscard]] static constexpr uint32_t ticksBetween(uint32_t start, uint32_t now) {
    return now - start;  // unsigned arithmetic is modulo 2^32
  }

 private:
  uint32_t start_ = 0;
};

}  // namespace quillet
