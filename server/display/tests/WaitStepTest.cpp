// The wait step with scripted keys, short timings and signal files in a temporary
// directory; key decoding of the terminal key source.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <deque>
#include <filesystem>
#include <string>
#include <vector>

#include "base/Clock.h"
#include "base/ProcessContext.h"
#include "server/display/KeySource.h"
#include "server/display/WaitStep.h"
#include "tests/support/ClockDriver.h"
#include "tests/support/FileBytes.h"
#include "tests/support/TempDir.h"

namespace quillet {
namespace {

namespace fs = std::filesystem;
using std::chrono::milliseconds;

class ScriptedKeys : public KeySource {
 public:
  explicit ScriptedKeys(std::deque<int> keys) : keys_(std::move(keys)) {}
  std::optional<int> nextKey() override {
    if (keys_.empty()) return std::nullopt;
    const int key = keys_.front();
    keys_.pop_front();
    return key;
  }

 private:
  std::deque<int> keys_;
};

class WaitStepTest : public ::testing::Test {
 protected:
  void TearDown() override { ProcessContext::instance().setRunning(true); }

  WaitStep makeStep(KeySource* keys, WaitTimings timings, uint32_t breakAt = 0) {
    return WaitStep(timings, keys, requests_, output_, Str((root_.string() + "/").c_str()), breakAt,
                    [this] { ++logMailings_; });
  }
  void touch(const char* name) { ASSERT_TRUE(testing::writeBytes(temp_.file(name), "")); }

  testing::TempDir temp_{"quillet-wait-step"};
  fs::path root_ = temp_.path();
  RunRequests requests_;
  std::vector<std::string> lines_;
  MessageOutput output_{LogOptions{false, "", 0, ""},
                        [this](const std::string& line) { lines_.push_back(line); }};
  int logMailings_ = 0;
  // One pass per run(): the Interval ends during the first sleep.
  WaitTimings onePass_{milliseconds(20), milliseconds(100), milliseconds(100)};
  WaitTimings quick_{milliseconds(300), milliseconds(5), milliseconds(100)};
};

TEST_F(WaitStepTest, IntervalWithoutInputContinuesWhenTheClockHasMovedOnByIt) {
  TestClock clock(testing::localTime(2026, 12, 7, 3, 0, 0));
  WaitStep step =
      makeStep(nullptr, WaitTimings{std::chrono::seconds(60), milliseconds(5), milliseconds(100)});
  WaitResult result = WaitResult::Stop;
  const auto started = std::chrono::steady_clock::now();
  const milliseconds moved = testing::advanceUntilDone(
      clock, [&] { result = step.run(); }, milliseconds(500));
  EXPECT_EQ(result, WaitResult::Continue);
  EXPECT_GE(moved, std::chrono::seconds(60));
  EXPECT_LT(moved, std::chrono::seconds(75));
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(20));
  EXPECT_TRUE(lines_.empty());
}

TEST_F(WaitStepTest, IntervalWithoutInputContinuesOnTheSystemClock) {
  WaitStep step = makeStep(nullptr, quick_);
  const auto started = std::chrono::steady_clock::now();
  EXPECT_EQ(step.run(), WaitResult::Continue);
  EXPECT_GE(std::chrono::steady_clock::now() - started, quick_.interval);
  EXPECT_TRUE(lines_.empty());
}

TEST_F(WaitStepTest, PauseRequestEndsTheWaitBeforeTheInterval) {
  WaitStep step =
      makeStep(nullptr, WaitTimings{std::chrono::seconds(30), milliseconds(5), milliseconds(100)});
  step.setPauseCheck([] { return true; });
  touch("OSMTP.sig");
  const auto started = std::chrono::steady_clock::now();
  EXPECT_EQ(step.run(), WaitResult::Continue);
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5));
  // Paused: nothing is acted on, not even a signal file.
  EXPECT_TRUE(fs::exists(root_ / "OSMTP.sig"));
  EXPECT_FALSE(requests_.outboundRun.isSet());
}

