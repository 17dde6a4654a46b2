// The runnel program delivering its outbound queue to a real mail host (a private Postfix),
// as a new user meets it: message and index files placed in MSG-OUT, runnel started,
// stopped by SIGTERM. Checked in Postfix's Maildirs and log and on disk: every message
// arrives, priority 1 first, MSG-OUT is empty afterwards, bare line ends smuggle nothing,
// a postmaster sender goes with the null reverse-path, a refused recipient does not keep
// the others from their copy, a message over the size limit is refused before MAIL FROM,
// a mail host answering 4xx leaves the queue for the retry, and STARTTLS with the private
// CA together with AUTH. The notifications through the same Postfix: a refused recipient
// gives the sender a non delivery report (and the postmaster a copy), a postmaster sender
// none; a wrong POP3 password (a private Dovecot) gives the postmaster a status report;
// "SendLog.sig" mails the zipped log to two receivers.
//
// The index files are written here line by line from the layout of the queue's index file
// (55 fixed lines, then 10 per recipient), independently of the program's own writer.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "DovecotServer.h"
#include "PostfixServer.h"
#include "RunnelInstance.h"
#include "TestCertificates.h"
#include "base/Clock.h"
#include "base/Password.h"
#include "decode/SMTPDecode.h"
#include "server/queue/QueueStore.h"
#include "tests/support/FileBytes.h"
#include "tests/support/ScriptedPeer.h"
#include "tests/support/Waiting.h"

namespace quillet {
namespace {

using testing::PostfixOptions;
using testing::PostfixServer;
using testing::RunnelHome;
using testing::RunnelInstance;
using testing::waitUntil;

constexpr int kDeliveryTimeMs = 60000;
constexpr std::chrono::milliseconds kStopTime{60000};

// One queued message: its transfer-form text and envelope.
struct Queued {
  std::string name;  // base name, "MSG00001"
  uint32_t priority = 3;
  std::string sender;
  std::vector<std::string> recipients;
  std::string text;  // as stored: CR LF lines, dot-stuffed, ending with "."
};

std::string transferForm(const std::string& subject, const std::string& body) {
  return "From: sender@example.org\r\nSubject: " + subject + "\r\n\r\n" + body + ".\r\n";
}

// The index file of a queued message in the current layout.
std::string indexFile(const RunnelHome& home, const Queued& message, uint32_t queuedAt) {
  std::vector<std::string> lines(55);
  lines[0] = home.file("MSG-OUT/" + message.name + ".ONX");
  lines[1] = home.file("MSG-OUT/" + message.name + ".TXT");
  lines[2] = std::to_string(queuedAt);
  lines[3] = "8";
  lines[12] = "1";
  lines[15] = "joe";
  lines[20] = message.sender;
  lines[21] = std::to_string(message.priority);
  lines[22] = "0";
  lines[30] = std::to_string(queuedAt + 259200);
  lines[31] = "0";
  lines[33] = "0";
  lines[34] = "0";
  for (const std::string& recipient : message.recipients) {
    std::vector<std::string> group(10);
    group[0] = recipient;
    group[1] = "0";
    lines.insert(lines.end(), group.begin(), group.end());
  }
  std::string text;
  for (const std::string& line : lines) text += line + "\r\n";
  return text;
}

class RunnelOutbound : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directory(home.file("MSG-OUT"));
    ::chmod(home.file("MSG-OUT").c_str(), 0700);
  }

