// Router wake-up: the target chosen, attempts until a reply or the deadline, the pause
// between failed attempts, a stop, and the message through the network up step.
#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>

#include "base/Clock.h"
#include "net/NetworkUpDown.h"
#include "net/RouterWakeUp.h"
#include "platform/IcmpEcho.h"
#include "tests/support/ClockDriver.h"

namespace quillet {
namespace {

struct ProbeLog {
  int resolves = 0;
  int opens = 0;
  int echoes = 0;
  int closes = 0;
  std::vector<std::string> targets;
  std::vector<uint8_t> lastPayload;
  int lastTimeoutMs = 0;
};

class FakeProbe final : public EchoProbe {
 public:
  FakeProbe(ProbeLog& log, bool resolves, bool opens, int answerOnEcho)
      : log_(log), resolves_(resolves), opens_(opens), answerOnEcho_(answerOnEcho) {}

  bool resolve(const Str& target, uint32_t& address) override {
    ++log_.resolves;
    log_.targets.push_back(target.toStd());
    address = inet_addr("10.0.0.1");
    return resolves_;
  }
  bool open() override {
    ++log_.opens;
    return opens_;
  }
  bool echo(uint32_t address, const std::vector<uint8_t>& payload, int timeoutMs,
            uint32_t& replier) override {
    ++log_.echoes;
    log_.lastPayload = payload;
    log_.lastTimeoutMs = timeoutMs;
    if (answerOnEcho_ == 0 || log_.echoes < answerOnEcho_) return false;
    replier = address;
    return true;
  }
  void close() override { ++log_.closes; }