TEST_F(WaitStepTest, ZeroIntervalStillPollsOnce) {
  touch("IPOP3.sig");
  WaitStep step =
      makeStep(nullptr, WaitTimings{milliseconds(0), milliseconds(50), milliseconds(100)});
  const auto started = std::chrono::steady_clock::now();
  EXPECT_EQ(step.run(), WaitResult::Continue);
  EXPECT_GE(std::chrono::steady_clock::now() - started, milliseconds(50));
  EXPECT_TRUE(requests_.inboundRun.isSet());
}

TEST_F(WaitStepTest, EscapeThenLowerCaseYStops) {
  // Through a pipe as the terminal would deliver it: Escape, then "y" without Shift.
  int pipeEnds[2];
  ASSERT_EQ(::pipe(pipeEnds), 0);
  ASSERT_EQ(::write(pipeEnds[1], "\x1b", 1), 1);
  TerminalKeySource keys(pipeEnds[0]);
  WaitStep step =
      makeStep(&keys, WaitTimings{milliseconds(5000), milliseconds(5), milliseconds(5000)});
  std::thread answer([&] {
    std::this_thread::sleep_for(milliseconds(50));
    (void)::write(pipeEnds[1], "y", 1);
  });
  const auto started = std::chrono::steady_clock::now();
  EXPECT_EQ(step.run(), WaitResult::Stop);
  EXPECT_LT(std::chrono::steady_clock::now() - started, milliseconds(3000));
  answer.join();
  EXPECT_EQ(lines_, (std::vector<std::string>{"", "Terminate Quillet ? (Yes/No)"}));
  ::close(pipeEnds[0]);
  ::close(pipeEnds[1]);
}

TEST_F(WaitStepTest, EscapeThenSilenceResumes) {
  ScriptedKeys keys({KeySource::kEscape});
  WaitStep step = makeStep(&keys, quick_);
  EXPECT_EQ(step.run(), WaitResult::Continue);
  EXPECT_EQ(lines_,
            (std::vector<std::string>{"", "Terminate Quillet ? (Yes/No)", "Quillet resumes"}));
}

TEST_F(WaitStepTest, QuestionIgnoresOtherKeysAndEndsWithNo) {
  for (char yes : {'Y', 'J', 'O'}) {
    ScriptedKeys keys({KeySource::kEscape, 'P', yes});
    EXPECT_EQ(makeStep(&keys, quick_).run(), WaitResult::Stop) << yes;
  }
  EXPECT_FALSE(requests_.inboundRun.isSet()) << "P inside the question is ignored";
  lines_.clear();
  ScriptedKeys keys({KeySource::kEscape, 'N', 'Y'});
  EXPECT_EQ(makeStep(&keys, quick_).run(), WaitResult::Continue) << "Y after N is no answer";
  EXPECT_EQ(lines_.back(), "Quillet resumes");
}

TEST_F(WaitStepTest, KeysSetTheirRequests) {
  ScriptedKeys keys({'P', 'X', 'Q', 'R'});
  EXPECT_EQ(makeStep(&keys, quick_).run(), WaitResult::Continue);
  EXPECT_TRUE(requests_.inboundRun.consume());
  EXPECT_TRUE(requests_.queueListing.consume());
  EXPECT_TRUE(requests_.outboundRun.consume());
}

TEST_F(WaitStepTest, SignalFilesOnePerPassInOrder) {
  touch("IPOP3.sig");
  touch("OSMTP.sig");
  touch("SendLog.sig");
  WaitStep step = makeStep(nullptr, onePass_);

  EXPECT_EQ(step.run(), WaitResult::Continue);
  EXPECT_FALSE(fs::exists(root_ / "IPOP3.sig"));
  EXPECT_TRUE(fs::exists(root_ / "OSMTP.sig"));
  EXPECT_TRUE(requests_.inboundRun.isSet());
  EXPECT_FALSE(requests_.outboundRun.isSet());

  EXPECT_EQ(step.run(), WaitResult::Continue);
  EXPECT_FALSE(fs::exists(root_ / "OSMTP.sig"));
  EXPECT_TRUE(requests_.outboundRun.isSet());
  EXPECT_EQ(logMailings_, 0);

  EXPECT_EQ(step.run(), WaitResult::Continue);
  EXPECT_FALSE(fs::exists(root_ / "SendLog.sig"));
  EXPECT_EQ(logMailings_, 1);
  EXPECT_EQ(step.run(), WaitResult::Continue);
  EXPECT_EQ(logMailings_, 1);
}

