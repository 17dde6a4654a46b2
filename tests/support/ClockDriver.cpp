// Moving a test clock while a wait runs (see ClockDriver.h).
#include "tests/support/ClockDriver.h"

#include <atomic>
#include <thread>

namespace quillet::testing {

std::chrono::milliseconds advanceUntilDone(TestClock& clock, const std::function<void()>& work,
                                           std::chrono::milliseconds step) {
  std::atomic<bool> done{false};
  std::thread worker([&] {
    work();
    done = true;
  });
  std::chrono::milliseconds moved{0};
  while (!done) {
    // Real pauses between the steps, so the waiting thread looks between two moves.
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    if (done) break;
    clock.advance(step);
    moved += step;
  }
  worker.join();
  return moved;
}

Timer localTime(int year, int month, int day, int hour, int minute, int second) {
  Timer moment;
  moment.date = Date{static_cast<uint16_t>(year), static_cast<uint16_t>(month), 0,
                     static_cast<uint16_t>(day)};
  moment.date.dayOfWeek = static_cast<uint16_t>(dayOfWeek(moment.date));
  moment.time = Time{static_cast<uint16_t>(hour), static_cast<uint16_t>(minute),
                     static_cast<uint16_t>(second), 0};
  return moment;
}

}  // namespace quillet::testing
