// Tests of the millisecond stop watch, including a wrap of the 32-bit tick counter.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "base/StopWatch.h"

namespace quillet {
namespace {

TEST(StopWatchTest, DifferenceAcrossACounterWrapStaysSmall) {
  EXPECT_EQ(StopWatch::ticksBetween(0xFFFFFFF0u, 0x10u), 0x20u);
  EXPECT_EQ(StopWatch::ticksBetween(0xFFFFFFFFu, 0u), 1u);
  EXPECT_EQ(StopWatch::ticksBetween(1000u, 1000u), 0u);
  EXPECT_EQ(StopWatch::ticksBetween(1000u, 3500u), 2500u);
}

TEST(StopWatchTest, MeasuresElapsedTimeAndRestarts) {
  StopWatch watch;
  std::this_thread::sleep_for(std::chrono::milliseconds(60));
  uint32_t first = watch.elapsed();
  EXPECT_GE(first, 59u);  // the clock may round the start up by a millisecond
  EXPECT_LT(first, 5000u);
  EXPECT_GE(watch.elapsed(), first) << "monotonic";
  watch.restart();
  EXPECT_LT(watch.elapsed(), first);
}

}  // namespace
}  // namespace quillet
