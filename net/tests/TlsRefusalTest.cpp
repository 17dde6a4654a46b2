// TLS start against peers that do not speak TLS or try to slip plain bytes ahead of the
// handshake: each ends with its code and a closed socket.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "base/ErrorCodes.h"
#include "base/ProcessContext.h"
#include "net/WSClient.h"
#include "tests/support/ScriptedPeer.h"

namespace quillet {
namespace {

using testing::ScriptedPeer;

// The client starts TLS at once on connect, with the system trust store.
void useImplicitTls(WSClient& client) {
  TlsSettings tls;
  tls.implicit = true;
  client.setTls(tls);
}

TEST(TlsRefusal, PlainTextPeerFailsTheHandshake) {
  ScriptedPeer peer(ScriptedPeer::saysThenListens("+OK POP3 server ready, no TLS here\r\n"));
  WSClient client;
  useImplicitTls(client);
  client.setSliceTiming(SliceTiming{500, 10});
  ASSERT_EQ(client.open(), 0);
  EXPECT_EQ(client.connect("localhost", peer.port(), 5000, 0), err::kTlsHandshakeFailed);
  EXPECT_FALSE(client.isOpen());
}

TEST(TlsRefusal, SilentPeerTimesOutInTheHandshake) {
  ScriptedPeer peer(ScriptedPeer::listensSilently());
  WSClient client;
  useImplicitTls(client);
  client.setSliceTiming(SliceTiming{50, 10});
  ASSERT_EQ(client.open(), 0);
  EXPECT_EQ(client.connect("localhost", peer.port(), 5000, 0), err::kReadTimeout);
  EXPECT_FALSE(client.isOpen());
}

TEST(TlsRefusal, StopRequestEndsAHandshakeWaitWith1) {
  ScriptedPeer peer(ScriptedPeer::listensSilently());
  WSClient client;
  useImplicitTls(client);  // real 10-second slices
  ASSERT_EQ(client.open(), 0);
  std::thread stopper([] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    ProcessContext::instance().setRunning(false);
  });
  const auto start = std::chrono::steady_clock::now();
  const int result = client.connect("localhost", peer.port(), 60000, 0);
  const auto elapsed = std::chrono::steady_clock::now() - start;
  stopper.join();
  ProcessContext::instance().setRunning(true);
  EXPECT_EQ(result, err::kTerminated);
  EXPECT_LT(elapsed, std::chrono::seconds(2));
  EXPECT_FALSE(client.isOpen());
}

TEST(TlsRefusal, BytesAheadOfTheUpgradeAreRefused) {
  ScriptedPeer peer([](int fd) {
    ScriptedPeer::readLine(fd);
    // The reply and an injected line in one packet, before any handshake.
    ScriptedPeer::send(fd, "+OK Begin TLS\r\n+OK injected\r\n");
    ScriptedPeer::readToEnd(fd);
  });
  WSClient client;
  client.setSliceTiming(SliceTiming{500, 10});
  ASSERT_EQ(client.open(), 0);
  ASSERT_EQ(client.connect("127.0.0.1", peer.port(), 5000, 0), 0);
  Str reply;
  ASSERT_EQ(client.command("STLS", reply, 0), 0);
  EXPECT_EQ(client.startTls(5000), err::kTlsDataBeforeUpgrade);
  EXPECT_FALSE(client.isOpen());
}

}  // namespace
}  // namespace quillet
