// The shared dial-up connection over a fake link: dialing, joining, adopting, leaving,
// hanging up, the keep-open wait, the messages and the result codes.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <map>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

#include "base/Clock.h"
#include "net/DialUp.h"
#include "net/NetworkUpDown.h"
#include "platform/NetworkManager.h"
#include "tests/support/ClockDriver.h"

namespace quillet {
namespace {

// What the fake system knows, shared between the test and the link it hands over.
struct FakeSystem {
  std::mutex mutex;
  bool available = true;
  std::set<std::string> up;                      // connections that are up
  std::map<std::string, std::string> addresses;  // their IPv4 addresses
  int upFailure = 0;                             // code bringUp answers, 0 = success
  bool addressAfterDial = true;
  int pollsUntilDown = 0;  // activeConnections calls that still show a taken-down line
  bool neverDown = false;
  std::vector<std::string> dialed;
  std::vector<std::string> takenDown;
  DialUpCredentials lastCredentials;
  int listings = 0;
};

class FakeLink final : public DialUpLink {
 public:
  explicit FakeLink(std::shared_ptr<FakeSystem> system) : system_(std::move(system)) {}

  bool available() const override { return system_->available; }

  int activeConnections(std::vector<std::string>& names) override {
    std::lock_guard<std::mutex> lock(system_->mutex);
    ++system_->listings;
    names.assign(system_->up.begin(), system_->up.end());
    names.insert(names.end(), lingering_.begin(), lingering_.end());
    if (system_->pollsUntilDown > 0 && --system_->pollsUntilDown == 0) lingering_.clear();
    return 0;
  }

  int ipv4Address(const std::string& name, std::string& address) override {
    std::lock_guard<std::mutex> lock(system_->mutex);
    const auto found = system_->addresses.find(name);
    if (system_->up.count(name) == 0 || found == system_->addresses.end())
      return err::kNoIpv4Address;
    address = found->second;
    return 0;
  }

  int bringUp(const std::string& name, const DialUpCredentials& credentials) override {
    std::lock_guard<std::mutex> lock(system_->mutex);
    system_->dialed.push_back(name);
    system_->lastCredentials = credentials;
    // A failed dial leaves the line half open, as a modem may.
    system_->up.insert(name);
    if (system_->upFailure != 0) return system_->upFailure;
    if (system_->addressAfterDial) system_->addresses[name] = "10.1.2.3";
    return 0;
  }

  int bringDown(const std::string& name) override {
    std::lock_guard<std::mutex> lock(system_->mutex);
    system_->takenDown.push_back(name);
    system_->up.erase(name);
    if (system_->pollsUntilDown > 0 || system_->neverDown) lingering_ = {name};
    return 0;
  }

  std::string errorText(int code) const override {
    return code == 604 ? "Connection activation failed" : "";
  }

 private:
  std::shared_ptr<FakeSystem> system_;
  std::vector<std::string> lingering_;  // a line still shown after bringDown
};

DialUpSettings officeConfig(int32_t keepOpen = 0) {
  DialUpSettings config;
  config.phoneBookEntry = "  \"Office ISP\" ";
  config.user = "fred";
  config.password = "s3cret";
  config.domain = "WORK";
  config.keepOpen = keepOpen;
  return config;
}

constexpr DialUpHangUpTiming kQuickHangUp{300, 5};

struct Fixture {
  explicit Fixture(int32_t keepOpen = 0, int keepOpenStepMs = 1000)
      : system(std::make_shared<FakeSystem>()),
        dialUp(officeConfig(keepOpen), std::make_unique<FakeLink>(system), kQuickHangUp),
        network(
            &dialUp, nullptr,
            [this](int32_t thread, const Str& text) {
              std::lock_guard<std::mutex> lock(messagesMutex);
              messages.push_back(std::to_string(thread) + ": " + text.toStd());
            },
            NetworkUpDown::Options{true, keepOpenStepMs, [this] { return running.load(); }}) {}

  std::vector<std::string> takeMessages() {
    std::lock_guard<std::mutex> lock(messagesMutex);
    return std::exchange(messages, {});
  }

