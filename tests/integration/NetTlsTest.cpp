// TLS of the socket client against a real TLS server (openssl s_server) with certificates
// from a CA the test makes: implicit TLS, an upgraded plain session (STLS through a
// scripted POP3 greeting that hands the connection over to the server), and refusals of a
// certificate for another name, an untrusted certificate and a missing CA file.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <memory>
#include <string>

#include "TestCertificates.h"
#include "base/ErrorCodes.h"
#include "net/WSClient.h"
#include "tests/support/LoopbackNetwork.h"
#include "tests/support/ScriptedPeer.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestProcess.h"
#include "tests/support/Waiting.h"

namespace quillet {
namespace {

using testing::ScriptedPeer;
using testing::TempDir;
using testing::TestProcess;

class NetTls : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    const std::string openssl = testing::findProgram("openssl");
    if (openssl.empty() || !certificates().made()) return;
    dir_ = new TempDir("quillet-it", testing::kServerDirMode);
    port_ = testing::freePort();
    const std::string log = dir_->file("server.log");
    server_ = new TestProcess(
        {openssl, "s_server", "-accept", "127.0.0.1:" + std::to_string(port_), "-cert",
         certificates().file("server.pem"), "-key", certificates().file("server.key"), "-www"},
        log);
    if (!server_->started() || !testing::waitForText(log, "ACCEPT", 10000)) {
      delete server_;
      server_ = nullptr;
    }
  }
  static void TearDownTestSuite() {
    delete server_;
    server_ = nullptr;
    delete dir_;
    dir_ = nullptr;
  }
  // For localhost only, so that 127.0.0.1 is another name.
  static const testing::TestCertificates& certificates() {
    return testing::TestCertificates::localhostOnly();
  }
  void SetUp() override {
    if (server_ == nullptr) GTEST_SKIP() << "openssl s_server could not be started";
  }

  static TlsSettings settings(bool implicit, const std::string& caFile) {
    TlsSettings tls;
    tls.implicit = implicit;
    tls.caFile = Str(caFile.c_str());
    return tls;
  }
  static std::string ca() { return certificates().file("ca.pem"); }

  // Asks the web mode of s_server for its page and checks the status line.
  static void expectHttpAnswer(WSClient& client) {
    ASSERT_EQ(client.sendLine("GET / HTTP/1.0", 0), 0);
    ASSERT_EQ(client.sendLine("", 0), 0);
    Str status;
    ASSERT_EQ(client.readLine(status, 10000, 0), 0);
    EXPECT_STREQ(status.c_str(), "HTTP/1.0 200 ok");
  }

  static TempDir* dir_;
  static TestProcess* server_;
  static int port_;
};

TempDir* NetTls::dir_ = nullptr;
TestProcess* NetTls::server_ = nullptr;
int NetTls::port_ = 0;

TEST_F(NetTls, ImplicitTlsWithTheNamedCaFile) {
  WSClient client;
  client.setTls(settings(true, ca()));
  ASSERT_EQ(client.open(), 0);
  ASSERT_EQ(client.connect("localhost", port_, 10000, 0), 0);
  EXPECT_TRUE(client.isTls());
  expectHttpAnswer(client);
  // The server ends the session after its page: the rest arrives, then the close.
  Str line;
  int result = 0;
  for (int i = 0; i < 1000 && result == 0; ++i) result = client.readLine(line, 10000, 0);
  EXPECT_EQ(result, err::kPeerClosed);
}

TEST_F(NetTls, CertificateForAnotherNameIsRefused) {
  WSClient client;
  client.setTls(settings(true, ca()));
  ASSERT_EQ(client.open(), 0);
  // The certificate names localhost only, not the address.
  EXPECT_EQ(client.connect("127.0.0.1", port_, 10000, 0), err::kTlsHostMismatch);
  EXPECT_FALSE(client.isOpen());
}

TEST_F(NetTls, UntrustedCertificateIsRefused) {
  for (const std::string& caFile : {certificates().file("other.pem"), std::string()}) {
    WSClient client;  // another CA, then the system trust store
    client.setTls(settings(true, caFile));
    ASSERT_EQ(client.open(), 0);
    EXPECT_EQ(client.connect("localhost", port_, 10000, 0), err::kTlsUntrusted) << caFile;
    EXPECT_FALSE(client.isOpen());
  }
}

TEST_F(NetTls, MissingCaFileIsReported) {
  WSClient client;
  client.setTls(settings(true, certificates().file("absent.pem")));
  ASSERT_EQ(client.open(), 0);
  EXPECT_EQ(client.connect("localhost", port_, 10000, 0), err::kTlsCaFileFailed);
  EXPECT_FALSE(client.isOpen());
}

// Copies bytes both ways between two descriptors until one side ends.
void relay(int a, int b) {
  char buffer[8192];
  for (;;) {
    pollfd fds[2] = {{a, POLLIN, 0}, {b, POLLIN, 0}};
    if (poll(fds, 2, 10000) <= 0) return;
    for (int i = 0; i < 2; ++i) {
      if (fds[i].revents == 0) continue;
      const ssize_t n = recv(fds[i].fd, buffer, sizeof buffer, 0);
      if (n <= 0) return;
      ScriptedPeer::send(i == 0 ? b : a, std::string_view(buffer, static_cast<size_t>(n)));
    }
  }
}

TEST_F(NetTls, UpgradesAPlainSessionAfterStls) {
  const int port = port_;
  ScriptedPeer pop3([port](int fd) {
    ScriptedPeer::send(fd, "+OK POP3 ready\r\n");
    if (ScriptedPeer::readLine(fd) != "STLS\r\n") return;
    ScriptedPeer::send(fd, "+OK Begin TLS negotiation\r\n");
    const int server = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(server, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0)
      relay(fd, server);
    close(server);
  });
  WSClient client;
  client.setTls(settings(false, ca()));
  ASSERT_EQ(client.open(), 0);
  ASSERT_EQ(client.connect("localhost", pop3.port(), 10000, 0), 0);
  EXPECT_FALSE(client.isTls());
  Str greeting, reply;
  ASSERT_EQ(client.readLine(greeting, 10000, 0), 0);
  ASSERT_EQ(client.command("STLS", reply, 0), 0);
  ASSERT_STREQ(reply.c_str(), "+OK Begin TLS negotiation");
  ASSERT_EQ(client.startTls(10000), 0);
  EXPECT_TRUE(client.isTls());
  expectHttpAnswer(client);
  EXPECT_EQ(client.close(0), 0);
}

}  // namespace
}  // namespace quillet
