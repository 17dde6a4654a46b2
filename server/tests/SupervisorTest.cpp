// Tests of the supervisor loop: the instance and data locks, the configuration checks,
// the thread start order and failure rules, restart on changed files, pause and stop.
// The wait step is replaced by a function that counts passes and acts on the files.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ServerTestSupport.h"
#include "base/FileNames.h"
#include "base/Sema.h"
#include "server/ServerThreads.h"
#include "server/StopSequence.h"
#include "server/Supervisor.h"
#include "server/ThreadStartList.h"

namespace quillet {
namespace {

using namespace std::chrono_literals;
using testing::ServerRunFixture;
using testing::TestWorker;

constexpr const char* kGoodSettings =
    "SmartHost=mail.office.example\r\nPostmaster=postmaster@office.example\r\n";

class SupervisorTest : public ::testing::Test {
 protected:
  SupervisorTest() : run_(kGoodSettings) { run_.makeRun(); }
  ~SupervisorTest() override {
    // Threads a test started are stopped before the run's state goes.
    (void)runStopSequence(run_.app().threads(), 2, run_.app().output());
  }

  // A start list of test workers named a, b, c...; the entry named failAt does not start.
  ThreadStartList workers(int n, const std::string& failAt = "") {
    ThreadStartList list;
    for (int i = 0; i < n; ++i) {
      const std::string name(1, static_cast<char>('a' + i));
      list.add(Str("Error: Unable to start ") + name.c_str(), [this, name, failAt] {
        if (name == failAt) return false;
        SetUpSignal signal;
        return startAndAwaitSetUp(
            new TestWorker(&run_.app().threads(), log_, name, signal.reporter()), signal);
      });
    }
    return list;
  }

  // Runs the supervisor with a wait step that calls onPass(pass number from 1) and
  // answers stop after stopAfter passes.
  Supervisor::Outcome supervise(const ThreadStartList& list, int stopAfter,
                                std::function<void(int)> onPass = {}) {
    Supervisor::Hooks hooks;
    hooks.wait = [this, stopAfter, onPass = std::move(onPass)] {
      ++passes_;
      if (onPass) onPass(passes_);
      return passes_ >= stopAfter ? WaitResult::Stop : WaitResult::Continue;
    };
    hooks.status = [this](const Str& text) { statuses_.push_back(text.toStd()); };
    hooks.paused = [this] { return paused_.load(); };
    hooks.pausePoll = 10ms;
    Supervisor supervisor(run_.app(), instanceLock_, list, std::move(hooks));
    return supervisor.run();
  }

  std::vector<std::string> started() {
    std::lock_guard lock(log_->mutex);
    return log_->started;
  }
  const testing::CapturedLines& lines() const { return run_.lines(); }

