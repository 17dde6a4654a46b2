// Tests of the calendar arithmetic, the 1994 timestamp, fixed-position parsing and
// formatting and the clock-aligned wait on the system clock.
#include <gtest/gtest.h>

#include <chrono>

#include "base/DateTime.h"
#include "base/ProcessContext.h"

namespace quillet {
namespace {

Date makeDate(int y, int m, int d) {
  return Date{static_cast<uint16_t>(y), static_cast<uint16_t>(m), 0, static_cast<uint16_t>(d)};
}

Time makeTime(int h, int m, int s, int ms = 0) {
  return Time{static_cast<uint16_t>(h), static_cast<uint16_t>(m), static_cast<uint16_t>(s),
              static_cast<uint16_t>(ms)};
}

TEST(DateTimeTest, ValidDatesFollowTheGregorianLeapRule) {
  struct Case {
    int y, m, d;
    bool valid;
  };
  for (const Case& c : {Case{1999, 2, 29, false}, Case{2000, 2, 29, true}, Case{1900, 2, 29, false},
                        Case{2004, 2, 29, true}, Case{2004, 2, 30, false}, Case{2001, 4, 31, false},
                        Case{2001, 4, 30, true}, Case{2001, 12, 31, true}, Case{2001, 13, 1, false},
                        Case{2001, 0, 1, false}, Case{2001, 1, 0, false}, Case{0, 1, 1, false},
                        Case{2001, 1, 32, false}, Case{2001, 11, 31, false}}) {
    EXPECT_EQ(isValidDate(makeDate(c.y, c.m, c.d)), c.valid) << c.y << "-" << c.m << "-" << c.d;
  }
}

TEST(DateTimeTest, DayNumbersAndWeekdays) {
  EXPECT_EQ(dayNumber(makeDate(2000, 1, 1)), 2451545);
  EXPECT_EQ(dayNumber(makeDate(1, 1, 1)), 1721426);
  EXPECT_EQ(dayNumber(makeDate(2000, 3, 1)) - dayNumber(makeDate(2000, 2, 28)), 2);
  EXPECT_EQ(dayNumber(makeDate(1900, 3, 1)) - dayNumber(makeDate(1900, 2, 28)), 1);
  EXPECT_EQ(dayNumber(makeDate(2000, 0, 1)), 0);
  EXPECT_EQ(dayNumber(makeDate(1999, 2, 29)), -1);

  EXPECT_EQ(dayOfWeek(makeDate(2000, 1, 1)), 7);  // Saturday
  EXPECT_EQ(dayOfWeek(makeDate(2000, 1, 2)), 1);  // Sunday
  EXPECT_EQ(dayOfWeek(makeDate(1994, 1, 1)), 7);
  EXPECT_EQ(dayOfWeek(makeDate(2026, 12, 7)), 2);  // Monday
  EXPECT_EQ(dayOfWeek(makeDate(1999, 2, 29)), 0);
}

TEST(DateTimeTest, DayNumberConversionIsItsOwnInverse) {
  for (int32_t number = 1721426; number < 5373484; number += 97) {
    const Date date = dateFromDayNumber(number);
    ASSERT_TRUE(isValidDate(date)) << number;
    ASSERT_EQ(dayNumber(date), number);
    ASSERT_EQ(date.dayOfWeek, dayOfWeek(date));
  }
  EXPECT_EQ(dateFromDayNumber(2451545), makeDate(2000, 1, 1));
  EXPECT_EQ(dateFromDayNumber(1721425).year, 0);
  EXPECT_EQ(dateFromDayNumber(5373484).year, 0);  // 10000-01-01
}

TEST(DateTimeTest, TimestampsCountSecondsSince1994) {
  EXPECT_EQ(toTimestamp(makeDate(1994, 1, 1), makeTime(0, 0, 0)), 0u);
  EXPECT_EQ(toTimestamp(makeDate(1994, 1, 2), makeTime(0, 0, 0)), 86400u);
  EXPECT_EQ(toTimestamp(makeDate(1994, 1, 1), makeTime(1, 2, 3, 999)), 3723u);
  EXPECT_EQ(toTimestamp(makeDate(1993, 12, 31), makeTime(23, 59, 59)), 0u);
  EXPECT_EQ(toTimestamp(makeDate(1993, 6, 1), makeTime(12, 0, 0)), 0u);
  EXPECT_EQ(toTimestamp(Date{}, makeTime(12, 0, 0)), 0u);
  EXPECT_EQ(toTimestamp(makeDate(1999, 2, 29), makeTime(12, 0, 0)), 0u);
  // 1994, 1995 (365 days each), 1996 (366) and 1997 to 1999 lie before 2000.
  EXPECT_EQ(toTimestamp(makeDate(2000, 1, 1), makeTime(0, 0, 0)), 2191u * 86400u);
  // The leap day occupies a day of its own.
  EXPECT_EQ(toTimestamp(makeDate(2000, 3, 1), makeTime(0, 0, 0)) -
                toTimestamp(makeDate(2000, 2, 28), makeTime(0, 0, 0)),
            2u * 86400u);
}

TEST(DateTimeTest, TimestampRoundTripsIncludingLeapDays) {
  for (const Date& d : {makeDate(1994, 1, 1), makeDate(1996, 2, 29), makeDate(2000, 2, 29),
                        makeDate(2000, 3, 1), makeDate(2024, 2, 29), makeDate(2026, 12, 31),
                        makeDate(2100, 3, 1), makeDate(2130, 1, 1)}) {
    Date date;
    Time time;
    fromTimestamp(toTimestamp(d, makeTime(23, 59, 58)), date, time);
    EXPECT_EQ(date, d) << formatDate(d, 2).c_str();
    EXPECT_EQ(time, makeTime(23, 59, 58));
    EXPECT_EQ(date.dayOfWeek, dayOfWeek(d));
  }
  // Every 7 hours and 13 seconds over the whole 32-bit range.
  for (uint64_t s = 0; s <= 0xFFFFFFFFull; s += 7 * 3600 + 13) {
    Date date;
    Time time;
    fromTimestamp(static_cast<uint32_t>(s), date, time);
    ASSERT_TRUE(isValidDate(date)) << s;
    ASSERT_EQ(toTimestamp(date, time), s);
  }
}

TEST(DateTimeTest, TimesAndSecondsOfDay) {
  EXPECT_TRUE(isValidTime(makeTime(23, 59, 59)));
  EXPECT_FALSE(isValidTime(makeTime(24, 0, 0)));
  EXPECT_FALSE(isValidTime(makeTime(0, 60, 0)));
  EXPECT_FALSE(isValidTime(makeTime(0, 0, 60)));
  EXPECT_EQ(secondsOfDay(makeTime(1, 1, 1)), 3661);

  Time time = makeTime(7, 8, 9);
  EXPECT_FALSE(assignTime(time, makeTime(25, 0, 0)));
  EXPECT_EQ(time, makeTime(7, 8, 9));
  EXPECT_TRUE(assignTime(time, makeTime(10, 11, 12)));
  EXPECT_EQ(time, makeTime(10, 11, 12));
  EXPECT_FALSE(makeTime(1, 2, 3, 4) == makeTime(1, 2, 3, 5));

  struct Case {
    int64_t n;
    Time expected;
  };
  for (const Case& c : {Case{90061, makeTime(1, 1, 1)}, Case{86400, makeTime(0, 0, 0)},
                        Case{1, makeTime(0, 0, 1)}, Case{86401, makeTime(0, 0, 1)},
                        Case{172800, makeTime(0, 0, 0)}, Case{86399, makeTime(23, 59, 59)}}) {
    Time t = makeTime(9, 9, 9);
    EXPECT_TRUE(timeFromSeconds(c.n, t)) << c.n;
    EXPECT_EQ(t, c.expected) << c.n;
  }
  Time unchanged = makeTime(9, 9, 9);
  EXPECT_FALSE(timeFromSeconds(0, unchanged));
  EXPECT_FALSE(timeFromSeconds(-5, unchanged));
  EXPECT_EQ(unchanged, makeTime(9, 9, 9));
}

TEST(DateTimeTest, ParseTimeReadsFixedPositions) {
  struct Case {
    const char* text;
    bool ok;
    Time expected;
  };
  for (const Case& c :
       {Case{"12:34", true, makeTime(12, 34, 0)}, Case{"12:34:56", true, makeTime(12, 34, 56)},
        Case{"12:34:5", true, makeTime(12, 34, 0)},  // seconds need 8 characters
        Case{"07.05", true, makeTime(7, 5, 0)},      // separators are not checked
        Case{" 7: 5", true, makeTime(7, 5, 0)},      // atoi skips white space
        Case{"1234", false, {}}, Case{"24:00", false, {}}, Case{"12:60", false, {}},
        Case{"12:00:60", false, {}}, Case{"-1:00", false, {}}}) {
    Time time = makeTime(1, 1, 1);
    EXPECT_EQ(parseTime(c.text, time), c.ok) << c.text;
    EXPECT_EQ(time, c.ok ? c.expected : makeTime(1, 1, 1)) << c.text;
  }
}

TEST(DateTimeTest, ParseDateReadsYyyyMmDd) {
  Date date = makeDate(2001, 1, 1);
  EXPECT_TRUE(parseDate("20000229", date));
  EXPECT_EQ(date, makeDate(2000, 2, 29));
  EXPECT_EQ(date.dayOfWeek, 3);  // Tuesday
  EXPECT_TRUE(parseDate("19991231xyz", date));
  EXPECT_EQ(date, makeDate(1999, 12, 31));
  for (const char* bad : {"19990229", "2000022", "00000000", "2000-1-1", "20001301"}) {
    Date kept = makeDate(2001, 1, 1);
    EXPECT_FALSE(parseDate(bad, kept)) << bad;
    EXPECT_EQ(kept, makeDate(2001, 1, 1)) << bad;
  }
}

TEST(DateTimeTest, FormatsDatesAndTimes) {
  const Date d = makeDate(2001, 3, 4);
  const char* expected[] = {"",         "01-03-04",   "2001-03-04", "04.03.01",   "04.03.2001",
                            "03/04/01", "03/04/2001", "20010304",   "2001/03/04", ""};
  for (int format = 0; format <= 9; ++format) {
    EXPECT_EQ(formatDate(d, format).toStd(), expected[format]) << format;
  }
  EXPECT_EQ(formatDate(makeDate(987, 1, 1), 2).toStd(), "0987-01-01");

  const Time t = makeTime(5, 6, 7);
  EXPECT_EQ(formatTime(t, 1).toStd(), "05:06");
  EXPECT_EQ(formatTime(t, 2).toStd(), "05:06:07");
  EXPECT_EQ(formatTime(t, 3).toStd(), "0506");
  EXPECT_EQ(formatTime(t, 4).toStd(), "050607");
  EXPECT_EQ(formatTime(t, 0).toStd(), "050607");
}

TEST(DateTimeTest, WaitSecondsWaitsForWholeClockSeconds) {
  using namespace std::chrono;
  const auto start = steady_clock::now();
  waitSeconds(1);
  const auto elapsed = duration_cast<milliseconds>(steady_clock::now() - start).count();
  EXPECT_GE(elapsed, 1000);
  EXPECT_LT(elapsed, 2700);
}

TEST(DateTimeTest, WaitSecondsEndsWhenTheProcessStops) {
  using namespace std::chrono;
  ProcessContext::instance().setRunning(false);
  const auto start = steady_clock::now();
  waitSeconds(5);
  const auto elapsed = duration_cast<milliseconds>(steady_clock::now() - start).count();
  ProcessContext::instance().setRunning(true);
  EXPECT_LT(elapsed, 500);
}

}  // namespace
}  // namespace quillet
