// The daily message name counter: restart as the clock passes midnight, sequence, wrap and
// formatting.
#include <gtest/gtest.h>

#include <chrono>

#include "base/Clock.h"
#include "server/queue/MessageNameCounter.h"

namespace quillet {
namespace {

Timer at(uint16_t day, uint16_t hour, uint16_t minute, uint16_t second) {
  Timer t;
  t.date = Date{2026, 12, 0, day};
  t.time = Time{hour, minute, second, 0};
  return t;
}

TEST(MessageNameCounter, StartsEachDayAtTheSecondsSinceMidnightAndCountsUp) {
  TestClock clock(at(7, 0, 0, 2));
  MessageNameCounter counter;
  EXPECT_EQ(counter.nextName(), "MSG00003");
  EXPECT_EQ(counter.nextName(), "MSG00004");  // same second: consecutive numbers
  clock.setLocal(at(7, 10, 0, 0));
  EXPECT_EQ(counter.next(), 5u);  // same day: no restart
  clock.setLocal(at(8, 10, 0, 0));
  EXPECT_EQ(counter.next(), 36001u);  // new day: restart at 10:00:00
  EXPECT_EQ(counter.nextName(), "MSG08ca2");
}

TEST(MessageNameCounter, RestartsWhenTheClockPassesMidnight) {
  TestClock clock(at(7, 23, 59, 58));
  MessageNameCounter counter;
  EXPECT_EQ(counter.next(), 86399u);
  clock.advance(std::chrono::milliseconds(1999));
  EXPECT_EQ(counter.next(), 86400u) << "23:59:59.999 is still the same day";
  clock.advance(std::chrono::milliseconds(1));
  EXPECT_EQ(counter.nextName(), "MSG00001") << "00:00:00 restarts at 0 seconds";
  EXPECT_EQ(counter.next(), 2u);
  clock.advance(std::chrono::hours(24));
  EXPECT_EQ(counter.next(), 1u) << "every day restarts, also after a quiet day";
}

TEST(MessageNameCounter, WrapsAfterFFFFFToOne) {
  TestClock clock(at(7, 23, 59, 59));
  MessageNameCounter counter;
  uint32_t value = counter.next();
  EXPECT_EQ(value, 86400u);
  while (value != MessageNameCounter::kMaxValue) {
    const uint32_t following = counter.next();
    ASSERT_EQ(following, value + 1);
    value = following;
  }
  EXPECT_EQ(counter.nextName(), "MSG00001");
  EXPECT_EQ(counter.next(), 2u);
}

TEST(MessageNameCounter, FormatsFiveLowerCaseHexDigitsKeepingTheLastFive) {
  EXPECT_EQ(MessageNameCounter::formatNumber(0), "00000");
  EXPECT_EQ(MessageNameCounter::formatNumber(0xa3f2), "0a3f2");
  EXPECT_EQ(MessageNameCounter::formatNumber(0xFFFFF), "fffff");
  EXPECT_EQ(MessageNameCounter::formatNumber(0x123456), "23456");
}

}  // namespace
}  // namespace quillet
