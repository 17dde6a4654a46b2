// The SMTP test peers themselves, driven by a hand-written SMTP dialogue: smtp-sink starts,
// records every message in a file of its own (also several within one second), injects
// the fault it is told to and stops; a private Postfix delivers into readable Maildirs,
// refuses a chosen recipient, enforces its size limit, answers VRFY, refuses bare LF, and
// offers STARTTLS with the test CA's certificate and AUTH through its private Dovecot.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <memory>
#include <string>

#include "PostfixServer.h"
#include "SmtpSink.h"
#include "TestCertificates.h"
#include "tests/support/ScriptedPeer.h"
#include "tests/support/TestProcess.h"
#include "tests/support/Waiting.h"

namespace quillet {
namespace {

using testing::DeliveredMessage;
using testing::PostfixOptions;
using testing::PostfixServer;
using testing::ScriptedPeer;
using testing::SinkMessage;
using testing::SmtpSink;

// A plain SMTP connection to 127.0.0.1 that sends one command at a time and reads its whole
// (possibly multi-line) reply.
class SmtpDialogue {
 public:
  explicit SmtpDialogue(int port) : fd_(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
      greeting_ = reply();
    }
  }
  ~SmtpDialogue() { ::close(fd_); }
  SmtpDialogue(const SmtpDialogue&) = delete;
  SmtpDialogue& operator=(const SmtpDialogue&) = delete;

  const std::string& greeting() const { return greeting_; }
  // Sends bytes as they are (a line needs its own CR LF) and returns the reply.
  std::string send(const std::string& bytes) {
    ScriptedPeer::send(fd_, bytes);
    return reply();
  }
  std::string command(const std::string& line) { return send(line + "\r\n"); }
  // Lines until one whose fourth character is a space; empty when the server closed.
  std::string reply() {
    std::string all;
    for (;;) {
      const std::string line = ScriptedPeer::readLine(fd_);
      all += line;
      if (line.size() < 4 || line[3] == ' ' || line.back() != '\n') return all;
    }
  }

 private:
  int fd_;
  std::string greeting_;
};

bool startsWith(const std::string& text, const std::string& prefix) {
  return text.compare(0, prefix.size(), prefix) == 0;
}

// True when an EHLO reply has a line for the keyword (with its parameters, if any).
bool advertises(const std::string& ehlo, const std::string& keyword) {
  return ehlo.find("250-" + keyword + "\r\n") != std::string::npos ||
         ehlo.find("250 " + keyword + "\r\n") != std::string::npos;
}

// ---- smtp-sink ----

TEST(SmtpSinkPeer, RecordsEnvelopeAndBodyOfEachMessageAndStops) {
  SmtpSink sink;
  if (const std::string reason = sink.start(); !reason.empty()) GTEST_SKIP() << reason;
  {
    SmtpDialogue smtp(sink.port());
    ASSERT_TRUE(startsWith(smtp.greeting(), "220 ")) << smtp.greeting();
    EXPECT_TRUE(startsWith(smtp.command("EHLO client.example"), "250-"));
    EXPECT_TRUE(startsWith(smtp.command("MAIL FROM:<from@example.org> RET=HDRS ENVID=q1"), "250"));
    EXPECT_TRUE(startsWith(smtp.command("RCPT TO:<a@office.example> NOTIFY=NEVER"), "250"));
    EXPECT_TRUE(startsWith(smtp.command("RCPT TO:<b@office.example>"), "250"));
    EXPECT_TRUE(startsWith(smtp.command("DATA"), "354"));
    EXPECT_TRUE(startsWith(smtp.send("Subject: one\r\n\r\n..leading dot\r\nend\r\n.\r\n"), "250"));
    EXPECT_TRUE(startsWith(smtp.command("QUIT"), "221"));
  }
  ASSERT_TRUE(sink.waitForMessages(1, 5000));
  const std::vector<SinkMessage> messages = sink.messages();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].heloArgs, "client.example");
  EXPECT_EQ(messages[0].mailArgs, "<from@example.org> RET=HDRS ENVID=q1");
  EXPECT_EQ(messages[0].rcptArgs,
            (std::vector<std::string>{"<a@office.example> NOTIFY=NEVER", "<b@office.example>"}));
  EXPECT_EQ(messages[0].body, "Subject: one\n\n.leading dot\nend\n");

  const int port = sink.port();
  sink.stop();
  SmtpDialogue refused(port);
  EXPECT_EQ(refused.greeting(), "");
  EXPECT_EQ(sink.messageCount(), 1) << "stopping keeps what was received";
}