  void startServer(PostfixServer& server) {
    const std::string reason = server.start();
    if (!reason.empty()) GTEST_SKIP() << reason;
  }
  void queue(const Queued& message) {
    ASSERT_TRUE(testing::writeBytes(home.file("MSG-OUT/" + message.name + ".TXT"), message.text));
    ASSERT_TRUE(testing::writeBytes(home.file("MSG-OUT/" + message.name + ".ONX"),
                                    indexFile(home, message, currentTimestamp() - 60)));
  }
  // Settings for delivery to port; Postfix is no Exchange server.
  void settingsFor(int port, const std::string& extra = "") {
    home.writeSettings("SmartHost=127.0.0.1\nSMTPOutboundPort=" + std::to_string(port) +
                       "\nCheckExchange=0\nVerbose=1\n" + extra);
    home.writeMailboxes({});
  }
  int outboundFiles() const {
    int n = 0;
    for (const auto& entry : std::filesystem::directory_iterator(home.file("MSG-OUT"))) {
      n += entry.is_regular_file() ? 1 : 0;
    }
    return n;
  }
  SMTPInfo loaded(const std::string& name) const {
    QueueStore store(Str(std::string_view(home.path())));
    SMTPInfo entry;
    entry.indexFile = Str(std::string_view(home.file("MSG-OUT/" + name + ".ONX")));
    EXPECT_EQ(store.loadIndex(entry, QueueNumber::Outbound), IndexStatus::Loaded) << name;
    return entry;
  }
  void stop(RunnelInstance& runnel) const {
    EXPECT_EQ(runnel.stop(kStopTime), 0) << runnel.output();
    EXPECT_NE(home.log().find("Quillet stopped"), std::string::npos);
  }

  RunnelHome home;
};

TEST_F(RunnelOutbound, DeliversEveryPriorityInOrderAndEmptiesMsgOut) {
  PostfixServer server;
  startServer(server);
  // Written lowest priority first: the order of delivery is the priorities'.
  const std::vector<Queued> messages = {
      {"MSG00005",
       5,
       "five@example.org",
       {PostfixServer::address("carol")},
       transferForm("five", "last\r\n")},
      {"MSG00003",
       3,
       "three@example.org",
       {PostfixServer::address("bob")},
       transferForm("three", "..a line with a leading dot\r\nmiddle\r\n")},
      {"MSG00001",
       1,
       "one@example.org",
       {PostfixServer::address("alice")},
       transferForm("one", "first\r\n")},
  };
  for (const Queued& message : messages) queue(message);
  settingsFor(server.port());
  RunnelInstance runnel(home);
  ASSERT_TRUE(runnel.started());
  ASSERT_TRUE(waitUntil([&] { return outboundFiles() == 0; }, kDeliveryTimeMs))
      << runnel.output() << server.maillog();
  ASSERT_TRUE(server.waitForMessages("carol", 1, 10000));
  stop(runnel);

  const auto alice = server.delivered("alice");
  const auto bob = server.delivered("bob");
  const auto carol = server.delivered("carol");
  ASSERT_EQ(alice.size(), 1u);
  ASSERT_EQ(bob.size(), 1u);
  ASSERT_EQ(carol.size(), 1u);
  EXPECT_EQ(alice[0].returnPath, "one@example.org");
  EXPECT_EQ(bob[0].content,
            "From: sender@example.org\nSubject: three\n\n.a line with a leading dot\nmiddle\n");
  const std::string maillog = server.maillog();
  const size_t one = maillog.find("from=<one@example.org>");
  const size_t three = maillog.find("from=<three@example.org>");
  const size_t five = maillog.find("from=<five@example.org>");
  ASSERT_NE(five, std::string::npos) << maillog;
  EXPECT_LT(one, three) << maillog;
  EXPECT_LT(three, five) << maillog;
  const std::string log = home.log();
  EXPECT_NE(log.find("Reading queued messages from disk: 3 / 3"), std::string::npos) << log;
  EXPECT_EQ(testing::occurrences(log, "Connecting with 127.0.0.1"), 3) << log;
  EXPECT_EQ(testing::occurrences(log, " K sent ("), 3) << log;
  EXPECT_EQ(testing::occurrences(log, "Connection closed with 127.0.0.1"), 3) << log;
  EXPECT_EQ(log.find("Error"), std::string::npos) << log;
}

