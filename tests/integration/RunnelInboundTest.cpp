// The runnel program fetching mail from a real POP3 server (a private Dovecot), as a new
// user sets it up: QUILLET.INI and DataPOP.DAT in the program directory, runnel started,
// stopped by SIGTERM. Checked on disk and in the log: the messages in MSG-IN byte for byte
// with their index files, the mailbox emptied (or left alone with LeaveMessagesOnServer and
// the ids in datauidl.dat), several connections under InboundPOP3MaxMessages, a wrong
// password, a stop while a server keeps runnel waiting, POP3S and STLS with a private CA,
// and a SOCKS5 proxy.
//
// The mailboxes are due once in the day's window from 00:00 to 23:59, so each run makes
// exactly one pass on its own; a test that would start in the last minutes of the day waits
// for the next day first.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "DovecotServer.h"
#include "RunnelInstance.h"
#include "SocksProxy.h"
#include "TestCertificates.h"
#include "base/Password.h"
#include "server/queue/QueueStore.h"
#include "tests/support/FileBytes.h"
#include "tests/support/Waiting.h"

namespace quillet {
namespace {

using testing::DovecotServer;
using testing::MailboxRecord;
using testing::occurrences;
using testing::RunnelHome;
using testing::RunnelInstance;
using testing::waitUntil;

constexpr int kFetchTimeMs = 90000;  // generous: two loaded cores, sanitizer builds
constexpr std::chrono::milliseconds kStopTime{60000};

std::string sampleMessage(int n) {
  return "From: sender" + std::to_string(n) +
         "@example.org\nTo: office@example.com\nSubject: note " + std::to_string(n) +
         "\n\nBody of " + std::to_string(n) + "\n.leading dot\n..two\n\nend\n";
}

// Past 23:57 local time the window and the day's log could change under the test.
void waitForAQuietTimeOfDay() {
  for (;;) {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    ::localtime_r(&now, &local);
    if (local.tm_hour < 23 || local.tm_min < 57) return;
    std::this_thread::sleep_for(std::chrono::seconds(5));
  }
}

class RunnelInbound : public ::testing::Test {
 protected:
  void SetUp() override { waitForAQuietTimeOfDay(); }

  void startServer(DovecotServer& server) {
    const std::string reason = server.start();
    if (!reason.empty()) GTEST_SKIP() << reason;
  }
  // joe's mailbox on the plain POP3 port.
  MailboxRecord mailbox(int port) const {
    MailboxRecord record;
    record.user = DovecotServer::kUser;
    record.password = DovecotServer::kPassword;
    record.port = port;
    return record;
  }
  std::string openedLine(int port) const {
    return "Connection opened with 127.0.0.1:" + std::to_string(port) + " for joe";
  }
  std::string closedLine(int port) const {
    return "Connection closed with 127.0.0.1:" + std::to_string(port) + " for joe";
  }
  // True once the log holds the closing line of a connection times times.
  bool waitForConnections(int port, int times) const {
    return waitUntil([&] { return occurrences(home.log(), closedLine(port)) >= times; },
                     kFetchTimeMs);
  }
  void stop(RunnelInstance& runnel) const {
    EXPECT_EQ(runnel.stop(kStopTime), 0) << runnel.output();
    EXPECT_NE(runnel.output().find("Quillet stopped\n"), std::string::npos) << runnel.output();
    EXPECT_NE(home.log().find("Quillet stopped"), std::string::npos);
  }
  // The message files hold exactly the expected texts, each with an index naming joe and
  // the route-to address as the only recipient (none when empty).
  void expectInbound(const std::multiset<std::string>& expected,
                     const std::string& routeTo = "") const {
    std::multiset<std::string> stored;
    for (const std::string& name : home.inboundFiles("TXT")) {
      stored.insert(testing::readBytes(home.file("MSG-IN/" + name)));
    }
    EXPECT_EQ(stored, expected);
    const std::vector<std::string> indexes = home.inboundFiles("INX");
    EXPECT_EQ(indexes.size(), expected.size());
    QueueStore store(Str(std::string_view(home.path())));
    for (const std::string& name : indexes) {
      SMTPInfo entry;
      entry.indexFile = Str(std::string_view(home.file("MSG-IN/" + name)));
      ASSERT_EQ(store.loadIndex(entry, QueueNumber::Inbound), IndexStatus::Loaded) << name;
      EXPECT_EQ(entry.source.toStd(), DovecotServer::kUser) << name;
      if (routeTo.empty()) {
        EXPECT_EQ(entry.recipients.count(), 0) << name;
      } else {
        ASSERT_EQ(entry.recipients.count(), 1) << name;
        EXPECT_EQ(entry.recipients[1].address.toStd(), routeTo) << name;
      }
    }
  }

