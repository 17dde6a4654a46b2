// Tests of worker threads and the thread registry: pauses, start and end, registry ids,
// the shutdown sequence and the abandonment of threads that ignore their stop request.
// Bounds on durations are generous: the tests run on loaded machines.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "base/BaseThread.h"
#include "base/ProcessContext.h"
#include "base/StopWatch.h"
#include "base/ThreadRegistry.h"

namespace quillet {
namespace {

using namespace std::chrono_literals;

// Polls condition every 10 ms for up to limit; true when it became true.
template <typename Condition>
bool eventually(Condition condition, std::chrono::milliseconds limit = 5000ms) {
  StopWatch watch;
  while (!condition()) {
    if (watch.elapsed() > limit.count()) return false;
    std::this_thread::sleep_for(10ms);
  }
  return true;
}

// A thread that pauses until it is asked to stop (the well-behaved worker).
class PausingThread : public BaseThread {
 public:
  explicit PausingThread(ThreadRegistry* registry) : BaseThread(registry) {}

 protected:
  int run() override {
    while (pause()) {
    }
    return 7;
  }
};

// A thread that ignores its stop request until the test lets it go, then lingers for
// lingerAfterStop once it has seen the request (a slow but finite worker).
class StubbornThread : public BaseThread {
 public:
  StubbornThread(ThreadRegistry* registry, std::atomic<bool>* letGo,
                 std::atomic<bool>* destroyed = nullptr)
      : BaseThread(registry), letGo_(letGo), destroyed_(destroyed) {}
  ~StubbornThread() override {
    if (destroyed_ != nullptr) destroyed_->store(true);
  }

 protected:
  int run() override {
    while (!letGo_->load()) std::this_thread::sleep_for(5ms);
    return 3;
  }

 private:
  std::atomic<bool>* letGo_;
  std::atomic<bool>* destroyed_;
};

// Resets the process-wide state that stopAll() and the tests change.
class ThreadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ProcessContext::instance().setRunning(true);
    ProcessContext::instance().setMessageSink(
        [this](const std::string& line) { messages_.push_back(line); });
  }
  void TearDown() override {
    ProcessContext::instance().setMessageSink({});
    ProcessContext::instance().setRunning(true);
    ProcessContext::instance().setThreadStartupDelay(0);
  }

  std::vector<std::string> messages_;
};

TEST_F(ThreadTest, PauseLastsAboutThreeSlicesUnlessStopIsRequested) {
  PausingThread thread(nullptr);  // never started: pause() works on the flags alone
  StopWatch watch;
  EXPECT_TRUE(thread.pause());
  EXPECT_GE(watch.elapsed(), 700u);
  EXPECT_LT(watch.elapsed(), 3000u);

  watch.restart();
  EXPECT_TRUE(thread.pauseRounds(0));
  EXPECT_LT(watch.elapsed(), 100u);

  thread.requestStop();
  watch.restart();
  EXPECT_FALSE(thread.pause());
  EXPECT_FALSE(thread.pauseRounds(4));
  EXPECT_FALSE(thread.startupDelay());
  EXPECT_LT(watch.elapsed(), 100u);
}

TEST_F(ThreadTest, StopRequestWakesAPausingThreadPromptly) {
  ThreadRegistry registry;
  auto* thread = new PausingThread(&registry);
  ProcessContext::instance().setThreadStartupDelay(40);  // 30 s unless woken
  ASSERT_TRUE(thread->start());
  ASSERT_TRUE(eventually([&] { return registry.count() == 1; }));
  std::this_thread::sleep_for(100ms);  // let it enter a pause
  StopWatch watch;
  thread->requestStop();
  EXPECT_TRUE(registry.waitEmpty());
  EXPECT_LT(watch.elapsed(), 600u);  // well inside one 750 ms pause
}

TEST_F(ThreadTest, AThreadIsRegisteredWhenStartReturns) {
  // A stop of all threads right after a start must see the new thread: otherwise it could
  // run on after its run's data was freed.
  ThreadRegistry registry;
  for (int i = 0; i < 20; ++i) {
    auto* thread = new PausingThread(&registry);
    ASSERT_TRUE(thread->start());
    EXPECT_EQ(registry.count(), 1) << "round " << i;
    thread->requestStop();
    ASSERT_TRUE(eventually([&] { return registry.count() == 0; }));
  }
}