  std::shared_ptr<FakeSystem> system;
  DialUp dialUp;
  std::atomic<bool> running{true};
  std::mutex messagesMutex;
  std::vector<std::string> messages;
  NetworkUpDown network;
};

TEST(DialUp, FirstHolderDialsSecondJoinsLastLeaverHangsUp) {
  Fixture f;
  DialUpSession first, second;
  ASSERT_EQ(f.network.networkUp(first, 3), 0);
  EXPECT_TRUE(first.entered);
  EXPECT_EQ(first.count, 1u);
  ASSERT_EQ(f.network.networkUp(second, 4), 0);
  EXPECT_EQ(second.count, 2u);
  EXPECT_EQ(f.system->dialed, std::vector<std::string>{"Office ISP"});
  EXPECT_EQ(f.takeMessages(),
            (std::vector<std::string>{
                "3: Connected using Dial-up network using Office ISP [10.1.2.3]",
                "4: Entering existing Dial-up connection using Office ISP [10.1.2.3]"}));

  ASSERT_EQ(f.network.networkDown(first, 3), 0);
  EXPECT_FALSE(first.entered);
  EXPECT_TRUE(f.system->takenDown.empty());
  EXPECT_TRUE(f.dialUp.active());
  ASSERT_EQ(f.network.networkDown(second, 4), 0);
  EXPECT_EQ(f.system->takenDown, std::vector<std::string>{"Office ISP"});
  EXPECT_FALSE(f.dialUp.active());
  EXPECT_EQ(f.dialUp.useCount(), 0u);
  EXPECT_TRUE(f.dialUp.localAddress().empty());
  EXPECT_EQ(f.takeMessages(), (std::vector<std::string>{"3: Leaving existing Dial-up connection",
                                                        "4: Dial-up connection closed"}));
}

TEST(DialUp, DialsWithTheConfiguredCredentials) {
  Fixture f;
  DialUpSession holder;
  ASSERT_EQ(f.dialUp.enter(holder), err::kOk);
  EXPECT_EQ(f.system->lastCredentials.user, "fred");
  EXPECT_EQ(f.system->lastCredentials.password, "s3cret");
  EXPECT_EQ(f.system->lastCredentials.domain, "WORK");
  EXPECT_EQ(f.dialUp.leave(holder), err::kOk);
}

TEST(DialUp, AdoptsAnOpenConnectionAndOnlyLeavesIt) {
  Fixture f;
  f.system->up.insert("Office ISP");
  f.system->addresses["Office ISP"] = "192.0.2.44";
  DialUpSession holder;
  ASSERT_EQ(f.network.networkUp(holder, 1), 0);
  EXPECT_TRUE(f.system->dialed.empty());
  ASSERT_EQ(f.network.networkDown(holder, 1), 0);
  EXPECT_TRUE(f.system->takenDown.empty());
  EXPECT_EQ(f.system->up.count("Office ISP"), 1u);
  EXPECT_EQ(
      f.takeMessages(),
      (std::vector<std::string>{"1: Connected using Dial-up network using Office ISP [192.0.2.44]",
                                "1: Dial-up connection closed"}));
}

TEST(DialUp, AnOpenConnectionWithoutAddressIsDialedInstead) {
  Fixture f;
  f.system->up.insert("Office ISP");
  DialUpSession holder;
  ASSERT_EQ(f.dialUp.enter(holder), err::kOk);
  EXPECT_EQ(f.system->dialed.size(), 1u);
  EXPECT_EQ(f.dialUp.localAddress().toStd(), "10.1.2.3");
  EXPECT_EQ(f.dialUp.leave(holder), err::kOk);
  EXPECT_EQ(f.system->takenDown.size(), 1u);
}

TEST(DialUp, FailedDialReturnsTheCodeAndTakesTheHalfOpenLineDown) {
  Fixture f;
  f.system->upFailure = 604;
  DialUpSession holder;
  EXPECT_EQ(f.network.networkUp(holder, 2), 604);
  EXPECT_FALSE(holder.entered);
  EXPECT_FALSE(f.dialUp.active());
  EXPECT_EQ(f.system->takenDown, std::vector<std::string>{"Office ISP"});
  EXPECT_TRUE(f.takeMessages().empty());
  EXPECT_EQ(f.dialUp.errorText(604).toStd(), "Dial-Up Error: Connection activation failed [604]");
  EXPECT_EQ(f.dialUp.errorText(612).toStd(),
            "Dial-Up Error: Undefined Dial-Up network error [612]");
  // Leaving after a failed enter changes nothing.
  EXPECT_EQ(f.network.networkDown(holder, 2), 0);
  EXPECT_EQ(f.system->takenDown.size(), 1u);
}

TEST(DialUp, DialWithoutAddressFailsAndHangsUp) {
  Fixture f;
  f.system->addressAfterDial = false;
  DialUpSession holder;
  EXPECT_EQ(f.dialUp.enter(holder), err::kNoIpv4Address);
  EXPECT_FALSE(holder.entered);
  EXPECT_EQ(f.system->takenDown.size(), 1u);
  EXPECT_EQ(f.system->up.count("Office ISP"), 0u);
}

TEST(DialUp, MissingFacilityAnswers550Everywhere) {
  auto system = std::make_shared<FakeSystem>();
  system->available = false;
  DialUp dialUp(officeConfig(), std::make_unique<FakeLink>(system), kQuickHangUp);
  DialUpSession holder;
  EXPECT_FALSE(dialUp.loaded());
  EXPECT_EQ(dialUp.enter(holder), err::kDialUpNotLoaded);
  EXPECT_EQ(dialUp.leave(holder), err::kDialUpNotLoaded);
  EXPECT_EQ(dialUp.hangUp(), err::kDialUpNotLoaded);
  EXPECT_EQ(dialUp.errorText(550).toStd(), "Dial-Up Error: Unable to load RasApi32.DLL [550]");
  EXPECT_EQ(dialUp.errorText(604).toStd(), "Dial-Up Error: RasApi32.DLL not loaded [604]");
  EXPECT_TRUE(system->dialed.empty());
}

TEST(DialUp, NoNmcliOnTheMachineMeansNotLoaded) {
  DialUp dialUp(officeConfig(), std::make_unique<NetworkManager>("quillet-no-such-nmcli"));
  DialUpSession holder;
  EXPECT_EQ(dialUp.enter(holder), err::kDialUpNotLoaded);
  NetworkUpDown network(&dialUp, nullptr, {}, {});
  EXPECT_EQ(network.networkUp(holder, 1), err::kDialUpNotLoaded);
  EXPECT_EQ(network.networkDown(holder, 1), err::kDialUpNotLoaded);
}

TEST(DialUp, KeepOpenWaitLetsAnotherHolderJoin) {
  Fixture f(/*keepOpen=*/4, /*keepOpenStepMs=*/100);
  DialUpSession first, second;
  ASSERT_EQ(f.network.networkUp(first, 1), 0);
  const auto start = std::chrono::steady_clock::now();
  std::thread leaver([&] { EXPECT_EQ(f.network.networkDown(first, 1), 0); });
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_EQ(f.network.networkUp(second, 2), 0);  // during the first holder's wait
  leaver.join();
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(400));
  EXPECT_TRUE(f.system->takenDown.empty());
  EXPECT_EQ(f.system->dialed.size(), 1u);
  f.takeMessages();
  f.running = false;  // the second leaves at once when the program stops
  EXPECT_EQ(f.network.networkDown(second, 2), 0);
  EXPECT_EQ(f.takeMessages(), std::vector<std::string>{"2: Dial-up connection closed"});
  EXPECT_EQ(f.system->takenDown.size(), 1u);
}

TEST(DialUp, MovedClockEndsTheKeepOpenWait) {
  TestClock clock(testing::localTime(2026, 12, 7, 6, 0, 0));
  Fixture f(/*keepOpen=*/30, /*keepOpenStepMs=*/1000);
  DialUpSession holder;
  ASSERT_EQ(f.network.networkUp(holder, 1), 0);
  int rc = -1;
  const auto start = std::chrono::steady_clock::now();
  const std::chrono::milliseconds moved = testing::advanceUntilDone(
      clock, [&] { rc = f.network.networkDown(holder, 1); }, std::chrono::milliseconds(200));
  EXPECT_EQ(rc, 0);
  EXPECT_GE(moved, std::chrono::seconds(30));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
  EXPECT_EQ(f.system->takenDown.size(), 1u);
}

TEST(DialUp, StopEndsTheKeepOpenWaitAtOnce) {
  Fixture f(/*keepOpen=*/30, /*keepOpenStepMs=*/1000);
  DialUpSession holder;
  ASSERT_EQ(f.network.networkUp(holder, 1), 0);
  std::thread stopper([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    f.running = false;
  });
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(f.network.networkDown(holder, 1), 0);
  stopper.join();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
  EXPECT_EQ(f.system->takenDown.size(), 1u);
}

TEST(DialUp, HangUpWaitsUntilTheLineIsDownButNotForever) {
  {
    Fixture f;
    DialUpSession holder;
    ASSERT_EQ(f.dialUp.enter(holder), err::kOk);
    f.system->pollsUntilDown = 3;
    const int before = f.system->listings;
    EXPECT_EQ(f.dialUp.leave(holder), err::kOk);
    EXPECT_EQ(f.system->listings - before, 4);  // three still up, then down
  }
  Fixture f;
  f.system->neverDown = true;
  DialUpSession holder;
  ASSERT_EQ(f.dialUp.enter(holder), err::kOk);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(f.dialUp.leave(holder), err::kOk);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
  EXPECT_TRUE(f.dialUp.localAddress().empty());
}

TEST(DialUp, EnteringTwiceCountsOnce) {
  Fixture f;
  DialUpSession holder;
  ASSERT_EQ(f.dialUp.enter(holder), err::kOk);
  EXPECT_EQ(f.dialUp.enter(holder), err::kDialUpShared);
  EXPECT_EQ(f.dialUp.useCount(), 1u);
  EXPECT_EQ(f.dialUp.leave(holder), err::kOk);
  EXPECT_EQ(f.system->takenDown.size(), 1u);
}

TEST(DialUp, DestroyingHangsUpADialedConnection) {
  auto system = std::make_shared<FakeSystem>();
  DialUpSession holder;
  {
    DialUp dialUp(officeConfig(), std::make_unique<FakeLink>(system), kQuickHangUp);
    ASSERT_EQ(dialUp.enter(holder), err::kOk);
  }
  EXPECT_EQ(system->takenDown, std::vector<std::string>{"Office ISP"});
}

TEST(DialUp, ManyThreadsShareTheConnectionConsistently) {
  Fixture f;
  std::vector<std::thread> threads;
  threads.reserve(8);
  std::atomic<int> failures{0};
  for (int t = 0; t < 8; ++t) {
    threads.emplace_back([&f, &failures, t] {
      for (int round = 0; round < 20; ++round) {
        DialUpSession holder;
        if (f.network.networkUp(holder, t) != 0 || !holder.entered) ++failures;
        if (f.network.networkDown(holder, t) != 0 || holder.entered) ++failures;
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(failures.load(), 0);
  EXPECT_EQ(f.dialUp.useCount(), 0u);
  EXPECT_FALSE(f.dialUp.active());
  EXPECT_TRUE(f.system->up.empty());
  EXPECT_EQ(f.system->dialed.size(), f.system->takenDown.size());
  EXPECT_EQ(f.takeMessages().size(), 8u * 20u * 2u);
}

TEST(NetworkUpDown, WithoutDialUpOrWakeUpNothingHappens) {
  std::vector<std::string> messages;
  NetworkUpDown network(
      nullptr, nullptr, [&messages](int32_t, const Str& text) { messages.push_back(text.toStd()); },
      NetworkUpDown::Options{true, 1000, {}});
  DialUpSession holder;
  EXPECT_EQ(network.networkUp(holder, 1), 0);
  EXPECT_EQ(network.networkDown(holder, 1), 0);
  EXPECT_TRUE(messages.empty());
}

TEST(NetworkUpDown, MessagesOnlyWhenVerbose) {
  Fixture f;
  NetworkUpDown quiet(
      &f.dialUp, nullptr, [&f](int32_t, const Str& text) { f.messages.push_back(text.toStd()); },
      NetworkUpDown::Options{false, 1000, {}});
  DialUpSession holder;
  ASSERT_EQ(quiet.networkUp(holder, 1), 0);
  ASSERT_EQ(quiet.networkDown(holder, 1), 0);
  EXPECT_TRUE(f.takeMessages().empty());
}

}  // namespace
}  // namespace quillet