TEST_F(WaitStepTest, UndeletableSignalFileIsReportedOnceAndNotActedOn) {
  fs::create_directory(root_ / "IPOP3.sig");  // a directory: removeFile cannot delete it
  touch("OSMTP.sig");
  WaitStep step = makeStep(nullptr, onePass_);
  EXPECT_EQ(step.run(), WaitResult::Continue);
  EXPECT_EQ(step.run(), WaitResult::Continue);
  if (!fs::exists(root_ / "IPOP3.sig")) GTEST_SKIP() << "the file layer deletes directories";
  EXPECT_FALSE(requests_.inboundRun.isSet());
  EXPECT_TRUE(requests_.outboundRun.isSet()) << "the next signal file still works";
  ASSERT_EQ(lines_.size(), 1u);
  EXPECT_NE(lines_[0].find("IPOP3.sig"), std::string::npos);
}

TEST_F(WaitStepTest, BreakTimeStopsOnceTheClockReachesIt) {
  const Timer fixed = testing::localTime(2026, 12, 7, 3, 0, 0);
  TestClock clock(fixed);
  const uint32_t nowStamp = toTimestamp(fixed.date, fixed.time);
  WaitTimings longWait{milliseconds(60000), milliseconds(5), milliseconds(60000)};

  EXPECT_EQ(makeStep(nullptr, longWait, nowStamp).run(), WaitResult::Stop);

  // A break 90 seconds ahead: the first Interval ends before it, the second stops at it.
  const uint32_t breakAt = nowStamp + 90;
  WaitStep step = makeStep(nullptr, longWait, breakAt);
  WaitResult result = WaitResult::Stop;
  milliseconds moved = testing::advanceUntilDone(
      clock, [&] { result = step.run(); }, milliseconds(250));
  EXPECT_EQ(result, WaitResult::Continue);
  EXPECT_GE(moved, milliseconds(60000));
  EXPECT_LT(currentTimestamp(), breakAt);
  moved = testing::advanceUntilDone(
      clock, [&] { result = step.run(); }, milliseconds(250));
  EXPECT_EQ(result, WaitResult::Stop);
  EXPECT_GE(currentTimestamp(), breakAt);
  EXPECT_LT(moved, milliseconds(60000)) << "before the end of the Interval";

  // The break is a moment of the date and time: setting the date past it stops at once.
  clock.setLocal(testing::localTime(2026, 12, 8, 0, 0, 0));
  EXPECT_EQ(makeStep(nullptr, longWait, nowStamp + 3600).run(), WaitResult::Stop);
}

TEST_F(WaitStepTest, ClearedRunningFlagEndsTheWait) {
  WaitTimings longWait{milliseconds(60000), milliseconds(5), milliseconds(60000)};

  ProcessContext::instance().setRunning(false);
  const auto started = std::chrono::steady_clock::now();
  EXPECT_EQ(makeStep(nullptr, longWait).run(), WaitResult::Continue);
  EXPECT_LT(std::chrono::steady_clock::now() - started, milliseconds(1000));
}

TEST(KeySourceTest, DecodesLettersEscapeAndSwallowsSequences) {
  std::deque<int> keys;
  TerminalKeySource::decode(
      "p\x1b[A"
      "q\x1bOPr\x1b[15~\x1by\x1b",
      keys);
  EXPECT_EQ(keys, (std::deque<int>{'P', 'Q', 'R', KeySource::kEscape, 'Y', KeySource::kEscape}));
  keys.clear();
  TerminalKeySource::decode("\r\n\x03N", keys);
  EXPECT_EQ(keys, std::deque<int>{'N'});
}

}  // namespace
}  // namespace quillet
