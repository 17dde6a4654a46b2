// The socket client against scripted loopback peers: lines in odd pieces, peers that close
// or stay silent, stop requests, over-long lines, tracing, connecting over IPv4 and IPv6.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "base/ErrorCodes.h"
#include "base/ProcessContext.h"
#include "net/Socket.h"
#include "net/WSClient.h"
#include "tests/support/ScriptedPeer.h"

namespace quillet {
namespace {

using testing::ScriptedPeer;
using Clock = std::chrono::steady_clock;

constexpr int kQuickSliceMs = 50;      // for the tests of time-outs
constexpr int kPatientSliceMs = 2000;  // a busy machine never turns a peer's pause into one

long long millisecondsSince(Clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

// A client connected to the peer; tests of time-outs ask for short slices so that they take
// milliseconds.
void connectClient(WSClient& client, const ScriptedPeer& peer, const char* host = "127.0.0.1",
                   int sliceMs = kPatientSliceMs) {
  client.setSliceTiming(SliceTiming{sliceMs, 10});
  ASSERT_EQ(client.open(), 0);
  ASSERT_EQ(client.connect(host, peer.port(), 5000, 0), 0);
}

TEST(WSClientLines, ReadsALineThatArrivesOneByteAtATime) {
  ScriptedPeer peer([](int fd) { ScriptedPeer::sendSlowly(fd, "+OK\r\n", 5); });
  WSClient client;
  connectClient(client, peer);
  Str line;
  EXPECT_EQ(client.readLine(line, 5000, 0), 0);
  EXPECT_STREQ(line.c_str(), "+OK");
}

TEST(WSClientLines, DropsZeroBytesAndKeepsWhatFollowsTheLine) {
  ScriptedPeer peer(
      ScriptedPeer::saysThenListens(std::string("+O\0K ready\r\nsecond\r\nDATA", 24)));
  WSClient client;
  connectClient(client, peer);
  Str line;
  ASSERT_EQ(client.readLine(line, 5000, 0), 0);
  EXPECT_STREQ(line.c_str(), "+OK ready");
  ASSERT_EQ(client.readLine(line, 5000, 0), 0);
  EXPECT_STREQ(line.c_str(), "second");
  char data[4] = {};
  int received = 0;
  ASSERT_EQ(client.recvExact(data, 4, 5000, received), 0);
  EXPECT_EQ(std::string(data, 4), "DATA");
  client.setSliceTiming(SliceTiming{kQuickSliceMs, 10});
  EXPECT_EQ(client.waitSocket(2, 1000), err::kTimeout);
  EXPECT_EQ(client.close(0), 0);
}

TEST(WSClientLines, PeerThatClosesMidLineGives11WithTheLineCleared) {
  ScriptedPeer peer([](int fd) { ScriptedPeer::send(fd, "+OK half"); });
  WSClient client;
  connectClient(client, peer);
  Str line = "old";
  EXPECT_EQ(client.readLine(line, 5000, 0), err::kPeerClosed);
  EXPECT_TRUE(line.empty());
  char byte = 0;
  int received = 0;
  EXPECT_EQ(client.recvExact(&byte, 1, 5000, received), err::kPeerClosed);
}

TEST(WSClientLines, SilentPeerTimesOutAfterTheSlicesOfTheTimeOut) {
  std::atomic<bool> done{false};
  ScriptedPeer peer(ScriptedPeer::holdsUntil(done));
  WSClient client;
  connectClient(client, peer, "127.0.0.1", kQuickSliceMs);
  Str line;
  // 5000 ms is one slice, 25000 ms two, 60000 ms six.
  for (const auto& [timeoutMs, slices] :
       std::vector<std::pair<int, int>>{{5000, 1}, {25000, 2}, {60000, 6}}) {
    const auto start = Clock::now();
    EXPECT_EQ(client.readLine(line, timeoutMs, 0), err::kReadTimeout);
    const long long elapsed = millisecondsSince(start);
    EXPECT_GE(elapsed, slices * kQuickSliceMs - 5) << timeoutMs;
    EXPECT_LT(elapsed, slices * kQuickSliceMs + 400) << timeoutMs;
  }
  char buffer[8];
  int received = 0;
  EXPECT_EQ(client.recvExact(buffer, 8, 5000, received), err::kReadTimeout);
  EXPECT_EQ(client.waitSocket(2, 5000), err::kTimeout);
  EXPECT_EQ(client.waitSocket(1, 5000), 0);
  done = true;
}

TEST(WSClientLines, PeerThatStopsReadingGivesAWriteTimeOut) {
  std::atomic<bool> done{false};
  ScriptedPeer peer(ScriptedPeer::holdsUntil(done));
  WSClient client;
  connectClient(client, peer, "127.0.0.1", kQuickSliceMs);
  const std::string bulk(32 << 20, 'z');  // more than the socket buffers of both ends hold
  EXPECT_EQ(client.sendAll(bulk.data(), static_cast<int>(bulk.size()), 5000), err::kWriteTimeout);
  done = true;
  EXPECT_EQ(client.close(0), 0);
}

TEST(WSClientLines, ClearingTheRunningFlagEndsABlockedReadWith1Soon) {
  std::atomic<bool> done{false};
  ScriptedPeer peer([&done](int fd) {
    ScriptedPeer::send(fd, "partial");
    while (!done) ScriptedPeer::sleepMs(5);
  });
  WSClient client;
  ASSERT_EQ(client.open(), 0);
  ASSERT_EQ(client.connect("127.0.0.1", peer.port(), 5000, 0), 0);  // real 10-second slices
  std::thread stopper([] {
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    ProcessContext::instance().setRunning(false);
  });
  Str line = "old";
  const auto start = Clock::now();
  const int result = client.readLine(line, 60000, 0);
  const long long elapsed = millisecondsSince(start);
  stopper.join();
  EXPECT_EQ(client.sendLine("QUIT", 0), err::kTerminated);
  ProcessContext::instance().setRunning(true);
  done = true;
  EXPECT_EQ(result, err::kTerminated);
  EXPECT_TRUE(line.empty());
  EXPECT_LT(elapsed, 2000);
}

TEST(WSClientLines, EndlessLineIsRefusedAtTheCapAndTheSocketClosed) {
  ScriptedPeer peer([](int fd) {
    const std::string block(8192, 'x');
    for (int i = 0; i < 12; ++i) ScriptedPeer::send(fd, block);
  });
  WSClient client;
  connectClient(client, peer);
  Str line;
  EXPECT_EQ(client.readLine(line, 5000, 0), err::kLineTooLong);
  EXPECT_TRUE(line.empty());
  EXPECT_FALSE(client.isOpen());
}

TEST(WSClientLines, LineOfExactlyTheCapIsAccepted) {
  ScriptedPeer peer(
      [](int fd) { ScriptedPeer::send(fd, std::string(WSClient::kMaxLineLength, 'y') + "\r\n"); });
  WSClient client;
  connectClient(client, peer);
  Str line;
  EXPECT_EQ(client.readLine(line, 5000, 0), 0);
  EXPECT_EQ(line.length(), WSClient::kMaxLineLength);
}

TEST(WSClientTrace, TracesBothDirectionsWithIdAndMaskedPassword) {
  std::string received;
  ScriptedPeer peer([&received](int fd) {
    received += ScriptedPeer::readLine(fd);
    ScriptedPeer::send(fd, "+OK welcome\r\n");
    received += ScriptedPeer::readLine(fd);
    received += ScriptedPeer::readLine(fd);
  });
  std::vector<std::string> trace;
  WSClient client;
  client.setId(42);
  client.setTraceSink([&trace](const std::string& line) { trace.push_back(line); });
  connectClient(client, peer);
  const uint32_t options = wsopt::kTrace | wsopt::kHidePassword;
  Str reply;
  ASSERT_EQ(client.command("PASS secret", reply, options), 0);
  EXPECT_STREQ(reply.c_str(), "+OK welcome");
  ArrayStr lines;
  lines.add("PASS");
  lines.add("QUIT");
  ASSERT_EQ(client.sendLines(lines, options | wsopt::kTraceWithoutId), 0);
  ASSERT_EQ(client.sendLine("NOOP", 0), 0);  // no trace without the option
  EXPECT_EQ(client.close(60000), 0);
  peer.join();
  EXPECT_EQ(received, "PASS secret\r\nPASS\r\nQUIT\r\n");
  EXPECT_EQ(trace, (std::vector<std::string>{"42: > PASS *****", "42: < +OK welcome", "> PASS",
                                             "> QUIT"}));
}

TEST(WSClientConnect, ReportsRefusedConnectionsAndUnknownNames) {
  int freePort = 0;
  {
    ScriptedPeer peer([](int) {});
    freePort = peer.port();
    WSClient poke;  // let the peer's accept end
    ASSERT_EQ(poke.open(), 0);
    ASSERT_EQ(poke.connect("127.0.0.1", freePort, 5000, 0), 0);
  }
  WSClient client;
  ASSERT_EQ(client.open(), 0);
  EXPECT_EQ(client.connect("127.0.0.1", freePort, 5000, 0), err::kWsaConnectionRefused);
  ASSERT_EQ(client.open(), 0);
  EXPECT_EQ(client.connect("no-such-host.invalid", 110, 5000, 0), err::kResolveFailed);
  Str address;
  EXPECT_EQ(client.resolve("no-such-host.invalid", address), err::kResolveFailed);
  EXPECT_EQ(client.resolve(" 10.0.0.7 ", address), 0);
  EXPECT_STREQ(address.c_str(), "10.0.0.7");
  WSClient closed;
  EXPECT_EQ(closed.connect("127.0.0.1", freePort, 5000, 0), err::kWsaNotSocket);
}

TEST(WSClientConnect, ConnectsOverIPv6LoopbackAndRecordsTheAddress) {
  ScriptedPeer peer([](int fd) { ScriptedPeer::send(fd, "+OK six\r\n"); }, AF_INET6);
  WSClient client;
  connectClient(client, peer, "::1");
  Str line;
  ASSERT_EQ(client.readLine(line, 5000, 0), 0);
  EXPECT_STREQ(line.c_str(), "+OK six");
  ASSERT_EQ(client.hostAddresses().count(), 1);
  EXPECT_STREQ(client.hostAddresses()[1].ip.c_str(), "::1");
  EXPECT_STREQ(client.hostAddresses()[1].name.c_str(), "::1");
}

TEST(WSClientConnect, LooksUpThePeerNameOnlyWhenAsked) {
  ScriptedPeer first([](int) {});
  ScriptedPeer second([](int) {});
  WSClient client;
  ASSERT_EQ(client.open(), 0);
  ASSERT_EQ(client.connect("127.0.0.1", first.port(), 5000, 0), 0);
  EXPECT_EQ(client.peerNames().count(), 0);
  EXPECT_EQ(client.close(0), 0);
  ASSERT_EQ(client.open(), 0);
  ASSERT_EQ(client.connect("127.0.0.1", second.port(), 5000, wsopt::kPeerName), 0);
  ASSERT_EQ(client.peerNames().count(), 1);
  EXPECT_STREQ(client.peerNames()[1].ip.c_str(), "127.0.0.1");
  EXPECT_FALSE(client.peerNames()[1].name.isBlank());
  EXPECT_EQ(client.hostAddresses().count(), 2);
}

TEST(WSClientConnect, AcceptsBracketedIPv6Literal) {
  ScriptedPeer peer([](int fd) { ScriptedPeer::send(fd, "+OK\r\n"); }, AF_INET6);
  WSClient client;
  connectClient(client, peer, "[::1]");
  Str line;
  EXPECT_EQ(client.readLine(line, 5000, 0), 0);
}

TEST(WSClientMisc, NoDelaySwitchesNaglesAlgorithmOffOnAnOpenSocketOnly) {
  Socket socket;
  EXPECT_FALSE(socket.setNoDelay());
  ASSERT_EQ(socket.open(AF_INET), 0);
  int value = 0;
  socklen_t length = sizeof value;
  ASSERT_EQ(getsockopt(socket.fd(), IPPROTO_TCP, TCP_NODELAY, &value, &length), 0);
  EXPECT_EQ(value, 0);
  EXPECT_TRUE(socket.setNoDelay());
  ASSERT_EQ(getsockopt(socket.fd(), IPPROTO_TCP, TCP_NODELAY, &value, &length), 0);
  EXPECT_NE(value, 0);
  EXPECT_EQ(socket.close(0), 0);
}

TEST(WSClientMisc, TransferRateUsesWholeSeconds) {
  EXPECT_EQ(WSClient::transferRate(5000, 999), 5000);
  EXPECT_EQ(WSClient::transferRate(5000, 1000), 5000);
  EXPECT_EQ(WSClient::transferRate(5000, 2999), 2500);
  EXPECT_STREQ(WSClient::errorText(7).c_str(), "Error: Timeout [7]");
}

TEST(WSClientMisc, LocalAddressesFallBackToLoopback) {
  ArrayTmpl<WSInfoIP> none;
  discoverAddressesOf("no-such-host.invalid", none);
  ASSERT_EQ(none.count(), 1);
  EXPECT_STREQ(none[1].ip.c_str(), "127.0.0.1");
  EXPECT_STREQ(none[1].name.c_str(), "localhost");

  ArrayTmpl<WSInfoIP> six;
  discoverAddressesOf("::1", six);
  ASSERT_EQ(six.count(), 1);
  EXPECT_STREQ(six[1].ip.c_str(), "::1");

  WSClient client;
  client.discoverLocalHost();
  ASSERT_GE(client.localAddresses().count(), 1);
  EXPECT_FALSE(client.localAddresses()[1].name.isBlank());
}

}  // namespace
}  // namespace quillet