  ServerRunFixture run_;
  Sema instanceLock_{kInstanceLockName};
  std::shared_ptr<TestWorker::Log> log_ = std::make_shared<TestWorker::Log>();
  int passes_ = 0;
  std::vector<std::string> statuses_;
  std::atomic<bool> paused_{false};
};

TEST_F(SupervisorTest, StartsTheThreadsInOrderOnceAndReleasesTheDataLock) {
  EXPECT_EQ(supervise(workers(3), 3), Supervisor::Outcome::Stop);
  EXPECT_EQ(started(), (std::vector<std::string>{"a", "b", "c"}));
  EXPECT_EQ(run_.app().threads().count(), 3);
  // The data files were loaded and closed again: the data lock is free for others.
  EXPECT_FALSE(fileExists(run_.dir().str(AppData::kDataLockName)));
  Sema dataLock(AppData::kDataLockName);
  EXPECT_TRUE(dataLock.acquire(1));
  EXPECT_EQ(quillet::testing::readBytes(run_.dir().file("DATACONF.DAT")).size(), 256u);
  EXPECT_TRUE(instanceLock_.held());
  EXPECT_EQ(lines().count("Error"), 0);
}

TEST_F(SupervisorTest, AFailedStartEndsTheSequenceAndIsNotRetried) {
  EXPECT_EQ(supervise(workers(4, "c"), 3), Supervisor::Outcome::Stop);
  EXPECT_EQ(started(), (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(lines().count("Error: Unable to start c"), 1);
}

TEST_F(SupervisorTest, ASecondInstanceStartsNothingAndRetriesEveryPass) {
  Sema otherInstance(kInstanceLockName);
  ASSERT_TRUE(otherInstance.acquire(1));
  EXPECT_EQ(supervise(workers(2), 2), Supervisor::Outcome::Stop);
  EXPECT_TRUE(started().empty());
  EXPECT_EQ(lines().count("There is already an instance of Quillet running!"), 2);
  EXPECT_EQ(lines().count("Please shut down either this or the other instance"), 2);
  EXPECT_EQ(run_.app().threads().count(), 0);
}

TEST_F(SupervisorTest, LockedDataFilesAreRetriedUntilTheLockIsFree) {
  auto dataLock = std::make_unique<Sema>(AppData::kDataLockName);
  ASSERT_TRUE(dataLock->acquire(1));
  // The administration program finishes during the first wait step.
  EXPECT_EQ(supervise(workers(1), 2,
                      [&](int pass) {
                        if (pass == 1) dataLock.reset();
                      }),
            Supervisor::Outcome::Stop);
  EXPECT_EQ(lines().count("Unable to lock the data files!"), 1);
  EXPECT_EQ(lines().count("Looks like Helmcrest is currently modifying the data files"), 1);
  EXPECT_EQ(lines().count("Will automatically retry the locking in 60 seconds"), 1);
  EXPECT_EQ(started(), std::vector<std::string>{"a"});
}

TEST_F(SupervisorTest, AnUnreadableDataFileCountsAsLocked) {
  std::filesystem::create_directory(run_.dir().file("DataUser.DAT"));
  EXPECT_EQ(supervise(workers(1), 1), Supervisor::Outcome::Stop);
  EXPECT_EQ(lines().count("Unable to lock the data files!"), 1);
  EXPECT_TRUE(started().empty());
  EXPECT_FALSE(fileExists(run_.dir().str(AppData::kDataLockName)));
}

TEST_F(SupervisorTest, RestartsWhenTheSettingsFileChanges) {
  EXPECT_EQ(supervise(workers(1), 5,
                      [&](int pass) {
                        if (pass == 2) run_.touchLater("QUILLET.INI");
                      }),
            Supervisor::Outcome::Restart);
  EXPECT_EQ(passes_, 2);
  EXPECT_EQ(started(), std::vector<std::string>{"a"});
}

TEST_F(SupervisorTest, RestartsWhenADataFileChanges) {
  EXPECT_EQ(supervise(workers(1), 5,
                      [&](int pass) {
                        if (pass == 1) run_.touchLater("DataUser.DAT");
                      }),
            Supervisor::Outcome::Restart);
  EXPECT_EQ(passes_, 1);
}

TEST_F(SupervisorTest, AClearedRunningFlagStopsBeforeTheNextWait) {
  EXPECT_EQ(supervise(workers(1), 5, [](int) { ProcessContext::instance().setRunning(false); }),
            Supervisor::Outcome::Stop);
  EXPECT_EQ(passes_, 1);
}

TEST_F(SupervisorTest, APausedLoopStandsStillButAStopEndsIt) {
  std::thread operatorThread;
  const auto outcome = supervise(workers(1), 5, [&](int pass) {
    if (pass != 1) return;
    paused_ = true;
    operatorThread = std::thread([] {
      std::this_thread::sleep_for(200ms);
      ProcessContext::instance().setRunning(false);
    });
  });
  operatorThread.join();
  EXPECT_EQ(outcome, Supervisor::Outcome::Stop);
  EXPECT_EQ(passes_, 1);  // no wait step ran while paused
  EXPECT_EQ(statuses_, (std::vector<std::string>{"Running", "Paused", "Stopping"}));
}

TEST_F(SupervisorTest, APausedLoopGoesOnWhenContinued) {
  std::thread operatorThread;
  const auto outcome = supervise(workers(1), 2, [&](int pass) {
    if (pass != 1) return;
    paused_ = true;
    operatorThread = std::thread([this] {
      std::this_thread::sleep_for(100ms);
      paused_ = false;
    });
  });
  operatorThread.join();
  EXPECT_EQ(outcome, Supervisor::Outcome::Stop);
  EXPECT_EQ(passes_, 2);
}

TEST(ConfigurationCheck, NamesTheFirstProblem) {
  const struct {
    const char* settings;
    const char* error;
  } cases[] = {
      {"SmartHost=\r\nPostmaster=pm@office.example\r\n", "Config Error: No smart host given!"},
      {"SmartHost=   \r\nPostmaster=\r\n", "Config Error: No smart host given!"},
      {"SmartHost=mail\r\nPostmaster=\r\n", "Config Error: Address of Postmaster is invalid!"},
      {"SmartHost=mail\r\nPostmaster=postmaster\r\n",
       "Config Error: Address of Postmaster is invalid!"},
      {"SmartHost=mail\r\nPostmaster=pm@\r\n", "Config Error: Address of Postmaster is invalid!"},
      {"SmartHost=mail\r\nPostmaster=p m@office.example\r\n",
       "Config Error: Address of Postmaster is invalid!"},
      {"SmartHost=mail\r\nPostmaster= pm@office.example \r\n", ""},
      {"", "Config Error: Address of Postmaster is invalid!"},  // SmartHost has a default
  };
  for (const auto& c : cases) {
    ServerRunFixture run(c.settings);
    run.makeRun();
    EXPECT_EQ(configurationError(run.app().settings()).toStd(), c.error) << c.settings;
  }
}

TEST(ConfigurationCheck, KeepsTheThreadsFromStartingEveryPass) {
  ServerRunFixture run("SmartHost=\r\nPostmaster=pm@office.example\r\n");
  run.makeRun();
  Sema instanceLock(kInstanceLockName);
  int passes = 0;
  bool startCalled = false;
  ThreadStartList list;
  list.add("never", [&] { return startCalled = true; });
  Supervisor::Hooks hooks;
  hooks.wait = [&] { return ++passes == 2 ? WaitResult::Stop : WaitResult::Continue; };
  EXPECT_EQ(Supervisor(run.app(), instanceLock, list, hooks).run(), Supervisor::Outcome::Stop);
  EXPECT_FALSE(startCalled);
  EXPECT_EQ(run.lines().count("Config Error: No smart host given!"), 2);
}

TEST(ServerThreadList, StartsTheClockThreadFirst) {
  ServerRunFixture run(kGoodSettings);
  run.makeRun();
  const ThreadStartList list = serverThreads(run.app(), nullptr);
  ASSERT_GE(list.count(), 1);
  EXPECT_EQ(list.startAll(run.app().output()), list.count());
  // The clock thread registers as it begins, just after the start returned; the inbound
  // manager has registered before its start returned.
  for (int i = 0; i < 500 && run.app().threads().count() < list.count(); ++i)
    std::this_thread::sleep_for(10ms);
  EXPECT_EQ(run.app().threads().count(), list.count());
  const StopResult result = runStopSequence(run.app().threads(), 2, run.app().output());
  EXPECT_FALSE(result.timedOut);
  EXPECT_EQ(run.app().threads().count(), 0);
}

TEST(ThreadStartListTest, AStartCutShortByAStopIsNotReported) {
  ServerRunFixture run(kGoodSettings);
  run.makeRun();
  ThreadStartList list;
  list.add("Error: Unable to start decode thread", [] {
    ProcessContext::instance().setRunning(false);
    SetUpSignal signal;
    auto reporter = signal.reporter();  // the thread is still setting up
    return signal.wait();
  });
  list.add("never", [] { return true; });
  EXPECT_EQ(list.startAll(run.app().output()), 0);
  EXPECT_EQ(run.lines().count("Error"), 0);
}

}  // namespace
}  // namespace quillet