TEST_F(RunnelOutbound, BareLineEndsNeverSmuggleASecondMessage) {
  PostfixServer server;
  startServer(server);
  // A provider's message with bare LF line ends and a lone "." line inside, followed by
  // what would be a second transaction if it went out as it is.
  const std::string stored =
      "From: sender@example.org\nSubject: odd\n\nbody\n.\nMAIL FROM:<evil@example.org>\n"
      "RCPT TO:<" +
      PostfixServer::address("carol") + ">\nDATA\nsmuggled\n.\r\n";
  queue({"MSG00011", 3, "odd@example.org", {PostfixServer::address("alice")}, stored});
  // A postmaster sender goes with the null reverse-path, in any letter case.
  queue({"MSG00012",
         3,
         "PostMaster@office.example",
         {PostfixServer::address("bob")},
         transferForm("notice", "from the postmaster\r\n")});
  settingsFor(server.port());
  RunnelInstance runnel(home);
  ASSERT_TRUE(waitUntil([&] { return outboundFiles() == 0; }, kDeliveryTimeMs))
      << runnel.output() << server.maillog();
  ASSERT_TRUE(server.waitForMessages("alice", 1, 10000)) << server.maillog();
  ASSERT_TRUE(server.waitForMessages("bob", 1, 10000)) << server.maillog();
  stop(runnel);
  EXPECT_EQ(server.delivered("bob")[0].returnPath, "");
  EXPECT_EQ(server.delivered("alice").size(), 1u);
  EXPECT_TRUE(server.delivered("carol").empty()) << server.maillog();
  EXPECT_EQ(server.maillog().find("bare <LF>"), std::string::npos) << server.maillog();
}

TEST_F(RunnelOutbound, RefusedRecipientDoesNotKeepTheOthersFromTheirCopy) {
  PostfixOptions options;
  options.rejectedRecipients[PostfixServer::address("bob")] = "550 5.1.1 no such user";
  PostfixServer server(options);
  startServer(server);
  queue({"MSG00021",
         3,
         "team@example.org",
         {PostfixServer::address("alice"), PostfixServer::address("bob"),
          PostfixServer::address("carol")},
         transferForm("team", "for all of you\r\n")});
  settingsFor(server.port());
  RunnelInstance runnel(home);
  ASSERT_TRUE(waitUntil([&] { return outboundFiles() == 0; }, kDeliveryTimeMs))
      << runnel.output() << server.maillog();
  EXPECT_TRUE(server.waitForMessages("alice", 1, 10000));
  EXPECT_TRUE(server.waitForMessages("carol", 1, 10000));
  stop(runnel);
  EXPECT_TRUE(server.delivered("bob").empty());
  EXPECT_EQ(server.delivered("alice").size(), 1u);
  EXPECT_EQ(server.delivered("carol").size(), 1u);
}

TEST_F(RunnelOutbound, MessageOverTheSizeLimitIsRefusedBeforeMailFrom) {
  PostfixOptions options;
  options.messageSizeLimit = 4096;
  PostfixServer server(options);
  startServer(server);
  queue({"MSG00051",
         3,
         "big@example.org",
         {PostfixServer::address("alice")},
         transferForm("big", std::string(100, 'x') + "\r\n" + std::string(8000, 'y') + "\r\n")});
  queue({"MSG00052",
         3,
         "small@example.org",
         {PostfixServer::address("bob")},
         transferForm("small", "fits\r\n")});
  settingsFor(server.port());
  RunnelInstance runnel(home);
  // Refused for good: given up and removed (its notification to example.org is refused
  // in turn, and a notification about a notification is never sent).
  ASSERT_TRUE(waitUntil([&] { return outboundFiles() == 0; }, kDeliveryTimeMs))
      << runnel.output() << server.maillog();
  ASSERT_TRUE(server.waitForMessages("bob", 1, 10000)) << server.maillog();
  stop(runnel);
  EXPECT_TRUE(server.delivered("alice").empty());
  // The big message never reached MAIL FROM; only its report went to its sender.
  const std::string maillog = server.maillog();
  EXPECT_EQ(maillog.find("from=<big@example.org>"), std::string::npos) << maillog;
  EXPECT_NE(maillog.find("from=<> to=<big@example.org>"), std::string::npos) << maillog;
}

