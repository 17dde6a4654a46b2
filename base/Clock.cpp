// The one clock (see Clock.h): system readings, or a test's replacement under a lock.
#include "base/Clock.h"

#include <algorithm>
#include <atomic>
#include <cassert>
#include <ctime>
#include <mutex>

namespace quillet {

namespace {

constexpr int64_t kNanosecondsPerSecond = 1000000000;

// Set while a TestClock exists: readers skip the lock when it is false.
std::atomic<bool> replaced{false};
std::mutex replacementMutex;
int64_t testWallNs = 0;       // guarded by replacementMutex: nanoseconds since 1970 UTC
int64_t testMonotonicNs = 0;  // guarded by replacementMutex

int64_t systemNs(clockid_t clock) {
  timespec current{};
  clock_gettime(clock, &current);
  return int64_t{current.tv_sec} * kNanosecondsPerSecond + current.tv_nsec;
}

int64_t systemMonotonicNs() { return systemNs(CLOCK_MONOTONIC); }

// Whole seconds of a nanosecond count, rounded down (also before 1970).
int64_t wholeSeconds(int64_t ns) {
  return ns >= 0 ? ns / kNanosecondsPerSecond : -((-ns - 1) / kNanosecondsPerSecond) - 1;
}

// Each reading copies one value under the lock; a reader never sees a guard half gone.
bool testReading(const int64_t& value, int64_t& out) {
  if (!replaced.load(std::memory_order_acquire)) return false;
  std::lock_guard<std::mutex> lock(replacementMutex);
  if (!replaced.load(std::memory_order_relaxed)) return false;
  out = value;
  return true;
}

int64_t wallNs() {
  int64_t value = 0;
  return testReading(testWallNs, value) ? value : systemNs(CLOCK_REALTIME);
}

// The seconds since 1970 UTC of a local date and time, -1 when the system cannot convert
// it; the system's zone rules decide, an ambiguous hour (clocks set back) takes the zone's
// first guess.
time_t utcOfLocal(const Timer& local) {
  tm fields{};
  fields.tm_year = local.date.year - 1900;
  fields.tm_mon = local.date.month - 1;
  fields.tm_mday = local.date.day;
  fields.tm_hour = local.time.hour;
  fields.tm_min = local.time.minute;
  fields.tm_sec = local.time.second;
  fields.tm_isdst = -1;
  return mktime(&fields);
}

// The UTC nanoseconds of a local date and time.
int64_t wallNsOfLocal(const Timer& local) {
  const time_t seconds = utcOfLocal(local);
  assert(seconds != static_cast<time_t>(-1) && "a test clock needs a valid local time");
  return int64_t{seconds} * kNanosecondsPerSecond +
         int64_t{local.time.milliseconds} * (kNanosecondsPerSecond / 1000);
}

}  // namespace

MonotonicClock::time_point MonotonicClock::now() noexcept {
  int64_t value = 0;
  if (!testReading(testMonotonicNs, value)) value = systemMonotonicNs();
  return time_point(duration(value));
}

WaitDeadline::WaitDeadline(std::chrono::nanoseconds length)
    : end_(MonotonicClock::now() + length), realEndNs_(systemMonotonicNs() + length.count()) {}

std::chrono::nanoseconds WaitDeadline::left() const {
  const std::chrono::nanoseconds byClock = end_ - MonotonicClock::now();
  const std::chrono::nanoseconds inRealTime(realEndNs_ - systemMonotonicNs());
  return std::min(byClock, inRealTime);
}

int WaitDeadline::sliceMs(int maxMs) const {
  // Rounded up: a poll or sleep of the whole milliseconds cut down would end a wait up to
  // a millisecond before its deadline.
  const auto ms = std::chrono::ceil<std::chrono::milliseconds>(left()).count();
  return static_cast<int>(std::min<int64_t>(ms, maxMs));
}

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

int utcOffsetMinutesAt(const Timer& local) {
  const time_t when = utcOfLocal(local);
  tm resolved{};
  if (when == static_cast<time_t>(-1) || localtime_r(&when, &resolved) == nullptr) return 0;
  return static_cast<int>(resolved.tm_gmtoff / 60);
}

Timer now() {
  const int64_t ns = wallNs();
  const int64_t seconds = wholeSeconds(ns);
  return localTimeAt(seconds, static_cast<long>(ns - seconds * kNanosecondsPerSecond));
}

uint32_t currentTimestamp() {
  const Timer t = now();
  return toTimestamp(t.date, t.time);
}

int64_t utcSeconds() { return wholeSeconds(wallNs()); }

TestClock::TestClock(const Timer& localStart) {
  const int64_t wall = wallNsOfLocal(localStart);
  std::lock_guard<std::mutex> lock(replacementMutex);
  wasReplaced_ = replaced.load(std::memory_order_relaxed);
  savedWallNs_ = testWallNs;
  if (!wasReplaced_) testMonotonicNs = systemMonotonicNs();
  testWallNs = wall;
  replaced.store(true, std::memory_order_release);
}

TestClock::~TestClock() {
  std::lock_guard<std::mutex> lock(replacementMutex);
  // An outer guard gets its date back; the monotonic reading stays where it is.
  testWallNs = savedWallNs_;
  replaced.store(wasReplaced_, std::memory_order_release);
}

void TestClock::advance(std::chrono::nanoseconds step) {
  assert(step.count() >= 0 && "the monotonic reading never goes back");
  const int64_t ns = step.count();
  std::lock_guard<std::mutex> lock(replacementMutex);
  testWallNs += ns;
  testMonotonicNs += ns;
}

void TestClock::setLocal(const Timer& local) {
  const int64_t wall = wallNsOfLocal(local);
  std::lock_guard<std::mutex> lock(replacementMutex);
  testWallNs = wall;
}

}  // namespace quillet
