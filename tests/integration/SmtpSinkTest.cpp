// The SMTP client against Postfix's smtp-sink with injected faults: a temporary and a
// permanent refusal at MAIL FROM, RCPT TO, DATA and after the data, each giving its result
// and status code; a refusal of one recipient; connections dropped at DATA and after the
// data; 421 after the data; and a session of several messages delivered whole.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "SmtpSink.h"
#include "base/ErrorCodes.h"
#include "smtp/WSSMTPClient.h"
#include "tests/support/FileBytes.h"
#include "tests/support/TempDir.h"

namespace quillet {
namespace {

using testing::SinkMessage;
using testing::SmtpSink;

constexpr uint32_t kEsmtp = smtpopt::kEsmtp;
const std::string kMessage = "Subject: sink\r\n\r\n..dot\r\nbody\r\n.\r\n";

class SinkSession {
 public:
  explicit SinkSession(SmtpSink& sink) : sink_(sink) {}

  int connect() {
    Str lastReply;
    ArrayStr transcript;
    return client.Connect("127.0.0.1", sink_.port(), "client.example", Str(), kEsmtp, lastReply,
                          transcript);
  }
  int send(const std::vector<std::string>& to) {
    const std::string path = dir_.file("MSG00001.TXT");
    EXPECT_TRUE(testing::writeBytes(path, kMessage));
    ArraySMTPInfoAddress recipients;
    for (const std::string& address : to) recipients.add(SMTPInfoAddress(Str(address.c_str())));
    return client.SendMessage(Str(std::string_view(path)), SMTPInfoAddress("from@example.org"),
                              recipients, 3, kEsmtp, result);
  }

  WSSMTPClient client;
  SMTPSendResult result;

 private:
  SmtpSink& sink_;
  testing::TempDir dir_;
};

struct PhaseFault {
  const char* command;  // smtp-sink's name of the command
  bool permanent;
  const char* reply;
  int result;
  const char* status;
};

TEST(SmtpSinkFaults, RefusalsAtEachPhaseGiveTheirResultAndStatus) {
  const PhaseFault faults[] = {
      {"MAIL", false, "451 4.3.0 try later", err::kTemporaryFailure, "4.3.0"},
      {"MAIL", true, "553 5.7.1 sender denied", err::kPermanentFailure, "5.7.1"},
      {"RCPT", false, "450 4.2.1 mailbox busy", err::kTemporaryFailure, "4.2.1"},
      {"RCPT", true, "550 5.1.1 no such user", err::kPermanentFailure, "5.1.1"},
      {"DATA", false, "451 4.3.0 local problem", err::kTemporaryFailure, "4.3.0"},
      {"DATA", true, "554 5.6.0 no data", err::kPermanentFailure, "5.6.0"},
      {".", false, "452 4.3.1 insufficient storage", err::kTemporaryFailure, "4.3.1"},
      {".", true, "554 5.6.1 content refused", err::kPermanentFailure, "5.6.1"},
  };
  for (const PhaseFault& fault : faults) {
    SCOPED_TRACE(std::string(fault.command) + " " + fault.reply);
    SmtpSink sink(
        {fault.permanent ? "-f" : "-r", fault.command, fault.permanent ? "-B" : "-b", fault.reply});
    if (const std::string reason = sink.start(); !reason.empty()) GTEST_SKIP() << reason;
    SinkSession session(sink);
    ASSERT_EQ(session.connect(), 0);
    EXPECT_EQ(session.send({"a@office.example", "b@office.example"}), fault.result);
    EXPECT_EQ(session.result.statusCode.toStd(), fault.status);
    EXPECT_EQ(session.result.lastReply.toStd(), fault.reply);
    ASSERT_EQ(session.result.transcript.count() % 2, 0);
    EXPECT_EQ(session.result.transcript[session.result.transcript.count()].toStd(), fault.reply);
    for (const SMTPRecipientOutcome& outcome : session.result.recipients) {
      EXPECT_EQ(outcome.result, fault.result);
    }
    // The session stays usable: RSET and QUIT are answered.
    EXPECT_EQ(session.client.Reset(kEsmtp), 0);
    EXPECT_EQ(session.client.Quit(kEsmtp), 0);
  }
}

TEST(SmtpSinkFaults, DroppedConnectionAtDataOrAfterTheDataIsConnectionLevel) {
  for (const char* command : {"DATA", "."}) {
    SCOPED_TRACE(command);
    SmtpSink sink({"-q", command});
    if (const std::string reason = sink.start(); !reason.empty()) GTEST_SKIP() << reason;
    SinkSession session(sink);
    ASSERT_EQ(session.connect(), 0);
    const int code = session.send({"a@office.example"});
    EXPECT_TRUE(isConnectionLevel(code)) << code;
    EXPECT_EQ(session.result.recipients[1].result, code);
  }
}

TEST(SmtpSinkFaults, ClosingReplyAfterTheDataIsTemporary) {
  SmtpSink sink({"-Q", "."});
  if (const std::string reason = sink.start(); !reason.empty()) GTEST_SKIP() << reason;
  SinkSession session(sink);
  ASSERT_EQ(session.connect(), 0);
  EXPECT_EQ(session.send({"a@office.example"}), err::kTemporaryFailure);
  EXPECT_EQ(session.result.lastReply.left(3).toStd(), "421");
}

TEST(SmtpSinkDelivery, SeveralMessagesInOneSessionArriveWhole) {
  SmtpSink sink;
  if (const std::string reason = sink.start(); !reason.empty()) GTEST_SKIP() << reason;
  SinkSession session(sink);
  ASSERT_EQ(session.connect(), 0);
  EXPECT_TRUE(session.client.advertises("PIPELINING"));
  for (int n = 0; n < 5; ++n) {
    if (n > 0) {
      ASSERT_EQ(session.client.Reset(kEsmtp), 0);
    }
    ASSERT_EQ(session.send({"a@office.example", "b@office.example"}), 0);
  }
  EXPECT_EQ(session.client.Quit(kEsmtp), 0);
  ASSERT_TRUE(sink.waitForMessages(5, 10000)) << sink.log();
  const std::vector<SinkMessage> messages = sink.messages();
  ASSERT_EQ(messages.size(), 5u);
  for (const SinkMessage& message : messages) {
    EXPECT_EQ(message.mailArgs.rfind("<from@example.org>", 0), 0u) << message.mailArgs;
    ASSERT_EQ(message.rcptArgs.size(), 2u);
    EXPECT_EQ(message.rcptArgs[0].rfind("<a@office.example>", 0), 0u);
    EXPECT_EQ(message.body, "Subject: sink\n\n.dot\nbody\n");
  }
}

}  // namespace
}  // namespace quillet