TEST_F(RunnelOutbound, MailHostAnswering4xxLeavesTheQueueForTheRetry) {
  // A mail host that refuses the session for now with its greeting.
  testing::ScriptedPeer host(testing::ScriptedPeer::saysThenListens("421 4.3.2 busy\r\n"));
  queue({"MSG00031",
         3,
         "x@example.org",
         {"alice@office.example"},
         transferForm("later", "wait\r\n")});
  settingsFor(host.port());
  const uint32_t before = currentTimestamp();
  RunnelInstance runnel(home);
  ASSERT_TRUE(runnel.waitFor("Connecting with 127.0.0.1", 1, std::chrono::seconds(30)))
      << runnel.output();
  ASSERT_TRUE(waitUntil([&] { return loaded("MSG00031").tries == 1; }, kDeliveryTimeMs))
      << runnel.output();
  const uint32_t after = currentTimestamp();
  stop(runnel);
  const SMTPInfo entry = loaded("MSG00031");
  EXPECT_EQ(entry.tries, 1u);
  EXPECT_GE(entry.nextTryAt, before + 900);
  EXPECT_LE(entry.nextTryAt, after + 900);
  EXPECT_NE(entry.lastError, 0u);
  EXPECT_EQ(outboundFiles(), 2) << "nothing removed";
  EXPECT_EQ(testing::occurrences(home.log(), "Connecting with 127.0.0.1"), 1) << home.log();
}

TEST_F(RunnelOutbound, AuthenticatesOverStartTlsCheckedAgainstThePrivateCa) {
  const testing::TestCertificates& certificates = testing::TestCertificates::get();
  if (!certificates.made()) GTEST_SKIP() << "openssl could not make the test certificates";
  PostfixOptions options;
  options.startTls = true;
  options.authUsers["collector"] = "s3cret";
  options.authRequired = true;
  PostfixServer server(options);
  startServer(server);
  queue({"MSG00041",
         3,
         "auth@example.org",
         {PostfixServer::address("alice")},
         transferForm("secure", "over TLS\r\n")});
  const Str password = scramble("s3cret", kOutboundExchAuthPasswordKey);
  settingsFor(server.port(),
              "OutboundExchAuth=1\nOutboundExchAuthUser=collector\n"
              "OutboundExchAuthPassword=" +
                  password.toStd() +
                  "\nOutboundSTARTTLS=2\nTLSTrustFile=" + certificates.file("ca.pem"));
  RunnelInstance runnel(home);
  ASSERT_TRUE(waitUntil([&] { return outboundFiles() == 0; }, kDeliveryTimeMs))
      << runnel.output() << server.maillog();
  ASSERT_TRUE(server.waitForMessages("alice", 1, 10000)) << server.maillog();
  stop(runnel);
  const std::string maillog = server.maillog();
  EXPECT_NE(maillog.find("sasl_username=collector"), std::string::npos) << maillog;
  // Mail is taken from authenticated clients only, and the client required STARTTLS.
  EXPECT_EQ(home.log().find("Error"), std::string::npos) << home.log();
}

// The parts of a delivered message, read back by our parser (attachments into files).
ParseResult readDelivered(const testing::DeliveredMessage& message, const testing::TempDir& dir,
                          const std::string& name) {
  std::string stored;
  for (char c : message.content) {
    if (c == '\n') stored += '\r';
    stored += c;
  }
  EXPECT_TRUE(testing::writeBytes(dir.file(name), stored));
  DecodeOptions options;
  options.writeAttachments = true;
  options.tempDirectory = Str(std::string_view(dir.path()));
  ParseResult result;
  EXPECT_EQ(SMTPDecode(options).parseFile(dir.str(name), result), 0);
  return result;
}