TEST_F(ThreadTest, JoinWaitsForRunSoTheOwnerCanDeleteTheObject) {
  ThreadRegistry registry;
  PausingThread thread(&registry);
  thread.join();  // never started: nothing to wait for
  thread.setAutoDelete(false);
  ASSERT_TRUE(thread.start());
  ASSERT_TRUE(eventually([&] { return thread.running(); }));
  thread.requestStop();
  thread.join();
  EXPECT_EQ(thread.exitCode(), 7) << "run() has returned when join() returns";
  EXPECT_FALSE(thread.running());
  EXPECT_EQ(registry.count(), 0);
  thread.join();  // a second join returns at once
}

TEST_F(ThreadTest, StartWithWaitReturnsAfterRunAndTheThreadLeavesTheRegistry) {
  ThreadRegistry registry;
  std::atomic<bool> letGo{false};
  StubbornThread thread(&registry, &letGo);
  thread.setAutoDelete(false);
  EXPECT_EQ(thread.id(), 0);
  std::thread releaser([&] {
    std::this_thread::sleep_for(200ms);
    letGo.store(true);
  });
  StopWatch watch;
  ASSERT_TRUE(thread.start(true));
  EXPECT_GE(watch.elapsed(), 190u);
  EXPECT_EQ(thread.exitCode(), 3);
  EXPECT_EQ(thread.id(), 1);
  EXPECT_FALSE(thread.start(false)) << "a thread starts only once";
  EXPECT_TRUE(registry.waitEmpty());
  EXPECT_TRUE(eventually([&] { return !thread.running(); }));
  releaser.join();
}

TEST_F(ThreadTest, AutoDeleteThreadIsRegisteredWhileRunningAndDeletesItself) {
  ThreadRegistry registry;
  std::atomic<bool> letGo{false};
  std::atomic<bool> destroyed{false};
  auto* thread = new StubbornThread(&registry, &letGo, &destroyed);
  ASSERT_TRUE(thread->start());
  ASSERT_TRUE(eventually([&] { return thread->running(); }));
  EXPECT_EQ(registry.count(), 1);
  EXPECT_EQ(thread->id(), 1);
  letGo.store(true);
  EXPECT_TRUE(eventually([&] { return destroyed.load(); }));
  EXPECT_EQ(registry.count(), 0);
}

TEST_F(ThreadTest, RegistryIdsContinueFromTheLastEntry) {
  ThreadRegistry registry;
  std::atomic<bool> letGo{true};
  StubbornThread a(nullptr, &letGo), b(nullptr, &letGo), c(nullptr, &letGo), d(nullptr, &letGo);
  EXPECT_EQ(registry.add(&a), 1);
  EXPECT_EQ(registry.add(&b), 2);
  EXPECT_EQ(registry.add(&c), 3);
  registry.remove(3);
  EXPECT_EQ(registry.add(&c), 3);
  registry.remove(1);
  EXPECT_EQ(registry.add(&a), 4);
  registry.remove(99);
  EXPECT_EQ(registry.count(), 3);
  registry.remove(2);
  registry.remove(3);
  registry.remove(4);
  EXPECT_EQ(registry.add(&d), 1) << "an empty list starts at 1 again";
  registry.remove(1);
  EXPECT_TRUE(registry.waitEmpty());
}

TEST_F(ThreadTest, StopAllEndsObedientThreadsAtOnceWithoutTheMessage) {
  ThreadRegistry registry;
  for (int i = 0; i < 3; ++i) ASSERT_TRUE((new PausingThread(&registry))->start());
  ASSERT_TRUE(eventually([&] { return registry.count() == 3; }));
  StopWatch watch;
  EXPECT_TRUE(registry.stopAll("Signaling threads to stop", 5));
  EXPECT_LT(watch.elapsed(), 700u);
  EXPECT_FALSE(ProcessContext::instance().running());
  EXPECT_TRUE(messages_.empty());
}