TEST(SmtpSinkPeer, KeepsEveryMessageOfABurstInAFileOfItsOwn) {
  const std::string source = testing::findProgram("smtp-source");
  if (source.empty()) GTEST_SKIP() << "smtp-source (postfix) is not installed";
  SmtpSink sink;
  if (const std::string reason = sink.start(); !reason.empty()) GTEST_SKIP() << reason;
  ASSERT_TRUE(testing::runCommand(
      source + " -m 20 -s 4 -l 2000 -f from@example.org -t to@office.example 127.0.0.1:" +
      std::to_string(sink.port())));
  ASSERT_TRUE(sink.waitForMessages(20, 5000)) << sink.messageCount();
  for (const SinkMessage& message : sink.messages()) {
    EXPECT_EQ(message.rcptArgs, std::vector<std::string>{"<to@office.example>"});
    EXPECT_GE(message.body.size(), 2000u);
  }
}

TEST(SmtpSinkPeer, InjectsTheFaultItIsGiven) {
  SmtpSink sink({"-f", "RCPT", "-B", "550 5.1.1 no such user", "-q", "DATA"});
  if (const std::string reason = sink.start(); !reason.empty()) GTEST_SKIP() << reason;
  SmtpDialogue smtp(sink.port());
  smtp.command("EHLO client.example");
  smtp.command("MAIL FROM:<from@example.org>");
  EXPECT_EQ(smtp.command("RCPT TO:<a@office.example>"), "550 5.1.1 no such user\r\n");
  EXPECT_EQ(smtp.command("DATA"), "") << "closed without a reply";
}

// ---- Postfix ----

constexpr long long kSizeLimit = 20000;

// One Postfix for the plain tests, started once for the suite.
class PostfixPeer : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    PostfixOptions options;
    options.users.emplace_back("dave");
    options.messageSizeLimit = kSizeLimit;
    options.rejectedRecipients[PostfixServer::address("blocked")] = "550 5.1.1 no such user";
    server_ = std::make_unique<PostfixServer>(options);
    reason_ = server_->start();
  }
  static void TearDownTestSuite() { server_.reset(); }
  void SetUp() override {
    if (!reason_.empty()) GTEST_SKIP() << reason_;
  }
  // A session that has said EHLO and started a transaction for the recipients.
  static std::unique_ptr<SmtpDialogue> transaction(const std::vector<std::string>& recipients) {
    auto smtp = std::make_unique<SmtpDialogue>(server_->port());
    smtp->command("EHLO client.example");
    smtp->command("MAIL FROM:<sender@example.org>");
    for (const std::string& to : recipients) smtp->command("RCPT TO:<" + to + ">");
    return smtp;
  }

  static inline std::unique_ptr<PostfixServer> server_;
  static inline std::string reason_;
};

TEST_F(PostfixPeer, DeliversToMailboxesAndRefusesTheChosenRecipient) {
  SmtpDialogue smtp(server_->port());
  ASSERT_TRUE(startsWith(smtp.greeting(), "220 mail.office.example")) << smtp.greeting();
  const std::string ehlo = smtp.command("EHLO client.example");
  for (const char* keyword : {"PIPELINING", "SIZE 20000", "VRFY", "DSN", "CHUNKING"}) {
    EXPECT_TRUE(advertises(ehlo, keyword)) << keyword << ehlo;
  }
  EXPECT_TRUE(startsWith(smtp.command("MAIL FROM:<sender@example.org>"), "250 2.1.0"));
  EXPECT_TRUE(startsWith(smtp.command("RCPT TO:<alice@office.example>"), "250 2.1.5"));
  EXPECT_TRUE(
      startsWith(smtp.command("RCPT TO:<blocked@office.example>"),
                 "550 5.1.1 <blocked@office.example>: Recipient address rejected: no such user"));
  EXPECT_TRUE(startsWith(smtp.command("RCPT TO:<nobody@office.example>"), "550 5.1.1"));
  EXPECT_TRUE(startsWith(smtp.command("RCPT TO:<bob@office.example>"), "250 2.1.5"));
  EXPECT_TRUE(startsWith(smtp.command("RCPT TO:<someone@elsewhere.example>"), "554 5.7.1"));
  EXPECT_TRUE(startsWith(smtp.command("DATA"), "354"));
  const std::string sent = "Subject: hello\r\n\r\n..dot line\r\nlast\r\n";
  EXPECT_TRUE(startsWith(smtp.send(sent + ".\r\n"), "250 2.0.0"));
  smtp.command("QUIT");

  for (const char* user : {"alice", "bob"}) {
    ASSERT_TRUE(server_->waitForMessages(user, 1, 10000)) << user << server_->maillog();
    const std::vector<DeliveredMessage> delivered = server_->delivered(user);
    ASSERT_EQ(delivered.size(), 1u);
    EXPECT_EQ(delivered[0].returnPath, "sender@example.org");
    EXPECT_EQ(delivered[0].content, "Subject: hello\n\n.dot line\nlast\n");
  }
  EXPECT_TRUE(server_->delivered("blocked").empty());
  EXPECT_NE(server_->maillog().find("reject: RCPT from localhost[127.0.0.1]: 550 5.1.1"),
            std::string::npos);
}

