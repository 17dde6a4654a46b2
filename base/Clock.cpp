// The replaceable source of the current local date and time.
#include "base/Clock.h"

#include <ctime>
#include <mutex>

namespace quillet {

namespace {

std::mutex sourceMutex;
LocalTimeSource source;  // guarded by sourceMutex; empty = the system clock

}  // namespace

Timer localTimeAt(int64_t seconds, long nanoseconds) {
  const time_t when = static_cast<time_t>(seconds);
  tm local{};
  Timer t;
  if (localtime_r(&when, &local) == nullptr) return t;
  t.date.year = static_cast<uint16_t>(local.tm_year + 1900);
  t.date.month = static_cast<uint16_t>(local.tm_mon + 1);
  t.date.day = static_cast<uint16_t>(local.tm_mday);
  t.date.dayOfWeek = static_cast<uint16_t>(local.tm_wday + 1);  // 1 = Sunday
  t.time.hour = static_cast<uint16_t>(local.tm_hour);
  t.time.minute = static_cast<uint16_t>(local.tm_min);
  // A leap second (60) is shown as 59: the programs count 86400 seconds per day.
  t.time.second = static_cast<uint16_t>(local.tm_sec > 59 ? 59 : local.tm_sec);
  t.time.milliseconds = static_cast<uint16_t>(nanoseconds / 1000000);
  return t;
}

Timer systemLocalTime() {
  timespec current{};
  clock_gettime(CLOCK_REALTIME, &current);
  return localTimeAt(current.tv_sec, current.tv_nsec);
}

void setLocalTimeSource(LocalTimeSource replacement) {
  std::lock_guard<std::mutex> lock(sourceMutex);
  source = std::move(replacement);
}

Timer now() {
  LocalTimeSource current;
  {
    std::lock_guard<std::mutex> lock(sourceMutex);
    current = source;
  }
  return current ? current() : systemLocalTime();
}

}  // namespace quillet
