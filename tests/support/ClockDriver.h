// Drives a TestClock while the code under test waits on another thread: the wait ends on
// its deadline in moments of real time, without a test ever sleeping for the deadline.
#pragma once

#include <chrono>
#include <functional>

#include "base/Clock.h"

namespace quillet::testing {

// Runs work on a thread of its own and moves clock forward by step every few real
// milliseconds until work has returned. Returns how far the clock was moved. A work that
// never returns keeps the test waiting (the test runner's time limit ends it).
std::chrono::milliseconds advanceUntilDone(TestClock& clock, const std::function<void()>& work,
                                           std::chrono::milliseconds step);

// A local date and time: y-m-d h:mi:s.
Timer localTime(int year, int month, int day, int hour, int minute, int second = 0);

}  // namespace quillet::testing
