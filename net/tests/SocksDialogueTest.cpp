// SOCKS4 and SOCKS5 handshakes against scripted proxies: the bytes each request carries,
// every refusal mapped to its code, broken and silent proxies, and the socket closed after
// any failure.
#include <gtest/gtest.h>

#include <string>

#include "base/ErrorCodes.h"
#include "net/WSClient.h"
#include "tests/support/ScriptedPeer.h"

namespace quillet {
namespace {

using testing::ScriptedPeer;

std::string bytes(std::initializer_list<int> values) {
  std::string text;
  for (int v : values) text += static_cast<char>(v);
  return text;
}

// Connects through the scripted proxy at port; the proxy's port replaces the fixed one.
int connectVia(WSClient& client, const ScriptedPeer& proxy, uint32_t proxyOption,
               const char* target, const char* user = "", const char* password = "",
               uint32_t traceOptions = 0) {
  SocksSettings socks;
  socks.hostType = proxyOption == wsopt::kSocks4 ? SocksSettings::kSocks4 : SocksSettings::kSocks5;
  socks.host = "127.0.0.1";
  socks.port = proxy.port();
  socks.user = user;
  socks.password = password;
  client.setSocks(socks);
  client.setSliceTiming(SliceTiming{500, 10});  // short enough for the silent proxies' tests
  EXPECT_EQ(socksOptionFor(socks), proxyOption);
  if (client.open() != 0) return -1;
  return client.connect(target, 110, 5000, proxyOption | traceOptions);
}

TEST(Socks4Dialogue, SendsTheRequestAndCarriesTheSessionAfterGrant) {
  std::string request;
  ScriptedPeer proxy([&request](int fd) {
    request = ScriptedPeer::read(fd, 14);
    ScriptedPeer::send(fd, bytes({0, 90, 0, 0, 0, 0, 0, 0}) + "+OK via proxy\r\n");
  });
  WSClient client;
  std::vector<std::string> trace;
  client.setTraceSink([&trace](const std::string& line) { trace.push_back(line); });
  ASSERT_EQ(connectVia(client, proxy, wsopt::kSocks4, "127.0.0.1", "alice", "ignored",
                       wsopt::kTrace | wsopt::kTraceWithoutId),
            0);
  Str line;
  ASSERT_EQ(client.readLine(line, 5000, 0), 0);
  EXPECT_STREQ(line.c_str(), "+OK via proxy");
  EXPECT_EQ(request, bytes({4, 1, 0, 110, 127, 0, 0, 1}) + "alice" + std::string(1, '\0'));
  EXPECT_EQ(trace, std::vector<std::string>{"SOCKS4 via 127.0.0.1"});
}

TEST(Socks4Dialogue, MapsEveryRefusalAndClosesTheSocket) {
  for (const auto& [status, expected] :
       std::vector<std::pair<int, int>>{{91, 113}, {92, 114}, {93, 115}, {0, 116}, {200, 116}}) {
    ScriptedPeer proxy([status = status](int fd) {
      ScriptedPeer::read(fd, 9);
      ScriptedPeer::send(fd, bytes({0, status, 0, 0, 0, 0, 0, 0}));
    });
    WSClient client;
    EXPECT_EQ(connectVia(client, proxy, wsopt::kSocks4, "127.0.0.1"), expected) << status;
    EXPECT_FALSE(client.isOpen());
  }
}

TEST(Socks4Dialogue, ShortReplyThenCloseGives11AndThenSilenceGives9) {
  ScriptedPeer closing([](int fd) {
    ScriptedPeer::read(fd, 9);
    ScriptedPeer::send(fd, bytes({0, 90, 0, 0, 0}));
  });
  WSClient client;
  EXPECT_EQ(connectVia(client, closing, wsopt::kSocks4, "127.0.0.1"), err::kPeerClosed);
  EXPECT_FALSE(client.isOpen());

  ScriptedPeer silent([](int fd) {
    ScriptedPeer::read(fd, 9);
    ScriptedPeer::send(fd, bytes({0, 90, 0, 0, 0}));
    ScriptedPeer::readToEnd(fd);
  });
  WSClient second;
  EXPECT_EQ(connectVia(second, silent, wsopt::kSocks4, "127.0.0.1"), err::kReadTimeout);
  EXPECT_FALSE(second.isOpen());
}

TEST(Socks4Dialogue, UnresolvableTargetFailsBeforeAnythingIsSent) {
  std::string received = "unset";
  ScriptedPeer proxy([&received](int fd) { received = ScriptedPeer::readToEnd(fd); });
  WSClient client;
  EXPECT_EQ(connectVia(client, proxy, wsopt::kSocks4, "no-such-host.invalid"), err::kResolveFailed);
  proxy.join();
  EXPECT_EQ(received, "");

  // SOCKS4 carries IPv4 addresses only.
  ScriptedPeer second(ScriptedPeer::listensSilently());
  WSClient six;
  EXPECT_EQ(connectVia(six, second, wsopt::kSocks4, "::1"), err::kResolveFailed);
}

TEST(Socks5Dialogue, NoAuthenticationWithDottedAndNamedTargets) {
  std::string greeting, request;
  ScriptedPeer proxy([&](int fd) {
    greeting = ScriptedPeer::read(fd, 3);
    ScriptedPeer::send(fd, bytes({5, 0}));
    request = ScriptedPeer::read(fd, 10);
    ScriptedPeer::send(fd, bytes({5, 0, 0, 1, 10, 0, 0, 1, 0, 25}) + "+OK five\r\n");
  });
  WSClient client;
  ASSERT_EQ(connectVia(client, proxy, wsopt::kSocks5, "192.168.7.9", "", "unused"), 0);
  Str line;
  ASSERT_EQ(client.readLine(line, 5000, 0), 0);
  EXPECT_STREQ(line.c_str(), "+OK five");
  EXPECT_EQ(greeting, bytes({5, 1, 0}));
  EXPECT_EQ(request, bytes({5, 1, 0, 1, 192, 168, 7, 9, 0, 110}));
}

TEST(Socks5Dialogue, UserAndPasswordAndNameAndIPv6BoundAddresses) {
  std::string greeting, auth, request;
  ScriptedPeer proxy([&](int fd) {
    greeting = ScriptedPeer::read(fd, 3);
    ScriptedPeer::send(fd, bytes({5, 2}));
    auth = ScriptedPeer::read(fd, 1 + 1 + 3 + 1 + 6);
    ScriptedPeer::send(fd, bytes({1, 0}));
    request = ScriptedPeer::read(fd, 4 + 1 + 12 + 2);
    std::string reply = bytes({5, 0, 0, 4}) + std::string(16, '\1') + bytes({0, 110});
    ScriptedPeer::send(fd, reply + "+OK six\r\n");
  });
  WSClient client;
  ASSERT_EQ(connectVia(client, proxy, wsopt::kSocks5, "pop.mail.com", "bob", "secret"), 0);
  Str line;
  ASSERT_EQ(client.readLine(line, 5000, 0), 0);
  EXPECT_STREQ(line.c_str(), "+OK six");
  EXPECT_EQ(greeting, bytes({5, 1, 2}));
  EXPECT_EQ(auth, bytes({1, 3}) + "bob" + bytes({6}) + "secret");
  EXPECT_EQ(request, bytes({5, 1, 0, 3, 12}) + "pop.mail.com" + bytes({0, 110}));

  ScriptedPeer named([](int fd) {
    ScriptedPeer::read(fd, 3);
    ScriptedPeer::send(fd, bytes({5, 0}));
    ScriptedPeer::read(fd, 22);
    ScriptedPeer::send(fd, bytes({5, 0, 0, 3, 4}) + "host" + bytes({0, 1}) + "+OK\r\n");
  });
  WSClient second;
  ASSERT_EQ(connectVia(second, named, wsopt::kSocks5, "::1"), 0);
  ASSERT_EQ(second.readLine(line, 5000, 0), 0);
  EXPECT_STREQ(line.c_str(), "+OK");
}

TEST(Socks5Dialogue, ProxyInsistingOnAuthenticationGetsAnEmptyUserName) {
  std::string auth;
  ScriptedPeer proxy([&auth](int fd) {
    ScriptedPeer::read(fd, 3);
    ScriptedPeer::send(fd, bytes({5, 2}));
    auth = ScriptedPeer::read(fd, 5);
    ScriptedPeer::send(fd, bytes({1, 1}));
  });
  WSClient client;
  EXPECT_EQ(connectVia(client, proxy, wsopt::kSocks5, "10.0.0.1", "", "pw"),
            err::kSocks5AuthFailed);
  EXPECT_FALSE(client.isOpen());
  proxy.join();
  EXPECT_EQ(auth, bytes({1, 0, 2}) + "pw");
}

TEST(Socks5Dialogue, MapsMethodRefusalReplyCodesAndAddressTypes) {
  struct Case {
    std::string methodReply;
    std::string connectReply;
    int expected;
  };
  std::vector<Case> cases = {
      {bytes({5, 255}), "", 131},
      {bytes({5, 1}), "", 131},
      {bytes({5, 0}), bytes({5, 0, 0, 7}), 133},
      {bytes({5, 0}), bytes({5, 9, 0, 1}), 130},
      {bytes({5, 0}), bytes({5, 0, 0, 1, 1, 2}), err::kPeerClosed},  // cut bound address
  };
  for (int code = 1; code <= 8; ++code) {
    cases.push_back({bytes({5, 0}), bytes({5, code, 0, 1, 0, 0, 0, 0, 0, 0}), 121 + code});
  }
  for (const Case& c : cases) {
    ScriptedPeer proxy([&c](int fd) {
      ScriptedPeer::read(fd, 3);
      ScriptedPeer::send(fd, c.methodReply);
      if (c.connectReply.empty()) return;
      ScriptedPeer::read(fd, 10);
      ScriptedPeer::send(fd, c.connectReply);
    });
    WSClient client;
    EXPECT_EQ(connectVia(client, proxy, wsopt::kSocks5, "10.0.0.1"), c.expected) << c.expected;
    EXPECT_FALSE(client.isOpen());
  }
}

TEST(Socks5Dialogue, GarbageAndSilenceEndWithAnErrorAndAClosedSocket) {
  ScriptedPeer garbage([](int fd) {
    ScriptedPeer::read(fd, 3);
    ScriptedPeer::send(fd, "HTTP/1.1 400 Bad Request\r\n\r\n");
  });
  WSClient client;
  EXPECT_EQ(connectVia(client, garbage, wsopt::kSocks5, "10.0.0.1"),
            err::kSocks5NoAcceptableMethod);
  EXPECT_FALSE(client.isOpen());

  ScriptedPeer silent(ScriptedPeer::listensSilently());
  WSClient second;
  EXPECT_EQ(connectVia(second, silent, wsopt::kSocks5, "10.0.0.1"), err::kReadTimeout);
  EXPECT_FALSE(second.isOpen());
}

TEST(Socks5Dialogue, OverlongCredentialsAreRefusedUnsent) {
  ScriptedPeer proxy([](int fd) {
    ScriptedPeer::read(fd, 3);
    ScriptedPeer::send(fd, bytes({5, 2}));
    ScriptedPeer::readToEnd(fd);
  });
  WSClient client;
  const std::string longUser(256, 'u');
  EXPECT_EQ(connectVia(client, proxy, wsopt::kSocks5, "10.0.0.1", longUser.c_str(), "pw"),
            err::kSocks5AuthFailed);
}

}  // namespace
}  // namespace quillet
