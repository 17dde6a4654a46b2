// The one clock of the programs. Every reading of time goes through here: the local date
// and time, the UTC seconds since 1970, and a monotonic reading for deadlines and elapsed
// times. All three come from one source: the system's clocks, or, while a TestClock exists,
// a clock that a test sets and moves by hand, so that schedules, expiry, retries, purges
// and day changes can be tested without sleeping.
//
// Waits under a moved clock: a wait still sleeps in real time (poll slices, sleep_for),
// but its end is a WaitDeadline computed from MonotonicClock::now(). A wait that sleeps
// in slices and looks at its deadline after each slice therefore ends at its next look
// once a test has moved the clock past the deadline; moving the clock never cuts a slice
// short. A test clock that stands still does not hold a wait forever: a WaitDeadline is
// also reached when its whole length has passed in real time. Fixed short pauses (a
// thread's pause of at most 750 ms on its condition variable) are real time only.
//
// Reading the clock is cheap and thread-safe: one atomic load in front of the system
// clock calls; only while a TestClock exists does a reading take a lock.
#pragma once

#include <chrono>
#include <cstdint>

#include "base/DateTime.h"

namespace quillet {

// The monotonic reading as a standard clock type, so durations and time points work as
// with std::chrono::steady_clock. Never set back, not affected by changes of the date.
// Its time points are not those of steady_clock: never hand them to a condition
// variable's wait_until (use wait_for with a computed duration).
struct MonotonicClock {
  using duration = std::chrono::nanoseconds;
  using rep = duration::rep;
  using period = duration::period;
  using time_point = std::chrono::time_point<MonotonicClock>;
  static constexpr bool is_steady = true;

  [[nodiscard]] static time_point now() noexcept;
};

// The end of a wait of a given length that sleeps in slices: reached when the monotonic
// reading has moved on by the length or, whichever comes first, when the length has
// passed in real time. On the system clock both are the same moment; under a TestClock a
// move ends the wait early, and a clock that stands still leaves the real length.
class WaitDeadline {
 public:
  explicit WaitDeadline(std::chrono::nanoseconds length);

  [[nodiscard]] bool reached() const { return left() <= std::chrono::nanoseconds::zero(); }
  // What is left of the wait; zero or less once it is reached.
  [[nodiscard]] std::chrono::nanoseconds left() const;
  // What is left in whole milliseconds (rounded up), at most maxMs: the length of the next
  // poll or sleep. 0 or less only when the deadline is reached, so a wait that sleeps until
  // then never ends early.
  [[nodiscard]] int sliceMs(int maxMs) const;

 private:
  MonotonicClock::time_point end_;
  int64_t realEndNs_;
};

// The current local date and time, millisecond precision.
[[nodiscard]] Timer now();
// The timestamp (seconds since 1994-01-01 00:00:00 local time) of now().
[[nodiscard]] uint32_t currentTimestamp();
// Seconds since 1970-01-01 00:00:00 UTC.
[[nodiscard]] int64_t utcSeconds();

// The local date and time of a moment given as seconds and nanoseconds since 1970-01-01
// UTC (as the system reports file times), millisecond precision; all zero when the
// system cannot convert it.
[[nodiscard]] Timer localTimeAt(int64_t seconds, long nanoseconds);

// The system time zone's offset from UTC, in minutes east of Greenwich, in force at a
// local date and time (daylight saving included); 0 when the system cannot convert it.
[[nodiscard]] int utcOffsetMinutesAt(const Timer& local);

// Replaces the clock for as long as it exists: every reading above comes from it. It
// starts at a given local date and time and stands still until the test moves it.
// Restores on destruction the clock that was in place before (the system's, or an outer
// TestClock's date and time), so guards nest; an outer guard's monotonic reading keeps
// the inner one's moves. Back on the system clock, a deadline computed from a moved
// reading lies that much further ahead: stop the threads under test before the guard
// ends. Thread-safe: threads of the code under test may read while the test moves it.
class TestClock {
 public:
  // Stands at localStart (milliseconds included; a valid date from 1970 on). The
  // monotonic reading goes on from the real one's present value, so deadlines computed
  // before keep their meaning.
  explicit TestClock(const Timer& localStart);
  ~TestClock();
  TestClock(const TestClock&) = delete;
  TestClock& operator=(const TestClock&) = delete;

  // Moves the date and time and the monotonic reading forward by step (not negative).
  void advance(std::chrono::nanoseconds step);
  // Sets the date and time only, forward or back, as an administrator setting the
  // system's date would; the monotonic reading stays where it is.
  void setLocal(const Timer& local);

 private:
  // What this guard found in place, put back by the destructor.
  bool wasReplaced_ = false;
  int64_t savedWallNs_ = 0;
};

}  // namespace quillet