  RunnelHome home;
};

TEST_F(RunnelInbound, FetchesTwentyFiveMessagesInThreeConnectionsAndEmptiesTheMailbox) {
  DovecotServer server;
  std::multiset<std::string> wire;
  for (int n = 1; n <= 25; ++n) wire.insert(server.addMessage(sampleMessage(n)));
  startServer(server);
  home.writeSettings("InboundPOP3MaxMessages=10");
  home.writeMailboxes({mailbox(server.port())});
  RunnelInstance runnel(home);
  ASSERT_TRUE(runnel.started());
  ASSERT_TRUE(waitForConnections(server.port(), 3)) << runnel.output();
  EXPECT_TRUE(waitUntil([&] { return server.messageCount() == 0; }, 10000))
      << server.messageCount();
  stop(runnel);
  const std::string log = home.log();
  EXPECT_EQ(occurrences(log, openedLine(server.port())), 3) << log;
  EXPECT_EQ(occurrences(log, closedLine(server.port())), 3) << log;
  EXPECT_EQ(log.find("Error"), std::string::npos) << log;
  expectInbound(wire);
}

// The ids of datauidl.dat: one line per message, host and user each padded to 128
// characters, then the id. Fails the test on a line of another mailbox.
std::vector<std::string> storedIds(const std::string& file) {
  const std::string ids = testing::readBytes(file);
  const std::string key =
      std::string("127.0.0.1") + std::string(119, ' ') + "joe" + std::string(125, ' ');
  std::vector<std::string> found;
  for (size_t at = 0; at < ids.size();) {
    size_t end = ids.find('\n', at);
    if (end == std::string::npos) end = ids.size();
    std::string line = ids.substr(at, end - at);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    at = end + 1;
    if (line.empty()) continue;
    EXPECT_EQ(line.compare(0, key.size(), key), 0) << line;
    found.push_back(line.substr(std::min(key.size(), line.size())));
  }
  return found;
}

TEST_F(RunnelInbound, LeavesMessagesOnTheServerAndFetchesEachOnlyOnce) {
  DovecotServer server;
  std::multiset<std::string> wire;
  for (int n = 1; n <= 25; ++n) wire.insert(server.addMessage(sampleMessage(n)));
  startServer(server);
  home.writeSettings("LeaveMessagesOnServer=1\nInboundPOP3MaxMessages=10");
  home.writeMailboxes({mailbox(server.port())});
  const auto closedCount = [&] { return occurrences(home.log(), closedLine(server.port())); };
  {
    RunnelInstance runnel(home);
    // Each connection skips the ids the earlier ones of the run saved.
    ASSERT_TRUE(waitForConnections(server.port(), 3)) << runnel.output();
    // A second pass on request, as the administration program asks for one. A request
    // that comes while the mailbox is still marked busy passes it by, so ask again.
    ASSERT_TRUE(waitUntil(
        [&] {
          testing::writeBytes(home.file("IPOP3.sig"), "");
          return waitUntil([&] { return closedCount() >= 4; }, 5000);
        },
        kFetchTimeMs))
        << runnel.output();
    stop(runnel);
  }
  EXPECT_EQ(server.messageCount(), 25);
  expectInbound(wire);
  const std::vector<std::string> ids = storedIds(home.file("datauidl.dat"));
  EXPECT_EQ(ids.size(), 25u);
  EXPECT_EQ(std::set<std::string>(ids.begin(), ids.end()).size(), 25u);
  EXPECT_EQ(std::count(ids.begin(), ids.end(), ""), 0);

  // A new start reads the ids back from datauidl.dat and fetches only the new message.
  wire.insert(server.addMessage(sampleMessage(26)));
  const int connectionsBefore = closedCount();
  RunnelInstance again(home, "runnel-again.out");
  ASSERT_TRUE(waitForConnections(server.port(), connectionsBefore + 1)) << again.output();
  stop(again);
  EXPECT_EQ(server.messageCount(), 26);
  expectInbound(wire);
  EXPECT_EQ(storedIds(home.file("datauidl.dat")).size(), 26u);
  EXPECT_EQ(home.log().find("Error"), std::string::npos) << home.log();
}

TEST_F(RunnelInbound, WrongPasswordIsLoggedAndLeavesTheMailboxUntouched) {
  DovecotServer server;
  for (int n = 1; n <= 2; ++n) (void)server.addMessage(sampleMessage(n));
  startServer(server);
  home.writeSettings("");
  MailboxRecord record = mailbox(server.port());
  record.password = "not-the-password";
  home.writeMailboxes({record});
  RunnelInstance runnel(home);
  ASSERT_TRUE(waitForConnections(server.port(), 1)) << runnel.output();
  stop(runnel);
  const std::string log = home.log();
  EXPECT_NE(log.find("Error: No OK received [21]"), std::string::npos) << log;
  EXPECT_EQ(log.find("not-the-password"), std::string::npos) << log;
  EXPECT_EQ(server.messageCount(), 2);
  EXPECT_TRUE(home.inboundFiles("TXT").empty());
  EXPECT_TRUE(home.inboundFiles("INX").empty());
}

// A server that accepts the connection (the kernel completes it) but never greets.
class SilentServer {
 public:
  SilentServer() {
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(fd_, reinterpret_cast<sockaddr*>(&address), length) == 0 && ::listen(fd_, 4) == 0 &&
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
      port_ = ntohs(address.sin_port);
    }
  }
  ~SilentServer() { ::close(fd_); }
  SilentServer(const SilentServer&) = delete;
  SilentServer& operator=(const SilentServer&) = delete;
  int port() const { return port_; }