TEST_F(ThreadTest, StopAllWithOneRoundGivesUpWithoutWritingTheMessage) {
  ThreadRegistry registry;
  std::atomic<bool> letGo{false};
  std::atomic<bool> destroyed{false};
  auto* thread = new StubbornThread(&registry, &letGo, &destroyed);
  ASSERT_TRUE(thread->start());
  ASSERT_TRUE(eventually([&] { return registry.count() == 1; }));
  EXPECT_FALSE(registry.stopAll("Signaling threads to stop", 1));
  EXPECT_TRUE(messages_.empty());
  EXPECT_FALSE(thread->keepRunning());
  EXPECT_FALSE(ProcessContext::instance().running());
  letGo.store(true);
  EXPECT_TRUE(eventually([&] { return destroyed.load(); }));
}

// Ignores the stop request for a while after it sees it, then ends.
class SlowToStopThread : public BaseThread {
 public:
  using BaseThread::BaseThread;

 protected:
  int run() override {
    while (pause()) {
    }
    std::this_thread::sleep_for(1800ms);
    return 0;
  }
};

TEST_F(ThreadTest, StopAllWritesTheMessageOnceAndWaitsForSlowThreads) {
  ThreadRegistry registry;
  ASSERT_TRUE((new SlowToStopThread(&registry))->start());
  ASSERT_TRUE(eventually([&] { return registry.count() == 1; }));
  EXPECT_TRUE(registry.stopAll("Signaling threads to stop", 3));
  ASSERT_EQ(messages_.size(), 1u);
  EXPECT_EQ(messages_[0], "Signaling threads to stop");
}

TEST_F(ThreadTest, StopAllOrKillAbandonsThreadsThatIgnoreTheStop) {
  auto registry = std::make_unique<ThreadRegistry>();
  std::atomic<bool> letGo{false};
  std::atomic<bool> destroyed{false};
  ASSERT_TRUE((new PausingThread(registry.get()))->start());
  ASSERT_TRUE(eventually([&] { return registry->count() == 1; }));
  auto* stubborn = new StubbornThread(registry.get(), &letGo, &destroyed);
  ASSERT_TRUE(stubborn->start());
  ASSERT_TRUE(eventually([&] { return registry->count() == 2; }));
  int32_t stubbornId = stubborn->id();

  ArrayTmpl<int32_t> killed;
  EXPECT_TRUE(registry->stopAllOrKill(killed));
  ASSERT_EQ(killed.count(), 1);
  EXPECT_EQ(killed[1], stubbornId);
  EXPECT_EQ(registry->count(), 0);
  EXPECT_TRUE(ProcessContext::instance().threadsAbandoned());
  EXPECT_FALSE(destroyed.load()) << "an abandoned thread's object must stay alive";

  // The registry of the run goes away; the abandoned thread ends later and must neither
  // touch the freed registry nor leak (the sanitizer build checks both).
  registry.reset();
  letGo.store(true);
  EXPECT_TRUE(eventually([&] { return destroyed.load(); }));
}

TEST_F(ThreadTest, KillReleasesStartWithWaitAndLeavesEndedThreadsAlone) {
  ThreadRegistry registry;
  std::atomic<bool> letGo{false};
  std::atomic<bool> destroyed{false};
  auto* thread = new StubbornThread(&registry, &letGo, &destroyed);
  std::atomic<bool> startReturned{false};
  std::thread starter([&] {
    EXPECT_TRUE(thread->start(true));
    startReturned.store(true);
  });
  // Registered is not yet launched: a kill() before the launch makes start() launch
  // nothing and fail. Once run() runs, start(wait) waits for it.
  ASSERT_TRUE(eventually([&] { return thread->running(); }));
  EXPECT_EQ(registry.count(), 1);
  EXPECT_FALSE(startReturned.load());
  EXPECT_EQ(thread->kill(), 0);
  EXPECT_TRUE(eventually([&] { return startReturned.load(); }));
  EXPECT_EQ(registry.count(), 0);
  starter.join();
  letGo.store(true);
  EXPECT_TRUE(eventually([&] { return destroyed.load(); }));

  std::atomic<bool> alwaysGo{true};
  StubbornThread ended(&registry, &alwaysGo);
  ended.setAutoDelete(false);
  EXPECT_EQ(ended.kill(), 0) << "a thread that was never started is left alone";
  ASSERT_TRUE(ended.start(true));
  EXPECT_EQ(ended.kill(), 0);
  EXPECT_EQ(ended.exitCode(), 3);
}

}  // namespace
}  // namespace quillet