// True when Python's email package reads the delivered message without a defect
// (check_composed.py, given the message in the transfer form it was sent in).
bool parsesWithPythonEmail(const testing::DeliveredMessage& message) {
  testing::TempDir dir;
  std::string stored;
  bool lineStart = true;
  for (char c : message.content) {
    if (lineStart && c == '.') stored += '.';
    if (c == '\n') stored += '\r';
    stored += c;
    lineStart = c == '\n';
  }
  stored += ".\r\n";
  EXPECT_TRUE(testing::writeBytes(dir.file("delivered.eml"), stored));
  const std::string command = std::string("'") + PYTHON3_PROGRAM + "' '" + CHECK_COMPOSED_SCRIPT +
                              "' '" + dir.path() + "' > '" + dir.file("check.out") + "' 2>&1";
  const bool clean = std::system(command.c_str()) == 0;
  EXPECT_TRUE(clean) << testing::readBytes(dir.file("check.out"));
  return clean;
}

TEST_F(RunnelOutbound, RefusedRecipientGivesTheSenderANonDeliveryReport) {
  PostfixOptions options;
  options.users.emplace_back("dave");
  options.rejectedRecipients[PostfixServer::address("bob")] = "550 5.1.1 no such user";
  PostfixServer server(options);
  startServer(server);
  queue({"MSG00061",
         3,
         PostfixServer::address("alice"),
         {PostfixServer::address("bob"), PostfixServer::address("carol")},
         transferForm("plans", "see you\r\n")});
  // A postmaster's message gets no report, whatever the refusal.
  queue({"MSG00062",
         3,
         "PostMaster@elsewhere.example",
         {PostfixServer::address("bob")},
         transferForm("notice", "to bob\r\n")});
  settingsFor(server.port(), "Postmaster=" + PostfixServer::address("dave") + "\n");
  RunnelInstance runnel(home);
  ASSERT_TRUE(server.waitForMessages("alice", 1, kDeliveryTimeMs))
      << runnel.output() << server.maillog();
  ASSERT_TRUE(server.waitForMessages("dave", 1, kDeliveryTimeMs)) << server.maillog();
  ASSERT_TRUE(waitUntil([&] { return outboundFiles() == 0; }, kDeliveryTimeMs)) << runnel.output();
  stop(runnel);

  const std::vector<testing::DeliveredMessage> reports = server.delivered("alice");
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(reports[0].returnPath, "");
  const std::string& report = reports[0].content;
  EXPECT_NE(report.find("\nSubject: Non delivery report: 5.1.1 (Bad destination mailbox "
                        "address)\n"),
            std::string::npos)
      << report;
  EXPECT_NE(report.find("\nFrom: \"System Administrator\" <postmaster@"), std::string::npos);
  EXPECT_NE(report.find("Content-Type: multipart/report; report-type=delivery-status;"),
            std::string::npos);
  EXPECT_NE(report.find("\nFinal-Recipient: rfc822; " + PostfixServer::address("bob") +
                        "\nAction: failed\nStatus: 5.1.1\nDiagnostic-Code: smtp; 550 5.1.1"),
            std::string::npos)
      << report;
  EXPECT_NE(report.find("Content-Type: message/rfc822\n\nFrom: sender@example.org\nSubject: "
                        "plans\n--"),
            std::string::npos)
      << report;
  EXPECT_TRUE(parsesWithPythonEmail(reports[0]));
  testing::TempDir parsed;
  const ParseResult header = readDelivered(reports[0], parsed, "report.eml");
  ASSERT_EQ(header.to.count(), 1);
  EXPECT_EQ(header.to[1].address.toStd(), PostfixServer::address("alice"));
  ASSERT_EQ(header.cc.count(), 1);
  EXPECT_EQ(header.cc[1].address.toStd(), PostfixServer::address("dave"));
  EXPECT_EQ(server.delivered("dave").size(), 1u);
  EXPECT_EQ(server.delivered("carol").size(), 1u);
  const std::string log = home.log();
  EXPECT_EQ(testing::occurrences(log,
                                 "Sending DSN (type failed) 5.1.1 (Bad destination mailbox "
                                 "address) to " +
                                     PostfixServer::address("alice")),
            1)
      << log;
  EXPECT_EQ(testing::occurrences(log, "Sending DSN"), 1) << log;
  EXPECT_EQ(log.find("Failed to send DSN"), std::string::npos) << log;
}

