// Composed messages through a private Postfix into a Maildir: a delivery report
// (multipart/report with a delivery-status part and a returned header holding a "." line
// and an over-long line, an encoded subject and display name, a base64 file) and a plain
// message with a uuencoded file arrive exactly as composed, sent with the null sender as
// notifications are, and our parser reads the delivered files back.
#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <string>

#include "PostfixServer.h"
#include "decode/SMTPDecode.h"
#include "server/queue/QueueStore.h"
#include "smtp/SMTPEncode.h"
#include "smtp/WSSMTPClient.h"
#include "tests/support/FileBytes.h"
#include "tests/support/TempDir.h"

namespace quillet {
namespace {

using testing::DeliveredMessage;
using testing::PostfixServer;
using testing::readBytes;
using testing::TempDir;
using testing::writeBytes;

// What the Maildir should hold of a composed file: LF line ends, unstuffed, no "." line.
std::string asDelivered(const std::string& composed) {
  std::string out;
  size_t start = 0;
  for (size_t end; (end = composed.find("\r\n", start)) != std::string::npos; start = end + 2) {
    std::string line = composed.substr(start, end - start);
    if (line == ".") break;
    if (!line.empty() && line[0] == '.') line.erase(0, 1);
    out += line + "\n";
  }
  return out;
}

class ComposedThroughPostfix : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    server_ = std::make_unique<PostfixServer>();
    reason_ = server_->start();
  }
  static void TearDownTestSuite() { server_.reset(); }
  void SetUp() override {
    if (!reason_.empty()) GTEST_SKIP() << reason_;
    ASSERT_TRUE(store_.createQueueDirectories());
  }

  // Composes, sends with the null sender to user and returns what arrived.
  DeliveredMessage composeAndDeliver(const SMTPMessage& message, const ComposeParameters& params,
                                     const char* user, std::string& composed) {
    Str path;
    EXPECT_EQ(SMTPEncode(store_).compose(message, params, path), 0);
    composed = readBytes(path.toStd());

    WSSMTPClient client;
    Str lastReply;
    ArrayStr transcript;
    EXPECT_EQ(client.Connect("127.0.0.1", server_->port(), "client.example", Str(), smtpopt::kEsmtp,
                             lastReply, transcript),
              0);
    ArraySMTPInfoAddress recipients;
    recipients.add(SMTPInfoAddress(Str(std::string_view(PostfixServer::address(user)))));
    SMTPSendResult result;
    EXPECT_EQ(client.SendMessage(path, SMTPInfoAddress(""), recipients, 5, smtpopt::kEsmtp, result),
              0)
        << result.lastReply.toStd();
    EXPECT_EQ(client.Quit(smtpopt::kEsmtp), 0);
    client.Close();
    if (!server_->waitForMessages(user, 1, 10000)) {
      ADD_FAILURE() << server_->maillog();
      return DeliveredMessage();
    }
    return server_->delivered(user).back();
  }

  ParseResult parseDeliveredFile(const DeliveredMessage& delivered, const TempDir& parts) {
    const std::string file = parts.file("delivered.eml");
    writeBytes(file, delivered.file);
    DecodeOptions options;
    options.writeAttachments = true;
    options.tempDirectory = Str(std::string_view(parts.path()));
    ParseResult result;
    EXPECT_EQ(SMTPDecode(options).parseFile(Str(std::string_view(file)), result), 0);
    return result;
  }

  std::string attachedBytes(const ParseResult& result, const char* name) {
    for (const Attachment& part : result.attachments) {
      if (part.name == name) return readBytes(part.path.toStd());
    }
    ADD_FAILURE() << "no part " << name;
    return std::string();
  }

  static std::unique_ptr<PostfixServer> server_;
  static std::string reason_;
  TempDir dir_;
  QueueStore store_{Str(std::string_view(dir_.path()))};
};

std::unique_ptr<PostfixServer> ComposedThroughPostfix::server_;
std::string ComposedThroughPostfix::reason_;

