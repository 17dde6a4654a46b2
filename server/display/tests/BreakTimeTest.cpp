// Break time arithmetic from BreakTime and BreakRelative.
#include <gtest/gtest.h>

#include "base/DateTime.h"
#include "server/display/BreakTime.h"

namespace quillet {
namespace {

uint32_t moment(int day, int hour, int minute, int second) {
  return toTimestamp(Date{2026, 12, 0, static_cast<uint16_t>(day)},
                     Time{static_cast<uint16_t>(hour), static_cast<uint16_t>(minute),
                          static_cast<uint16_t>(second), 0});
}

const uint32_t kStart = moment(7, 4, 0, 0);  // the run started at 04:00

TEST(BreakTimeTest, TimeOfDayIsTodayOrTomorrow) {
  EXPECT_EQ(absoluteBreakTime("03:00", kStart), moment(8, 3, 0, 0));
  EXPECT_EQ(absoluteBreakTime("05:30:15", kStart), moment(7, 5, 30, 15));
  EXPECT_EQ(absoluteBreakTime(" 23:59 ", kStart), moment(7, 23, 59, 0));
  EXPECT_EQ(absoluteBreakTime("04:00", kStart), moment(8, 4, 0, 0)) << "now counts as passed";
  EXPECT_EQ(absoluteBreakTime("", kStart), 0u);
  EXPECT_EQ(absoluteBreakTime("25:00", kStart), 0u);
  EXPECT_EQ(absoluteBreakTime("3:00", kStart), 0u) << "read by position: needs HH:MM";
  EXPECT_EQ(absoluteBreakTime("garbage", kStart), 0u);
}

TEST(BreakTimeTest, RelativeCountsFromNow) {
  EXPECT_EQ(relativeBreakTime("1:2:30", kStart), moment(8, 6, 30, 0));
  EXPECT_EQ(relativeBreakTime("0:30", kStart), moment(7, 4, 30, 0));
  EXPECT_EQ(relativeBreakTime("26:90", kStart), moment(8, 7, 30, 0));
  EXPECT_EQ(relativeBreakTime("0:1:0:99", kStart), moment(7, 5, 0, 0)) << "extra parts ignored";
  EXPECT_EQ(relativeBreakTime("0:00", kStart), kStart);
}

TEST(BreakTimeTest, UnusableRelativeValuesSetNoBreak) {
  EXPECT_EQ(relativeBreakTime("", kStart), 0u);
  EXPECT_EQ(relativeBreakTime("30", kStart), 0u) << "no colon: neither hours nor minutes";
  EXPECT_EQ(relativeBreakTime("-1:30", kStart), 0u);
  EXPECT_EQ(relativeBreakTime("a:30", kStart), 0u);
  EXPECT_EQ(relativeBreakTime("1:", kStart), 0u);
  EXPECT_EQ(relativeBreakTime("999999999:0:0", kStart), 0u) << "beyond the timestamp scale";
  EXPECT_EQ(relativeBreakTime("1234567890:0", kStart), 0u) << "too many digits";
}

TEST(BreakTimeTest, EarlierOfBothWins) {
  EXPECT_EQ(computeBreakTime("03:00", "0:30", kStart), moment(7, 4, 30, 0));
  EXPECT_EQ(computeBreakTime("05:00", "2:00", kStart), moment(7, 5, 0, 0));
  EXPECT_EQ(computeBreakTime("05:00", "", kStart), moment(7, 5, 0, 0));
  EXPECT_EQ(computeBreakTime("", "1:2:30", kStart), moment(8, 6, 30, 0));
  EXPECT_EQ(computeBreakTime("", "", kStart), 0u);
  EXPECT_EQ(computeBreakTime("bad", "30", kStart), 0u);
}

}  // namespace
}  // namespace quillet