 private:
  int fd_ = -1;
  int port_ = 0;
};

TEST_F(RunnelInbound, StopsAtOnceWhileAServerKeepsItWaiting) {
  SilentServer server;
  ASSERT_NE(server.port(), 0);
  home.writeSettings("");
  home.writeMailboxes({mailbox(server.port())});
  RunnelInstance runnel(home);
  ASSERT_TRUE(
      waitUntil([&] { return home.log().find(openedLine(server.port())) != std::string::npos; },
                kFetchTimeMs))
      << runnel.output();
  // The greeting would be waited for 300 seconds; a stop ends the wait within one slice.
  const auto stopped = std::chrono::steady_clock::now();
  stop(runnel);
  EXPECT_LT(std::chrono::steady_clock::now() - stopped, std::chrono::seconds(20));
  const std::string log = home.log();
  EXPECT_NE(log.find("Error: Program termination requested [1]"), std::string::npos) << log;
  EXPECT_EQ(occurrences(log, closedLine(server.port())), 1) << log;
  EXPECT_TRUE(home.inboundFiles("TXT").empty());
}

// POP3S from the start ('T') and the STLS upgrade ('S'), trusting only the private CA;
// the mailbox routes every message to one fixed recipient.
class RunnelInboundTls : public RunnelInbound, public ::testing::WithParamInterface<char> {};

TEST_P(RunnelInboundTls, FetchesOverTlsWithThePrivateCa) {
  const testing::TestCertificates& certificates = testing::TestCertificates::get();
  if (!certificates.made()) GTEST_SKIP() << "openssl could not make certificates";
  DovecotServer server(certificates.file("server.pem"), certificates.file("server.key"));
  std::multiset<std::string> wire;
  for (int n = 1; n <= 2; ++n) wire.insert(server.addMessage(sampleMessage(n)));
  startServer(server);
  home.writeSettings("TLSTrustFile=" + certificates.file("ca.pem"));
  MailboxRecord record = mailbox(server.port());
  record.security = GetParam();
  record.routeTo = "office@example.com";
  if (record.security == 'T') record.port = server.tlsPort();
  home.writeMailboxes({record});
  RunnelInstance runnel(home);
  ASSERT_TRUE(waitForConnections(record.port, 1)) << runnel.output();
  EXPECT_TRUE(waitUntil([&] { return server.messageCount() == 0; }, 10000));
  stop(runnel);
  EXPECT_EQ(home.log().find("Error"), std::string::npos) << home.log();
  expectInbound(wire, record.routeTo);
  // Dovecot marks a logon over TLS with "TLS".
  const std::string serverLog = server.log();
  const size_t login = serverLog.find("Login: ");
  ASSERT_NE(login, std::string::npos) << serverLog;
  const std::string loginLine = serverLog.substr(login, serverLog.find('\n', login) - login);
  EXPECT_NE(loginLine.find(", TLS"), std::string::npos) << loginLine;
}

INSTANTIATE_TEST_SUITE_P(Security, RunnelInboundTls, ::testing::Values('T', 'S'),
                         [](const ::testing::TestParamInfo<char>& info) {
                           return std::string(info.param == 'T' ? "Pop3s" : "Stls");
                         });

TEST_F(RunnelInbound, FetchesThroughASocks5ProxyWithUserAndPassword) {
  const std::string reason = testing::SocksProxy::unavailable("microsocks");
  if (!reason.empty()) GTEST_SKIP() << reason;
  testing::SocksProxy proxy;
  ASSERT_TRUE(proxy.startMicrosocks());
  DovecotServer server;
  std::multiset<std::string> wire;
  for (int n = 1; n <= 2; ++n) wire.insert(server.addMessage(sampleMessage(n)));
  startServer(server);
  home.writeSettings("SOCKSHostTyp=2\nSOCKSHost=127.0.0.1\nSOCKSUser=mailer\nSOCKSPassword=" +
                     scramble("s3cret", kSOCKSPasswordKey).toStd() + "\nVerboseTransfer=1");
  home.writeMailboxes({mailbox(server.port())});
  RunnelInstance runnel(home);
  ASSERT_TRUE(waitForConnections(server.port(), 1)) << runnel.output();
  EXPECT_TRUE(waitUntil([&] { return server.messageCount() == 0; }, 10000));
  stop(runnel);
  const std::string log = home.log();
  EXPECT_NE(log.find("SOCKS5 via 127.0.0.1"), std::string::npos) << log;
  EXPECT_EQ(log.find("Error"), std::string::npos) << log;
  expectInbound(wire);
}

}  // namespace
}  // namespace quillet
