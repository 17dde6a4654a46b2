// The one clock: system readings, the test clock that replaces them (standing still,
// moved forward, date set back, nested guards, readers on other threads), and the waits
// and stop watch that a moved clock ends.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "base/Clock.h"
#include "base/DateTime.h"
#include "base/ProcessContext.h"
#include "base/StopWatch.h"
#include "tests/support/ClockDriver.h"
#include "tests/support/ScopedTimeZone.h"

namespace quillet {
namespace {

using namespace std::chrono_literals;
using testing::localTime;

TEST(ClockTest, SystemClockGivesTheRealDateAndTime) {
  const Timer real = now();
  EXPECT_TRUE(isValidDate(real.date));
  EXPECT_GE(real.date.year, 2024);
  EXPECT_EQ(real.date.dayOfWeek, dayOfWeek(real.date));
  EXPECT_GT(currentTimestamp(), 86410u);
  EXPECT_GT(utcSeconds(), int64_t{1700000000});
  const auto first = MonotonicClock::now();
  EXPECT_GE(MonotonicClock::now(), first);
}

TEST(ClockTest, TestClockReplacesEveryReadingAndIsRestored) {
  const int64_t realUtc = utcSeconds();
  {
    TestClock clock(localTime(1994, 1, 2, 0, 0, 10));
    EXPECT_EQ(now().date, (Date{1994, 1, 0, 2}));
    EXPECT_EQ(now().date.dayOfWeek, 1) << "1994-01-02 was a Sunday";
    EXPECT_EQ(currentTimestamp(), 86410u);
    EXPECT_LT(utcSeconds(), realUtc - int64_t{20} * 365 * 86400);
    const auto before = MonotonicClock::now();
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(MonotonicClock::now(), before) << "stands still until moved";
    EXPECT_EQ(currentTimestamp(), 86410u);
  }
  EXPECT_GE(utcSeconds(), realUtc);
  EXPECT_GT(currentTimestamp(), 86410u);
}

TEST(ClockTest, LocalTimesRoundTripThroughTheSystemZone) {
  // Dates a zone's rules may treat specially: leap day, year ends, the timestamp epoch.
  for (const Timer& moment :
       {localTime(1994, 1, 1, 0, 0, 0), localTime(2000, 2, 29, 12, 30, 45),
        localTime(2026, 12, 31, 23, 59, 59), localTime(2038, 1, 19, 3, 14, 8)}) {
    TestClock clock(moment);
    const Timer read = now();
    EXPECT_EQ(read.date, moment.date) << formatDate(moment.date, 2).toStd();
    EXPECT_EQ(read.date.dayOfWeek, moment.date.dayOfWeek);
    EXPECT_EQ(read.time, moment.time) << formatDate(moment.date, 2).toStd();
  }
}

TEST(ClockTest, UtcOffsetFollowsTheZoneAndItsDaylightSavingRules) {
  {
    testing::ScopedTimeZone zone("UTC0");
    EXPECT_EQ(utcOffsetMinutesAt(localTime(2026, 7, 1, 12, 0, 0)), 0);
  }
  testing::ScopedTimeZone zone("CET-1CEST,M3.5.0,M10.5.0/3");
  EXPECT_EQ(utcOffsetMinutesAt(localTime(2026, 1, 15, 12, 0, 0)), 60);
  EXPECT_EQ(utcOffsetMinutesAt(localTime(2026, 7, 15, 12, 0, 0)), 120);
  testing::ScopedTimeZone west("NST3:30NDT,M3.2.0,M11.1.0");  // half hours, west of Greenwich
  EXPECT_EQ(utcOffsetMinutesAt(localTime(2026, 1, 15, 12, 0, 0)), -210);
}

TEST(ClockTest, AdvanceMovesDateTimeUtcAndMonotonicTogether) {
  Timer start = localTime(2026, 12, 7, 23, 59, 59);
  start.time.milliseconds = 500;
  TestClock clock(start);
  const int64_t utc = utcSeconds();
  const auto monotonic = MonotonicClock::now();
  const uint32_t stamp = currentTimestamp();

  clock.advance(700ms);
  const Timer moved = now();
  EXPECT_EQ(moved.date, (Date{2026, 12, 0, 8}));
  EXPECT_EQ(moved.date.dayOfWeek, 3) << "a Tuesday";
  EXPECT_EQ(moved.time, (Time{0, 0, 0, 200}));
  EXPECT_EQ(utcSeconds(), utc + 1);
  EXPECT_EQ(currentTimestamp(), stamp + 1);
  EXPECT_EQ(MonotonicClock::now() - monotonic, 700ms);

  clock.advance(std::chrono::hours(24 * 31));
  EXPECT_EQ(now().date, (Date{2027, 1, 0, 8}));
  EXPECT_EQ(currentTimestamp(), stamp + 1 + 31 * 86400);
}

TEST(ClockTest, SettingTheDateBackLeavesTheMonotonicReadingAndStopWatchAlone) {
  TestClock clock(localTime(2026, 12, 8, 10, 0, 0));
  StopWatch watch;
  const auto monotonic = MonotonicClock::now();
  clock.setLocal(localTime(2026, 12, 7, 9, 0, 0));
  EXPECT_EQ(now().date, (Date{2026, 12, 0, 7}));
  EXPECT_EQ(MonotonicClock::now(), monotonic);
  EXPECT_EQ(watch.elapsed(), 0u);
  clock.advance(1500ms);
  EXPECT_EQ(watch.elapsed(), 1500u);
  EXPECT_EQ(now().time, (Time{9, 0, 1, 500}));
}

TEST(ClockTest, NestedGuardsRestoreTheOuterDateAndNeverTurnTheMonotonicReadingBack) {
  TestClock outer(localTime(2026, 6, 1, 8, 0, 0));
  const auto start = MonotonicClock::now();
  {
    TestClock inner(localTime(2030, 1, 1, 0, 0, 0));
    EXPECT_EQ(now().date, (Date{2030, 1, 0, 1}));
    inner.advance(5s);
  }
  EXPECT_EQ(now().date, (Date{2026, 6, 0, 1}));
  EXPECT_EQ(now().time, (Time{8, 0, 0, 0}));
  EXPECT_EQ(MonotonicClock::now() - start, 5s);
}

TEST(ClockTest, ReadersOnOtherThreadsSeeAMonotonicReadingThatNeverGoesBack) {
  TestClock clock(localTime(2026, 12, 7, 12, 0, 0));
  std::atomic<bool> stop{false};
  std::atomic<int> backwards{0};
  std::vector<std::thread> readers;
  readers.reserve(3);
  for (int i = 0; i < 3; ++i) {
    readers.emplace_back([&] {
      auto last = MonotonicClock::now();
      while (!stop) {
        const auto current = MonotonicClock::now();
        if (current < last) ++backwards;
        last = current;
        (void)now();
      }
    });
  }
  for (int i = 0; i < 2000; ++i) clock.advance(1ms);
  stop = true;
  for (std::thread& reader : readers) reader.join();
  EXPECT_EQ(backwards.load(), 0);
  EXPECT_EQ(now().time, (Time{12, 0, 2, 0}));
}

TEST(ClockTest, WaitDeadlineIsReachedByAMoveOrByItsLengthInRealTime) {
  TestClock clock(localTime(2026, 12, 7, 12, 0, 0));
  const WaitDeadline hour(std::chrono::hours(1));
  EXPECT_FALSE(hour.reached());
  EXPECT_EQ(hour.sliceMs(250), 250);
  clock.advance(std::chrono::minutes(59) + 59s + 900ms);
  EXPECT_FALSE(hour.reached());
  EXPECT_LE(hour.sliceMs(250), 100);
  EXPECT_GT(hour.sliceMs(250), 0);
  clock.advance(99ms + std::chrono::microseconds(800));  // 0.2 ms left: one more slice
  EXPECT_FALSE(hour.reached());
  EXPECT_EQ(hour.sliceMs(250), 1);
  clock.advance(std::chrono::microseconds(200));
  EXPECT_TRUE(hour.reached());
  EXPECT_LE(hour.sliceMs(250), 0);

  // A clock that stands still holds no wait beyond its length.
  const auto realStart = std::chrono::steady_clock::now();
  const WaitDeadline shortWait(150ms);
  while (!shortWait.reached()) std::this_thread::sleep_for(10ms);
  EXPECT_GE(std::chrono::steady_clock::now() - realStart, 150ms);
  EXPECT_LT(std::chrono::steady_clock::now() - realStart, 5s);
}

TEST(ClockTest, MovedClockEndsWaitSecondsWithoutWaitingInRealTime) {
  TestClock clock(localTime(2026, 12, 7, 12, 0, 0));
  const uint32_t start = currentTimestamp();
  const auto realStart = std::chrono::steady_clock::now();
  const std::chrono::milliseconds moved = testing::advanceUntilDone(
      clock, [] { waitSeconds(30); }, 50ms);
  EXPECT_LT(std::chrono::steady_clock::now() - realStart, 10s);
  // Into the next whole second, then 30 more.
  EXPECT_GE(moved, 30s);
  EXPECT_GE(currentTimestamp() - start, 30u);
}

}  // namespace
}  // namespace quillet