TEST_F(RunnelOutbound, WrongPop3PasswordSendsTheStatusReportToThePostmaster) {
  PostfixServer server;
  startServer(server);
  testing::DovecotServer pop3;
  const std::string reason = pop3.start();
  if (!reason.empty()) GTEST_SKIP() << reason;
  settingsFor(server.port(), "Postmaster=" + PostfixServer::address("carol") +
                                 "\nInboundPOP3StatusDSN=1\nInboundPOP3HidePassword=1\n");
  testing::MailboxRecord record;
  record.user = testing::DovecotServer::kUser;
  record.password = "not-the-password";
  record.port = pop3.port();
  home.writeMailboxes({record});
  RunnelInstance runnel(home);
  ASSERT_TRUE(server.waitForMessages("carol", 1, kDeliveryTimeMs))
      << runnel.output() << server.maillog();
  stop(runnel);
  const std::vector<testing::DeliveredMessage> reports = server.delivered("carol");
  ASSERT_GE(reports.size(), 1u);
  const std::string& report = reports[0].content;
  EXPECT_EQ(reports[0].returnPath, "");
  EXPECT_TRUE(parsesWithPythonEmail(reports[0]));
  EXPECT_NE(report.find("\nSubject: Status report: "), std::string::npos) << report;
  EXPECT_NE(report.find("encountered a connection problem.\n \nAdditional info:\nPOP3 MailBox: " +
                        std::string(testing::DovecotServer::kUser)),
            std::string::npos)
      << report;
  EXPECT_NE(report.find("\nTranscript of session:\n"), std::string::npos) << report;
  EXPECT_NE(report.find("PASS *****"), std::string::npos) << report;
  EXPECT_EQ(report.find("not-the-password"), std::string::npos) << report;
  EXPECT_NE(home.log().find("Sending DSN (type status) to " + PostfixServer::address("carol")),
            std::string::npos)
      << home.log();
}

TEST_F(RunnelOutbound, SendLogSignalMailsTheZippedLogToEveryReceiver) {
  PostfixServer server;
  startServer(server);
  settingsFor(server.port(), "SendLogFileTo=" + PostfixServer::address("alice") +
                                 "\nSendLogFileTo=" + PostfixServer::address("bob") + "\n");
  RunnelInstance runnel(home);
  ASSERT_TRUE(runnel.started());
  ASSERT_TRUE(testing::writeBytes(home.file("SendLog.sig"), ""));
  ASSERT_TRUE(server.waitForMessages("alice", 1, kDeliveryTimeMs))
      << runnel.output() << server.maillog();
  ASSERT_TRUE(server.waitForMessages("bob", 1, 10000)) << server.maillog();
  stop(runnel);
  const std::string log = home.log();
  EXPECT_EQ(testing::occurrences(log, "Sending logfile to " + PostfixServer::address("alice")), 1)
      << log;
  EXPECT_EQ(testing::occurrences(log, "Logfile sent to " + PostfixServer::address("alice")), 1)
      << log;
  EXPECT_TRUE(parsesWithPythonEmail(server.delivered("alice").at(0)));
  testing::TempDir parsed;
  const ParseResult mail = readDelivered(server.delivered("bob").at(0), parsed, "log.eml");
  EXPECT_EQ(mail.subject.toStd(), "Log File");
  bool zipped = false;
  for (const Attachment& attachment : mail.attachments) {
    if (attachment.name.toStd() != "strandel.zip") continue;
    zipped = true;
    // The archive as it was made: byte for byte the one left in the program directory.
    EXPECT_EQ(testing::readBytes(attachment.path.toStd()),
              testing::readBytes(home.file("strandel.zip")));
  }
  EXPECT_TRUE(zipped);
}

}  // namespace
}  // namespace quillet
