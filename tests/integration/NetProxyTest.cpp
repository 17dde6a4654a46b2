// The socket client through real SOCKS proxies: dante (SOCKS4 and SOCKS5 without
// authentication) and microsocks (SOCKS5 with user name and password). The proxy port is
// fixed at 1080, so each test process moves into a private network namespace of its own
// (needs root; skipped otherwise) with only the loopback interface, where 1080 is free and
// nothing leaves the machine.
#include <gtest/gtest.h>
#include <sched.h>
#include <unistd.h>

#include <memory>
#include <string>

#include "SocksProxy.h"
#include "base/ErrorCodes.h"
#include "net/WSClient.h"
#include "tests/support/LoopbackNetwork.h"
#include "tests/support/ScriptedPeer.h"
#include "tests/support/Waiting.h"

namespace quillet {
namespace {

using testing::ScriptedPeer;
using testing::SocksProxy;

const char* const kTargetGreeting = "+OK target ready";

// A target server that greets and waits for the client to leave.
std::unique_ptr<ScriptedPeer> greetingTarget(int family = AF_INET) {
  return std::make_unique<ScriptedPeer>(
      ScriptedPeer::saysThenListens(std::string(kTargetGreeting) + "\r\n"), family);
}

class NetProxy : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string reason = SocksProxy::unavailable();
    if (!reason.empty()) GTEST_SKIP() << reason;
  }

  // Connects through the proxy (type 1 or 2) and reads the target's greeting.
  int connectThrough(WSClient& client, int hostType, const Str& target, int port,
                     const char* user = "", const char* password = "") {
    SocksSettings socks;
    socks.hostType = hostType;
    socks.host = "127.0.0.1";
    socks.user = user;
    socks.password = password;
    client.setSocks(socks);
    if (client.open() != 0) return -1;
    return client.connect(target, port, 10000, socksOptionFor(socks));
  }
  static void expectGreeting(WSClient& client) {
    Str line;
    ASSERT_EQ(client.readLine(line, 10000, 0), 0);
    EXPECT_STREQ(line.c_str(), kTargetGreeting);
  }

  SocksProxy proxy_;
};

TEST_F(NetProxy, DanteRelaysSocks4AndSocks5Sessions) {
  if (!proxy_.startDante()) GTEST_SKIP() << "danted (dante-server) could not be started";
  const struct {
    int hostType;
    const char* target;
  } cases[] = {{SocksSettings::kSocks4, "127.0.0.1"},
               {SocksSettings::kSocks4, "localhost"},  // resolved here for SOCKS4
               {SocksSettings::kSocks5, "127.0.0.1"},
               {SocksSettings::kSocks5, "localhost"}};  // resolved by the proxy
  for (const auto& c : cases) {
    auto target = greetingTarget();
    WSClient client;
    ASSERT_EQ(connectThrough(client, c.hostType, c.target, target->port()), 0) << c.target;
    expectGreeting(client);
    EXPECT_EQ(client.close(0), 0);
    target->join();
    // The proxy's log proves the session went through it.
    EXPECT_TRUE(testing::waitForText(proxy_.file("danted.log"),
                                     "127.0.0.1." + std::to_string(target->port()), 5000))
        << c.target;
  }
}

TEST_F(NetProxy, DanteRefusalsArriveAsSocksErrors) {
  if (!proxy_.startDante()) GTEST_SKIP() << "danted (dante-server) could not be started";
  const int closedPort = testing::freePort();
  WSClient socks4;
  EXPECT_EQ(connectThrough(socks4, SocksSettings::kSocks4, "127.0.0.1", closedPort),
            err::kSocks4RequestFailed);
  EXPECT_FALSE(socks4.isOpen());
  WSClient socks5;
  EXPECT_EQ(connectThrough(socks5, SocksSettings::kSocks5, "127.0.0.1", closedPort),
            err::kSocks5ConnectionRefused);
  EXPECT_FALSE(socks5.isOpen());
  WSClient unknown;
  const int result = connectThrough(unknown, SocksSettings::kSocks5, "no-such-host.invalid", 110);
  EXPECT_TRUE(result == 122 || result == 125) << result;  // general failure or unreachable
}

TEST_F(NetProxy, NoProxyListeningGivesTheSystemsRefusal) {
  auto target = greetingTarget();
  WSClient client;
  EXPECT_EQ(connectThrough(client, SocksSettings::kSocks5, "127.0.0.1", target->port()),
            err::kWsaConnectionRefused);
  WSClient direct;  // the target itself is reachable
  ASSERT_EQ(direct.open(), 0);
  ASSERT_EQ(direct.connect("127.0.0.1", target->port(), 10000, 0), 0);
  expectGreeting(direct);
}

TEST_F(NetProxy, MicrosocksChecksUserAndPassword) {
  if (!proxy_.startMicrosocks()) GTEST_SKIP() << "microsocks could not be started";
  {
    auto target = greetingTarget();
    WSClient client;
    ASSERT_EQ(connectThrough(client, SocksSettings::kSocks5, "127.0.0.1", target->port(), "mailer",
                             "s3cret"),
              0);
    expectGreeting(client);
    EXPECT_EQ(client.close(0), 0);
  }
  {
    auto target = greetingTarget(AF_INET6);  // IPv6 target as address type 4
    WSClient client;
    ASSERT_EQ(
        connectThrough(client, SocksSettings::kSocks5, "::1", target->port(), "mailer", "s3cret"),
        0);
    expectGreeting(client);
    EXPECT_EQ(client.close(0), 0);
  }
  WSClient wrong;
  EXPECT_EQ(connectThrough(wrong, SocksSettings::kSocks5, "127.0.0.1", 110, "mailer", "wrong"),
            err::kSocks5AuthFailed);
  EXPECT_FALSE(wrong.isOpen());
  WSClient anonymous;
  EXPECT_EQ(connectThrough(anonymous, SocksSettings::kSocks5, "127.0.0.1", 110),
            err::kSocks5NoAcceptableMethod);
}

}  // namespace
}  // namespace quillet