ComposeParameters parameters() {
  ComposeParameters params;
  params.mailer = "Quillet";
  params.hostName = PostfixServer::kHostName;
  params.boundaryNumber = 3;
  return params;
}

std::string randomBytes(size_t n) {
  std::mt19937 generator(3);
  std::string out(n, '\0');
  for (char& c : out) c = static_cast<char>(generator() & 0xFF);
  return out;
}

TEST_F(ComposedThroughPostfix, ADeliveryReportArrivesAsComposed) {
  writeBytes(dir_.file("status.txt"),
             "Reporting-MTA: dns; mail.office.example\r\n\r\nFinal-Recipient: rfc822; "
             "gone@office.example\r\nAction: failed\r\nStatus: 5.1.1\r\n");
  writeBytes(dir_.file("original.txt"), "From: alice@office.example\r\nSubject: lunch\r\n.\r\n" +
                                            std::string(1500, 'x') + "\r\n");
  const std::string bytes = randomBytes(5000);
  writeBytes(dir_.file("data.bin"), bytes);

  SMTPMessage report;
  report.from.add(MailAddress{Str(std::string_view(PostfixServer::address("postmaster"))),
                              "System Administrator"});
  report.to.add(MailAddress{Str(std::string_view(PostfixServer::address("alice"))), Str("Al\xc3\xad"
                                                                                        "ce")});
  report.subject =
      "Non delivery report: 5.1.1 (Bad destination mailbox address) \xe2\x80\x93 K\xc3\xb6ln";
  report.priority = 5;
  report.report = true;
  report.body.add(Str("Your message"));
  report.body.add(Str("."));
  report.attachments.add(SMTPAttach{Str(std::string_view(dir_.file("status.txt"))), Str(),
                                    SMTPAttach::kDeliveryStatus});
  report.attachments.add(
      SMTPAttach{Str(std::string_view(dir_.file("original.txt"))), Str(), SMTPAttach::kMessage});
  report.attachments.add(
      SMTPAttach{Str(std::string_view(dir_.file("data.bin"))), Str("data.bin"), SMTPAttach::kFile});

  std::string composed;
  const DeliveredMessage delivered = composeAndDeliver(report, parameters(), "alice", composed);
  EXPECT_EQ(delivered.content, asDelivered(composed));

  TempDir parts;
  const ParseResult result = parseDeliveredFile(delivered, parts);
  EXPECT_EQ(result.subject, report.subject);
  ASSERT_EQ(result.to.count(), 1);
  EXPECT_EQ(result.to[1].displayName.toStd(),
            "Al\xc3\xad"
            "ce");
  EXPECT_EQ(attachedBytes(result, "data.bin"), bytes);
}

TEST_F(ComposedThroughPostfix, APlainMessageWithAUuencodedFileArrivesAsComposed) {
  const std::string bytes = randomBytes(4000);
  writeBytes(dir_.file("strandel.zip"), bytes);
  SMTPMessage message;
  message.from.add(MailAddress{Str(std::string_view(PostfixServer::address("postmaster"))), Str()});
  message.to.add(MailAddress{Str(std::string_view(PostfixServer::address("bob"))), Str()});
  message.subject = "Log File";
  message.body.add(Str("The log file is attached."));
  message.attachments.add(SMTPAttach{Str(std::string_view(dir_.file("strandel.zip"))),
                                     Str("strandel.zip"), SMTPAttach::kFile});
  ComposeParameters params = parameters();
  params.mimeMode = ComposeParameters::kPlain;

  std::string composed;
  const DeliveredMessage delivered = composeAndDeliver(message, params, "bob", composed);
  EXPECT_EQ(delivered.content, asDelivered(composed));
  TempDir parts;
  EXPECT_EQ(attachedBytes(parseDeliveredFile(delivered, parts), "strandel.zip"), bytes);
}

}  // namespace
}  // namespace quillet
