// Tests of the stop sequence: threads that end when asked, a thread that ends only during
// the grace period, and a thread that never ends and is abandoned. Pauses are the real
// 750 ms ones, so the time-out is kept at two pauses.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>

#include "ServerTestSupport.h"
#include "server/StopSequence.h"

namespace quillet {
namespace {

using namespace std::chrono_literals;
using testing::ServerRunFixture;
using testing::TestWorker;

class StopSequenceTest : public ::testing::Test {
 protected:
  StopSequenceTest() : run_("SmartHost=mail\r\n") { run_.makeRun(); }

  void startWorker(std::chrono::milliseconds ignoreStopFor = 0ms,
                   std::shared_ptr<std::atomic<bool>> release = nullptr) {
    auto* worker =
        new TestWorker(&run_.app().threads(), log_, "w", {}, ignoreStopFor, std::move(release));
    ASSERT_TRUE(worker->start());
  }
  void waitForWorkers(size_t n) {
    for (int i = 0; i < 500; ++i) {
      {
        std::lock_guard lock(log_->mutex);
        if (log_->started.size() >= n) return;
      }
      std::this_thread::sleep_for(10ms);
    }
    FAIL() << "workers did not start";
  }

  ServerRunFixture run_;
  std::shared_ptr<TestWorker::Log> log_ = std::make_shared<TestWorker::Log>();
};

TEST_F(StopSequenceTest, ThreadsThatEndWhenAskedNeedNoMessages) {
  startWorker();
  startWorker();
  waitForWorkers(2);
  const StopResult result = runStopSequence(run_.app().threads(), 2, run_.app().output());
  EXPECT_FALSE(result.timedOut);
  EXPECT_EQ(run_.app().threads().count(), 0);
  EXPECT_EQ(run_.lines().count("Signaling threads to stop"), 0);
  EXPECT_EQ(run_.lines().count("killed"), 0);
  EXPECT_FALSE(ProcessContext::instance().running());
}

TEST_F(StopSequenceTest, AThreadEndingInTheGracePeriodIsReportedAsRemaining) {
  // Two pauses, then the two-pause time-out (3 s); the grace period adds five pauses.
  startWorker(4500ms);
  waitForWorkers(1);
  const StopResult result = runStopSequence(run_.app().threads(), 2, run_.app().output());
  EXPECT_TRUE(result.timedOut);
  EXPECT_TRUE(result.killed.empty());
  EXPECT_EQ(run_.lines().count("Signaling threads to stop"), 1);
  EXPECT_EQ(run_.lines().count("Remaining threads killed!"), 1);
  EXPECT_EQ(run_.app().threads().count(), 0);
}

TEST_F(StopSequenceTest, AThreadThatIgnoresTheStopIsKilledByItsId) {
  startWorker();
  waitForWorkers(1);  // so the stubborn one gets id 2
  auto release = std::make_shared<std::atomic<bool>>(false);
  startWorker(0ms, release);
  waitForWorkers(2);
  const StopResult result = runStopSequence(run_.app().threads(), 2, run_.app().output());
  EXPECT_TRUE(result.timedOut);
  ASSERT_EQ(result.killed.size(), 1u);
  EXPECT_EQ(result.killed[0], 2);
  EXPECT_EQ(run_.lines().count("Signaling threads to stop"), 1);
  EXPECT_EQ(run_.lines().count("Thread 2 killed!"), 1);
  EXPECT_EQ(run_.lines().count("Remaining threads killed!"), 0);
  EXPECT_EQ(run_.app().threads().count(), 0);
  EXPECT_TRUE(ProcessContext::instance().threadsAbandoned());
  // The abandoned thread ends (and deletes itself) once released.
  release->store(true);
  std::this_thread::sleep_for(100ms);
}

}  // namespace
}  // namespace quillet
