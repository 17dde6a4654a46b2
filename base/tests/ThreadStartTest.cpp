// Tests of starting a worker thread and waiting for its set-up: a report of success or
// failure, a thread that ends without reporting, and a wait that a stopping run ends.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <optional>
#include <thread>

#include "base/ProcessContext.h"
#include "base/ThreadRegistry.h"
#include "base/ThreadStart.h"

namespace quillet {
namespace {

using namespace std::chrono_literals;

// A self-deleting thread that reports its set-up with setUpResult (none when empty), then
// ends; alive counts the objects that exist.
class SettingUpThread : public BaseThread {
 public:
  SettingUpThread(ThreadRegistry* registry, std::function<void(bool)> reporter,
                  std::optional<bool> setUpResult, std::atomic<int>* alive)
      : BaseThread(registry),
        reporter_(std::move(reporter)),
        setUpResult_(setUpResult),
        alive_(alive) {
    alive_->fetch_add(1);
  }
  ~SettingUpThread() override { alive_->fetch_sub(1); }

 protected:
  int run() override {
    std::this_thread::sleep_for(20ms);  // the starter is waiting by now
    if (setUpResult_) reporter_(*setUpResult_);
    return 0;
  }

 private:
  std::function<void(bool)> reporter_;
  std::optional<bool> setUpResult_;
  std::atomic<int>* alive_;
};

class ThreadStartTest : public ::testing::Test {
 protected:
  void SetUp() override { ProcessContext::instance().setRunning(true); }
  void TearDown() override {
    ProcessContext::instance().setRunning(true);
    for (int i = 0; i < 500 && alive_.load() > 0; ++i) std::this_thread::sleep_for(10ms);
    EXPECT_EQ(alive_.load(), 0) << "a started thread did not end";
  }

  // Starts a SettingUpThread and waits for its set-up; the result of the start.
  bool startAndAwait(std::optional<bool> setUpResult) {
    SetUpSignal signal;
    return startAndAwaitSetUp(
        new SettingUpThread(&registry_, signal.reporter(), setUpResult, &alive_), signal);
  }

  ThreadRegistry registry_;
  std::atomic<int> alive_{0};
};

TEST_F(ThreadStartTest, TheStartReturnsWhatTheThreadReported) {
  EXPECT_TRUE(startAndAwait(true));
  EXPECT_FALSE(startAndAwait(false));
}

TEST_F(ThreadStartTest, AThreadThatEndsWithoutReportingCountsAsFailed) {
  EXPECT_FALSE(startAndAwait(std::nullopt));

  SetUpSignal signal;
  { auto reporter = signal.reporter(); }  // dropped unreported
  EXPECT_FALSE(signal.wait());

  SetUpSignal failed;
  failed.reporter()(false);
  EXPECT_FALSE(failed.wait());
}

TEST_F(ThreadStartTest, AStoppingRunEndsTheWaitForAReport) {
  SetUpSignal signal;
  std::atomic<bool> waitEnded{false};
  // The thread is still setting up when the run stops; it reports success only after
  // three seconds, so a wait that missed the stop fails instead of hanging.
  std::thread stopper([&waitEnded, reporter = signal.reporter()] {
    std::this_thread::sleep_for(50ms);
    ProcessContext::instance().setRunning(false);
    for (int i = 0; i < 300 && !waitEnded.load(); ++i) std::this_thread::sleep_for(10ms);
    reporter(true);
  });
  EXPECT_FALSE(signal.wait());
  waitEnded = true;
  stopper.join();
}

}  // namespace
}  // namespace quillet
