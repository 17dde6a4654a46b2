// The mailbox schedule: windows built from record text and the due test over a week of
// moments, driven by a simulated manager that looks at a moved clock once a minute and
// marks each start.
#include <gtest/gtest.h>

#include <chrono>
#include <vector>

#include "base/Clock.h"
#include "base/DateTime.h"
#include "config/Schedule.h"

namespace quillet {
namespace {

// 2026-12-06 is a Sunday; day 6 + k is weekday k + 1.
uint32_t moment(int day, int hour, int minute, int second = 0) {
  Date date;
  date.year = 2026;
  date.month = 12;
  date.day = static_cast<uint16_t>(day);
  Time time;
  time.hour = static_cast<uint16_t>(hour);
  time.minute = static_cast<uint16_t>(minute);
  time.second = static_cast<uint16_t>(second);
  return toTimestamp(date, time);
}

// Looks once a minute for the given number of minutes at the clock, which starts at start
// and is moved on by 60 seconds after each look, marking a run whenever the schedule is
// due; returns the moments of the starts.
std::vector<uint32_t> simulate(Schedule& schedule, uint32_t start, int minutes) {
  Timer begin;
  fromTimestamp(start, begin.date, begin.time);
  TestClock clock(begin);
  std::vector<uint32_t> starts;
  for (int i = 0; i < minutes; ++i) {
    const uint32_t now = currentTimestamp();
    EXPECT_EQ(now, start + static_cast<uint32_t>(i) * 60);
    if (schedule.due(now)) {
      schedule.markRun(now);
      starts.push_back(now);
    }
    clock.advance(std::chrono::seconds(60));
  }
  return starts;
}

TEST(ScheduleTest, WeekOfOfficeHoursEveryThirtyMinutesOnMarkedDaysOnly) {
  Schedule schedule;
  schedule.add("X X X X", "08:00", "18:00", 30 * 60, true);  // Sun, Tue, Thu, Sat
  const std::vector<uint32_t> starts = simulate(schedule, moment(6, 0, 0), 7 * 24 * 60);

  std::vector<uint32_t> expected;
  for (int day : {6, 8, 10, 12}) {
    for (int half = 0; half < 20; ++half)
      expected.push_back(moment(day, 8 + half / 2, (half % 2) * 30));
  }
  EXPECT_EQ(starts, expected);
}

TEST(ScheduleTest, WindowEdgesAndDistanceFromLastRun) {
  Schedule schedule;
  schedule.add("XXXXXXX", "08:00", "18:00", 30 * 60, true);
  EXPECT_FALSE(schedule.due(moment(7, 7, 59, 59)));
  EXPECT_TRUE(schedule.due(moment(7, 8, 0, 0)));  // lastRun 0: due at the first look
  EXPECT_TRUE(schedule.due(moment(7, 17, 59, 59)));
  EXPECT_FALSE(schedule.due(moment(7, 18, 0, 0)));

  schedule.markRun(moment(7, 17, 29, 59));
  EXPECT_FALSE(schedule.due(moment(7, 17, 59, 58)));
  EXPECT_TRUE(schedule.due(moment(7, 17, 59, 59)));
  EXPECT_EQ(schedule.lastRun(), moment(7, 17, 29, 59));
}

TEST(ScheduleTest, EveryZeroIsDueAtEveryLookInsideTheWindow) {
  Schedule schedule;
  schedule.add("XXXXXXX", "08:00", "18:00", 0, true);
  const std::vector<uint32_t> starts = simulate(schedule, moment(9, 7, 0), 12 * 60);
  ASSERT_EQ(starts.size(), 600u);
  EXPECT_EQ(starts.front(), moment(9, 8, 0));
  EXPECT_EQ(starts.back(), moment(9, 17, 59));
}

TEST(ScheduleTest, WindowsThatEndAtOrBeforeTheirStartAreNeverDue) {
  struct Case {
    const char* from;
    const char* until;
  };
  for (const Case& c : {Case{"18:00", "08:00"}, Case{"08:00", "08:00"}, Case{"00:00", "00:00"},
                        Case{"22:00", "00:00"}, Case{"08:00", "24:00"}}) {
    Schedule schedule;
    schedule.add("XXXXXXX", c.from, c.until, 0, true);
    EXPECT_TRUE(simulate(schedule, moment(6, 0, 0), 24 * 60).empty()) << c.from << "-" << c.until;
  }
}

TEST(ScheduleTest, MalformedTimesAndIntervalsFromTheRecord) {
  Schedule bad;
  bad.add("X", "ab:cd", "01:00", -5 * 60, true);  // from reads as midnight, every as 0
  ASSERT_EQ(bad.items().size(), 1u);
  EXPECT_EQ(bad.items()[0].from, 0);
  EXPECT_EQ(bad.items()[0].until, 3600);
  EXPECT_EQ(bad.items()[0].every, 0);
  EXPECT_EQ(bad.items()[0].days, 1 << 1);  // only Sunday; the short text is padded
  EXPECT_TRUE(bad.due(moment(6, 0, 30)));

  Schedule huge;
  huge.add("XXXXXXX", "", "23:59", int64_t{99999999} * 60, true);
  EXPECT_EQ(huge.items()[0].every, INT32_MAX);
  EXPECT_EQ(huge.items()[0].from, 0);  // empty text: not a time
  EXPECT_TRUE(huge.due(moment(6, 12, 0)));
  huge.markRun(moment(6, 12, 0));
  EXPECT_FALSE(huge.due(moment(12, 12, 0)));
}

TEST(ScheduleTest, MarksCountAsAnyNonBlankOrOnlyCapitalX) {
  Schedule any;
  any.add("x.\t-0 X", "00:00", "23:00", 0, true);
  // Sunday 'x', Monday '.', Tuesday tab (white space), Wednesday '-', Thursday '0',
  // Friday blank, Saturday 'X'.
  EXPECT_EQ(any.items()[0].days, (1 << 1) | (1 << 2) | (1 << 4) | (1 << 5) | (1 << 7));

  Schedule strict;
  strict.add("x.\t-0 X", "00:00", "23:00", 0, false);
  EXPECT_EQ(strict.items()[0].days, 1 << 7);
  EXPECT_FALSE(strict.due(moment(6, 12, 0)));
  EXPECT_TRUE(strict.due(moment(12, 12, 0)));
}

TEST(ScheduleTest, AnyOpenWindowMakesTheScheduleDueAndCopiesKeepLastRun) {
  Schedule schedule;
  schedule.add("XXXXXXX", "06:00", "07:00", 0, true);
  schedule.add("XXXXXXX", "20:00", "21:00", 3600, true);
  EXPECT_TRUE(schedule.due(moment(7, 6, 30)));
  EXPECT_TRUE(schedule.due(moment(7, 20, 30)));
  EXPECT_FALSE(schedule.due(moment(7, 12, 0)));
  schedule.markRun(moment(7, 20, 10));

  Schedule copy(schedule);
  EXPECT_EQ(copy.lastRun(), moment(7, 20, 10));
  EXPECT_EQ(copy.items().size(), 2u);
  EXPECT_FALSE(copy.due(moment(7, 20, 30)));
  Schedule assigned;
  assigned = schedule;
  EXPECT_EQ(assigned.lastRun(), moment(7, 20, 10));
}

}  // namespace
}  // namespace quillet