 private:
  ProbeLog& log_;
  bool resolves_;
  bool opens_;
  int answerOnEcho_;  // the echo (counted over all attempts) that gets a reply; 0 = none
};

WakeUpSettings settingsFor(int32_t seconds, const char* address = "", const char* host = "") {
  WakeUpSettings settings;
  settings.seconds = seconds;
  settings.address = address;
  settings.firstMailboxHost = host;
  return settings;
}

constexpr RouterWakeUp::Timing kQuick{10, 5, 50};

double secondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

TEST(RouterWakeUp, TargetIsTheAddressElseTheFirstMailboxHostElseTheDefault) {
  EXPECT_EQ(RouterWakeUp::target(settingsFor(5, " 192.0.2.9 ", "pop.example")).toStd(),
            "192.0.2.9");
  EXPECT_EQ(RouterWakeUp::target(settingsFor(5, "  ", "pop.example")).toStd(), "pop.example");
  EXPECT_EQ(RouterWakeUp::target(settingsFor(5, "", " ")).toStd(), kDefaultWakeUpAddress);
}

TEST(RouterWakeUp, StopsAtTheFirstReply) {
  ProbeLog log;
  RouterWakeUp wakeUp(settingsFor(60, "", "pop.example"),
                      std::make_unique<FakeProbe>(log, true, true, 3), kQuick);
  Str replier;
  EXPECT_TRUE(wakeUp.run(&replier));
  EXPECT_EQ(replier.toStd(), "10.0.0.1");
  EXPECT_EQ(log.echoes, 3);
  EXPECT_EQ(log.opens, 1);
  EXPECT_EQ(log.closes, 1);
  EXPECT_EQ(log.targets, std::vector<std::string>{"pop.example"});
  EXPECT_EQ(log.lastPayload, std::vector<uint8_t>(64, 170));
  EXPECT_EQ(log.lastTimeoutMs, 10);
}

TEST(RouterWakeUp, NoAnswerEndsAtTheDeadlineAfterRepeatedAttempts) {
  ProbeLog log;
  RouterWakeUp wakeUp(settingsFor(1, "192.0.2.1"), std::make_unique<FakeProbe>(log, true, true, 0),
                      kQuick);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(wakeUp.run());
  const double took = secondsSince(start);
  EXPECT_GE(took, 1.0);
  EXPECT_LT(took, 2.0);
  EXPECT_GE(log.opens, 2);
  EXPECT_EQ(log.echoes, log.opens * 5);
  EXPECT_EQ(log.closes, log.opens);
}

TEST(RouterWakeUp, MovedClockEndsTheWakeUpAtItsDeadline) {
  TestClock clock(testing::localTime(2026, 12, 7, 6, 0, 0));
  ProbeLog log;
  RouterWakeUp wakeUp(settingsFor(60, "192.0.2.1"), std::make_unique<FakeProbe>(log, true, true, 0),
                      kQuick);
  bool answered = true;
  const auto start = std::chrono::steady_clock::now();
  const std::chrono::milliseconds moved = testing::advanceUntilDone(
      clock, [&] { answered = wakeUp.run(); }, std::chrono::milliseconds(500));
  EXPECT_FALSE(answered);
  EXPECT_GE(moved, std::chrono::seconds(60));
  EXPECT_LT(secondsSince(start), 30.0) << "ended by the clock, not by 60 real seconds";
  EXPECT_GE(log.opens, 2);
}

TEST(RouterWakeUp, FailingAttemptsArePacedNotSpun) {
  for (const bool resolves : {false, true}) {
    ProbeLog log;
    RouterWakeUp wakeUp(settingsFor(1, "no.such.host"),
                        std::make_unique<FakeProbe>(log, resolves, false, 1), kQuick);
    EXPECT_FALSE(wakeUp.run());
    EXPECT_GE(log.resolves, 2);
    EXPECT_LE(log.resolves, 25);  // one attempt per pause of 50 ms within a second
    EXPECT_EQ(log.echoes, 0);
  }
}

TEST(RouterWakeUp, StopEndsTheWakeUp) {
  ProbeLog log;
  std::atomic<int> looks{0};
  RouterWakeUp wakeUp(settingsFor(60, "192.0.2.1"), std::make_unique<FakeProbe>(log, true, true, 0),
                      kQuick, [&looks] { return ++looks < 4; });
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(wakeUp.run());
  EXPECT_LT(secondsSince(start), 2.0);
}

TEST(RouterWakeUp, NetworkUpWakesTheRouterAndAlwaysSucceeds) {
  ProbeLog log;
  RouterWakeUp wakeUp(settingsFor(1), std::make_unique<FakeProbe>(log, true, true, 0), kQuick);
  std::vector<std::string> messages;
  NetworkUpDown network(
      nullptr, &wakeUp,
      [&messages](int32_t thread, const Str& text) {
        messages.push_back(std::to_string(thread) + ": " + text.toStd());
      },
      NetworkUpDown::Options{true, 1000, {}});
  DialUpSession holder;
  EXPECT_EQ(network.networkUp(holder, 7), 0);
  EXPECT_EQ(messages, std::vector<std::string>{"7: Starting ICMPEcho to wake up router"});
  EXPECT_EQ(log.targets.front(), kDefaultWakeUpAddress);
  EXPECT_EQ(network.networkDown(holder, 7), 0);
}

TEST(RouterWakeUp, WakeUpRouterZeroSendsNothing) {
  ProbeLog log;
  RouterWakeUp wakeUp(settingsFor(0), std::make_unique<FakeProbe>(log, true, true, 1), kQuick);
  NetworkUpDown network(nullptr, &wakeUp, {}, {});
  DialUpSession holder;
  EXPECT_EQ(network.networkUp(holder, 1), 0);
  EXPECT_EQ(log.resolves, 0);
}

TEST(RouterWakeUp, SystemProbeWakesLoopback) {
  {
    IcmpEcho socket;
    if (socket.open() != 0) {
      GTEST_SKIP() << "no ICMP echo socket can be opened here (ping_group_range, no root)";
    }
  }
  RouterWakeUp wakeUp(settingsFor(2, "127.0.0.1"));
  Str replier;
  EXPECT_TRUE(wakeUp.run(&replier));
  EXPECT_EQ(replier.toStd(), "127.0.0.1");
}

}  // namespace
}  // namespace quillet
