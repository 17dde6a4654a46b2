// The SMTP client against scripted servers, session side: odd greetings and multi-line
// replies, EHLO with the HELO fallback, refused greetings, STARTTLS required but not
// offered, AUTH LOGIN and PLAIN in their advertised forms, RSET and QUIT, VRFY sessions,
// and servers that never end a reply, send an endless line, stay silent or hang up.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <vector>

#include "FakeSmtpServer.h"
#include "base/ErrorCodes.h"
#include "base/ProcessContext.h"
#include "smtp/WSSMTPClient.h"

namespace quillet {
namespace {

using testing::FakeSmtpConfig;
using testing::FakeSmtpServer;
using testing::ScriptedPeer;

constexpr uint32_t kEsmtp = smtpopt::kEsmtp;

struct Session {
  int connect(int port, uint32_t options = kEsmtp) {
    return client.Connect("127.0.0.1", port, "client.example", "Connection established with ",
                          options, lastReply, transcript);
  }
  WSSMTPClient client;
  Str lastReply;
  ArrayStr transcript;
};

std::vector<std::string> texts(const ArrayStr& lines) {
  std::vector<std::string> out;
  for (const Str& line : lines) out.push_back(line.toStd());
  return out;
}

TEST(SmtpSession, OddGreetingThenEhloExtensionsWithoutTheDottedFirstLine) {
  FakeSmtpConfig config;
  config.greeting = "hello there\r\n220-fake.example first\r\n220 fake.example ready\r\n";
  config.ehlo = {"fake.example Hello client", "PIPELINING", "SIZE 1000", "XEXCH50"};
  FakeSmtpServer server(config);
  Session session;
  std::vector<std::string> shown;
  session.client.setStatusSink([&shown](const Str& text) { shown.push_back(text.toStd()); });
  ASSERT_EQ(session.connect(server.port()), 0);
  EXPECT_EQ(texts(session.client.extensions()),
            (std::vector<std::string>{"PIPELINING", "SIZE 1000", "XEXCH50"}));
  EXPECT_TRUE(session.client.AdvertisesXEXCH50());
  EXPECT_FALSE(session.client.AdvertisesXXWALL30());
  EXPECT_EQ(shown, (std::vector<std::string>{"Connection established with 127.0.0.1"}));
  ASSERT_EQ(session.client.Quit(kEsmtp), 0);
  session.client.Close();
  EXPECT_EQ(server.commands(), (std::vector<std::string>{"EHLO client.example", "QUIT"}));
}

TEST(SmtpSession, RefusedEhloFallsBackToHeloAndWithoutEsmtpOnlyHeloIsSent) {
  FakeSmtpConfig refusing;
  refusing.ehlo = {};
  FakeSmtpServer server(refusing);
  Session session;
  ASSERT_EQ(session.connect(server.port()), 0);
  EXPECT_TRUE(session.lastReply.empty());
  EXPECT_EQ(session.client.extensions().count(), 0);
  ASSERT_EQ(session.client.Quit(kEsmtp), 0);
  EXPECT_EQ(server.commands(),
            (std::vector<std::string>{"EHLO client.example", "HELO client.example", "QUIT"}));

  FakeSmtpServer plain{FakeSmtpConfig{}};
  Session helo;
  ASSERT_EQ(helo.connect(plain.port(), 0), 0);
  ASSERT_EQ(helo.client.Quit(0), 0);
  EXPECT_EQ(plain.commands(), (std::vector<std::string>{"HELO client.example", "QUIT"}));
}

TEST(SmtpSession, AnIpv6MailHostWorksLikeAnIpv4One) {
  FakeSmtpServer server{FakeSmtpConfig{}, 1, AF_INET6};
  Session session;
  ASSERT_EQ(session.client.Connect("::1", server.port(), "client.example", Str(), kEsmtp,
                                   session.lastReply, session.transcript),
            0);
  ASSERT_EQ(session.client.Quit(kEsmtp), 0);
  EXPECT_EQ(server.commands(), (std::vector<std::string>{"EHLO client.example", "QUIT"}));
}

TEST(SmtpSession, RefusedGreetingReplacesTheTranscriptWithItsLines) {
  FakeSmtpConfig config;
  config.greeting = "554-fake.example no\r\n554 5.7.1 go away\r\n";
  FakeSmtpServer server(config);
  Session session;
  session.transcript.add("old line");
  EXPECT_EQ(session.connect(server.port()), err::kPermanentFailure);
  EXPECT_EQ(texts(session.transcript),
            (std::vector<std::string>{"554-fake.example no", "554 5.7.1 go away"}));
  EXPECT_EQ(session.lastReply.toStd(), "554 5.7.1 go away");
  EXPECT_EQ(session.client.lastStatusCode().toStd(), "5.4.0");
}

TEST(SmtpSession, TemporaryGreetingAnd590) {
  const struct {
    const char* greeting;
    int result;
    const char* status;
  } cases[] = {{"421 busy\r\n", err::kTemporaryFailure, "4.3.2"},
               {"590 elsewhere\r\n", err::kReply590, "5.5.4"}};
  for (const auto& c : cases) {
    FakeSmtpConfig config;
    config.greeting = c.greeting;
    FakeSmtpServer server(config);
    Session session;
    EXPECT_EQ(session.connect(server.port()), c.result) << c.greeting;
    EXPECT_EQ(session.client.lastStatusCode().toStd(), c.status);
  }
}

TEST(SmtpSession, RequiredStartTlsThatIsNotOfferedFailsBeforeAnythingElse) {
  FakeSmtpServer server{FakeSmtpConfig{}};
  Session session;
  session.client.setStartTls(StartTlsMode::Required, Str());
  EXPECT_EQ(session.connect(server.port()), err::kTlsNotOffered);
  EXPECT_TRUE(isConnectionLevel(err::kTlsNotOffered));
  session.client.Close();
  EXPECT_EQ(server.commands(), (std::vector<std::string>{"EHLO client.example"}));
}

TEST(SmtpSession, OptionalStartTlsRefusedGoesOnInPlainText) {
  FakeSmtpConfig config;
  config.ehlo = {"fake.example", "STARTTLS"};
  config.hook = FakeSmtpServer::answer("STARTTLS", "454 4.7.0 TLS not available");
  FakeSmtpServer server(config);
  Session session;
  ASSERT_EQ(session.connect(server.port()), 0);
  EXPECT_EQ(session.transcript.count(), 0);
  EXPECT_FALSE(session.client.isTls());
  ASSERT_EQ(session.client.Quit(kEsmtp), 0);
  EXPECT_EQ(server.commands(),
            (std::vector<std::string>{"EHLO client.example", "STARTTLS", "QUIT"}));

  // Required, the same refusal fails the connection with the server's reply.
  FakeSmtpServer strict(config);
  Session required;
  required.client.setStartTls(StartTlsMode::Required, Str());
  EXPECT_EQ(required.connect(strict.port()), err::kTemporaryFailure);
  EXPECT_EQ(texts(required.transcript), (std::vector<std::string>{"454 4.7.0 TLS not available"}));
  required.client.Close();
}

// Plays AUTH LOGIN and AUTH PLAIN like a server that checks joe / secret.
FakeSmtpConfig::Hook authServer() {
  return [](const std::string& command, int fd) {
    if (command == "AUTH LOGIN") {
      ScriptedPeer::send(fd, "334 VXNlcm5hbWU6\r\n");
      const bool user = FakeSmtpServer::readCommand(fd) == "am9l";
      ScriptedPeer::send(fd, "334 UGFzc3dvcmQ6\r\n");
      const bool password = FakeSmtpServer::readCommand(fd) == "c2VjcmV0";
      ScriptedPeer::send(fd, user && password ? "235 2.7.0 ok\r\n" : "535 5.7.8 bad\r\n");
      return true;
    }
    if (command.rfind("AUTH PLAIN", 0) == 0) {
      ScriptedPeer::send(
          fd, command == "AUTH PLAIN AGpvZQBzZWNyZXQ=" ? "235 2.7.0 ok\r\n" : "535 5.7.8 bad\r\n");
      return true;
    }
    return false;
  };
}

TEST(SmtpSession, AuthLoginInEitherFormPlainWhenOnlyPlainIsOfferedAndFailures) {
  const struct {
    const char* offer;
    const char* password;
    int result;
    const char* firstCommand;  // after EHLO
    const char* lastReply;
  } cases[] = {
      {"AUTH=LOGIN", "secret", 0, "AUTH LOGIN", ""},
      {"AUTH PLAIN LOGIN", "secret", 0, "AUTH LOGIN", ""},
      {"AUTH PLAIN", "secret", 0, "AUTH PLAIN AGpvZQBzZWNyZXQ=", ""},
      {"AUTH LOGIN", "wrong", err::kPermanentFailure, "AUTH LOGIN", "535 5.7.8 bad"},
      {"AUTH PLAIN", "wrong", err::kPermanentFailure,
       "AUTH PLAIN AGpvZQB3cm9uZw==", "535 5.7.8 bad"},
      {"AUTH CRAM-MD5", "secret", err::kNoAuthLogin, "QUIT", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.offer) + " " + c.password);
    FakeSmtpConfig config;
    config.ehlo = {"fake.example", c.offer};
    config.hook = authServer();
    FakeSmtpServer server(config);
    Session session;
    ASSERT_EQ(session.connect(server.port()), 0);
    EXPECT_EQ(session.client.Authenticate("joe", c.password, kEsmtp), c.result);
    EXPECT_EQ(session.client.lastReply().toStd(), c.lastReply);
    if (c.result == err::kPermanentFailure) {
      EXPECT_EQ(session.client.lastStatusCode().toStd(), "5.7.1");
    }
    ASSERT_EQ(session.client.Quit(kEsmtp), 0);
    EXPECT_EQ(server.commands()[1], c.firstCommand);
  }
}

TEST(SmtpSession, CredentialsNeverReachTheTrace) {
  for (const char* offer : {"AUTH LOGIN", "AUTH PLAIN"}) {
    FakeSmtpConfig config;
    config.ehlo = {"fake.example", offer};
    config.hook = authServer();
    FakeSmtpServer server(config);
    Session session;
    std::string trace;
    session.client.setTraceSink([&trace](const std::string& line) { trace += line + "\n"; });
    const uint32_t options = kEsmtp | wsopt::kTrace;
    ASSERT_EQ(session.client.Connect("127.0.0.1", server.port(), "client.example", Str(), options,
                                     session.lastReply, session.transcript),
              0);
    ASSERT_EQ(session.client.Authenticate("joe", "secret", options), 0);
    ASSERT_EQ(session.client.Quit(options), 0);
    EXPECT_NE(trace.find("EHLO client.example"), std::string::npos) << trace;
    for (const char* secret : {"c2VjcmV0", "AGpvZQBzZWNyZXQ=", "secret"}) {
      EXPECT_EQ(trace.find(secret), std::string::npos) << offer << "\n" << trace;
    }
  }
}

TEST(SmtpSession, ResetAndQuitAreJudgedInTheirPhase) {
  FakeSmtpConfig config;
  config.hook = FakeSmtpServer::answer("RSET", "421 4.4.2 closing");
  FakeSmtpServer server(config);
  Session session;
  ASSERT_EQ(session.connect(server.port()), 0);
  EXPECT_EQ(session.client.Reset(kEsmtp), err::kTemporaryFailure);
  EXPECT_EQ(session.client.lastStatusCode().toStd(), "4.3.2");
  EXPECT_EQ(session.client.lastReply().toStd(), "421 4.4.2 closing");
  EXPECT_EQ(session.client.Quit(kEsmtp), 0);
}

TEST(SmtpSession, VerifyReportsOneCodePerAddressSkippingBlanks) {
  FakeSmtpConfig config;
  config.hook = FakeSmtpServer::anyOf({FakeSmtpServer::answer("VRFY known", "250 Known <k@x>"),
                                       FakeSmtpServer::answer("VRFY ghost", "550 5.1.1 unknown")});
  FakeSmtpServer server(config);
  WSSMTPClient client;
  ArrayStr addresses;
  addresses.add("known");
  addresses.add("  ");
  addresses.add("ghost");
  addresses.add("maybe");
  ArrayTmpl<int> codes;
  ASSERT_EQ(client.Verify("127.0.0.1", server.port(), "client.example", kEsmtp, addresses, codes),
            0);
  ASSERT_EQ(codes.count(), 3);
  EXPECT_EQ(codes[1], 250);
  EXPECT_EQ(codes[2], 550);
  EXPECT_EQ(codes[3], 252);
  EXPECT_FALSE(client.isOpen());
  EXPECT_EQ(server.commands().back(), "QUIT");
}

TEST(SmtpSession, VerifyStopsAtAConnectionLevelError) {
  FakeSmtpConfig config;
  config.hook = FakeSmtpServer::answer("VRFY first", "250 ok", true);
  FakeSmtpServer server(config);
  WSSMTPClient client;
  ArrayStr addresses;
  addresses.add("first");
  addresses.add("second");
  ArrayTmpl<int> codes;
  const int code =
      client.Verify("127.0.0.1", server.port(), "client.example", kEsmtp, addresses, codes);
  EXPECT_TRUE(isConnectionLevel(code)) << code;
  EXPECT_EQ(codes.count(), 1);
  EXPECT_FALSE(client.isOpen());
}

TEST(SmtpSession, AReplyThatNeverEndsFailsWithBoundedMemory) {
  ScriptedPeer peer([](int fd) {
    std::string flood;
    for (int i = 0; i < 200; ++i) flood += "220-still greeting you\r\n";
    for (int i = 0; i < 60; ++i) ScriptedPeer::send(fd, flood);
    ScriptedPeer::readToEnd(fd);
  });
  Session session;
  EXPECT_EQ(session.connect(peer.port()), err::kBlockTooLarge);
  EXPECT_FALSE(session.client.isOpen());
}

TEST(SmtpSession, AnEndlessLineIsRefusedAtTheLineCap) {
  ScriptedPeer peer([](int fd) {
    ScriptedPeer::send(fd, "220 " + std::string(WSClient::kMaxLineLength + 10, 'x'));
    ScriptedPeer::readToEnd(fd);
  });
  Session session;
  EXPECT_EQ(session.connect(peer.port()), err::kLineTooLong);
}

TEST(SmtpSession, ATricklingReplyRunsIntoTheTimeLimitOfTheWholeReply) {
  std::atomic<bool> done{false};
  ScriptedPeer peer([&done](int fd) {
    for (int i = 0; i < 100 && !done; ++i) {
      ScriptedPeer::send(fd, "220-still here\r\n");
      ScriptedPeer::sleepMs(50);
    }
  });
  Session session;
  session.client.setSliceTiming(SliceTiming{200, 50});
  session.client.setReplyTimeouts(400, 400);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(session.connect(peer.port()), err::kReadTimeout);
  done = true;
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
  session.client.Close();
}

TEST(SmtpSession, ASilentServerRunsIntoTheReplyTimeLimit) {
  std::atomic<bool> done{false};
  ScriptedPeer peer(ScriptedPeer::holdsUntil(done));
  Session session;
  session.client.setSliceTiming(SliceTiming{200, 50});
  session.client.setReplyTimeouts(400, 400);
  EXPECT_EQ(session.connect(peer.port()), err::kReadTimeout);
  done = true;
  session.client.Close();
}

TEST(SmtpSession, AServerThatHangsUpAfterEhloGivesAConnectionLevelCode) {
  FakeSmtpConfig config;
  config.hook = FakeSmtpServer::answer("EHLO", "250 fake.example", true);
  FakeSmtpServer server(config);
  Session session;
  ASSERT_EQ(session.connect(server.port()), 0);
  const int code = session.client.Reset(kEsmtp);
  EXPECT_TRUE(isConnectionLevel(code)) << code;
}

TEST(SmtpSession, AStopRequestEndsConnectWith1) {
  FakeSmtpServer server{FakeSmtpConfig{}, 0};  // listens, but never gets as far as a session
  Session session;
  ProcessContext::instance().setRunning(false);
  const int code = session.connect(server.port());
  ProcessContext::instance().setRunning(true);
  EXPECT_EQ(code, err::kTerminated);
  session.client.Close();
}

TEST(SmtpSession, ARefusedPortGivesTheSocketLayersCode) {
  int port = 0;
  {
    FakeSmtpServer server{FakeSmtpConfig{}, 0};
    port = server.port();
  }
  Session session;
  const int code = session.connect(port);
  EXPECT_EQ(code, err::kWsaConnectionRefused);
}

}  // namespace
}  // namespace quillet