TEST_F(PostfixPeer, DeliversTheMessagesOfOneSessionInTheOrderSent) {
  SmtpDialogue smtp(server_->port());
  smtp.command("EHLO client.example");
  constexpr int kCount = 12;
  for (int n = 0; n < kCount; ++n) {
    smtp.command("MAIL FROM:<sender@example.org>");
    smtp.command("RCPT TO:<dave@office.example>");
    smtp.command("DATA");
    ASSERT_TRUE(
        startsWith(smtp.send("Subject: " + std::to_string(n) + "\r\n\r\nx\r\n.\r\n"), "250"));
  }
  ASSERT_TRUE(server_->waitForMessages("dave", kCount, 10000));
  const std::vector<DeliveredMessage> delivered = server_->delivered("dave");
  for (int n = 0; n < kCount; ++n) {
    EXPECT_EQ(delivered[n].content, "Subject: " + std::to_string(n) + "\n\nx\n");
  }
}

TEST_F(PostfixPeer, RefusesAMessageOverItsSizeLimitAtMail) {
  SmtpDialogue smtp(server_->port());
  smtp.command("EHLO client.example");
  EXPECT_TRUE(startsWith(
      smtp.command("MAIL FROM:<sender@example.org> SIZE=" + std::to_string(kSizeLimit + 1)),
      "552 5.3.4"));
  EXPECT_TRUE(startsWith(
      smtp.command("MAIL FROM:<sender@example.org> SIZE=" + std::to_string(kSizeLimit)), "250"));
}

TEST_F(PostfixPeer, AnswersVrfyForKnownAndUnknownUsers) {
  SmtpDialogue smtp(server_->port());
  smtp.command("EHLO client.example");
  EXPECT_EQ(smtp.command("VRFY carol@office.example"), "252 2.0.0 carol@office.example\r\n");
  EXPECT_TRUE(startsWith(smtp.command("VRFY nobody@office.example"), "550 5.1.1"));
}

TEST_F(PostfixPeer, RefusesDataWithABareLineFeed) {
  auto smtp = transaction({PostfixServer::address("carol")});
  EXPECT_TRUE(startsWith(smtp->command("DATA"), "354"));
  EXPECT_TRUE(startsWith(smtp->send("Subject: bare\r\n\r\nfirst\nsecond\r\n.\r\n"), "550 5.5.2"));
  EXPECT_TRUE(server_->delivered("carol").empty());
}

// STARTTLS and AUTH through Dovecot, sending allowed only after AUTH, and the EHLO keywords
// a test switched off.
TEST(PostfixSecurePeer, OffersStartTlsWithTheTestCertificateAndRequiresAuth) {
  PostfixOptions options;
  options.startTls = true;
  options.authUsers["clerk"] = "letmein";
  options.authRequired = true;
  options.discardedEhloKeywords = {"pipelining", "chunking"};
  PostfixServer server(options);
  if (const std::string reason = server.start(); !reason.empty()) GTEST_SKIP() << reason;

  SmtpDialogue smtp(server.port());
  const std::string ehlo = smtp.command("EHLO client.example");
  EXPECT_TRUE(advertises(ehlo, "STARTTLS")) << ehlo;
  EXPECT_TRUE(advertises(ehlo, "AUTH PLAIN LOGIN")) << ehlo;
  EXPECT_EQ(ehlo.find("PIPELINING"), std::string::npos) << ehlo;
  EXPECT_EQ(ehlo.find("CHUNKING"), std::string::npos) << ehlo;
  smtp.command("MAIL FROM:<sender@example.org>");
  EXPECT_TRUE(startsWith(smtp.command("RCPT TO:<alice@office.example>"), "554 5.7.1"));
  smtp.command("RSET");
  EXPECT_TRUE(startsWith(smtp.command("AUTH PLAIN AGNsZXJrAHdyb25n"), "535 5.7.8"));
  EXPECT_TRUE(startsWith(smtp.command("AUTH PLAIN AGNsZXJrAGxldG1laW4="), "235 2.7.0"));
  smtp.command("MAIL FROM:<sender@example.org>");
  EXPECT_TRUE(startsWith(smtp.command("RCPT TO:<alice@office.example>"), "250 2.1.5"));

  // The certificate verifies against the test CA (openssl does the handshake).
  const std::string openssl = testing::findProgram("openssl");
  if (openssl.empty()) GTEST_SKIP() << "openssl is not installed";
  EXPECT_TRUE(testing::runCommand(
      "echo QUIT | " + openssl + " s_client -brief -starttls smtp -verify_return_error -CAfile " +
      testing::TestCertificates::get().file("ca.pem") +
      " -connect 127.0.0.1:" + std::to_string(server.port()) + " >/dev/null 2>&1"));
}

}  // namespace
}  // namespace quillet
