// The notifications as queued: the failure report byte for byte against a hand-written
// file, its queue entry (null sender, priority 5, the sender and the postmaster as
// recipients), the log lines, the loop rules and the postmaster copy, failures that send
// nothing, the status report and the forward report.
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>

#include "base/FileNames.h"
#include "smtp/DeliveryNotifications.h"
#include "smtp/tests/ComposeTestSupport.h"
#include "smtp/tests/ComposedSamples.h"
#include "tests/support/FileBytes.h"

namespace quillet::testing {
namespace {

namespace fs = std::filesystem;

constexpr const char* kStoredMessage =
    "Return-Path: <anna@example.test>\r\n"
    "From: Anna <anna@example.test>\r\n"
    "To: bob@example.test, carl@example.test\r\n"
    "Subject: Lunch\r\n"
    "Date: Mon, 7 Dec 2026 09:30:00 +0100\r\n"
    "..X-Dotted: yes\r\n"
    "\r\n"
    "See you at noon.\r\n"
    "..\r\n"
    ".\r\n";

class Notifications : public ComposeTest {
 protected:
  Notifications() {
    settings_.programDirectory = Str(dir_.path() + "/");
    settings_.localHostName = "mail.office.test";
    settings_.postmaster = "admin@office.test";
    settings_.mailer = "Quillet 3.19";
    EXPECT_TRUE(writeBytes(outbound() + "/MSG00abc.TXT", kStoredMessage));
    failed_.messageFile = Str(outbound() + "/MSG00abc.TXT");
    failed_.sender = SMTPInfoAddress("anna@example.test");
    failed_.recipients.add(SMTPInfoAddress("bob@example.test"));
    failed_.queuedAt = 1000000000;
    failure_.error = 50;
    failure_.statusCode = "5.1.1";
    failure_.reply = "550 5.1.1 <bob@example.test>: Recipient address rejected";
    failure_.transcript.add("RCPT TO:<bob@example.test>");
    failure_.transcript.add(failure_.reply);
    failure_.recipientStatus.add("5.1.1");
  }

  DeliveryNotifications notifications() {
    return DeliveryNotifications(
        settings_, store_,
        [this](int32_t threadId, const Str& text) {
          logged_.push_back(std::to_string(threadId) + ": " + text.toStd());
        },
        [this](const SMTPInfo& entry) { handedOver_.push_back(entry); }, unique_);
  }

  // The composed messages in MSG-OUT (every file but the failed one), by name.
  std::vector<std::string> composedFiles() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(outbound())) {
      const std::string name = entry.path().filename().string();
      if (name != "MSG00abc.TXT") names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  std::string onlyComposedMessage() {
    EXPECT_EQ(handedOver_.size(), 1U);
    if (handedOver_.size() != 1) return std::string();
    return readBytes(handedOver_[0].messageFile.toStd());
  }

  SMTPInfo indexOf(const SMTPInfo& handed) {
    SMTPInfo loaded;
    loaded.indexFile = handed.indexFile;
    EXPECT_EQ(store_.loadIndex(loaded, QueueNumber::Outbound), IndexStatus::Loaded);
    return loaded;
  }

  FixedUniqueSource unique_;
  NotificationSettings settings_;
  SMTPInfo failed_;
  DeliveryFailure failure_;
  std::vector<std::string> logged_;
  std::vector<SMTPInfo> handedOver_;
};

TEST_F(Notifications, DeliveryFailureMatchesItsHandWrittenFileAndIsQueuedFromTheNullSender) {
  ASSERT_TRUE(notifications().sendFailure(3, failed_, failure_));
  EXPECT_EQ(onlyComposedMessage(), expectedMessage("failure-notification"));
  EXPECT_EQ(logged_, std::vector<std::string>{
                         "3: Sending DSN (type failed) 5.1.1 (Bad destination mailbox address) "
                         "to anna@example.test"});

  const SMTPInfo entry = indexOf(handedOver_[0]);
  EXPECT_TRUE(entry.sender.address.empty());
  EXPECT_EQ(entry.priority, 5U);
  ASSERT_EQ(entry.recipients.count(), 2);
  EXPECT_EQ(entry.recipients[1].address.toStd(), "anna@example.test");
  EXPECT_EQ(entry.recipients[2].address.toStd(), "admin@office.test");
  EXPECT_EQ(entry.expiresAt - entry.queuedAt, 259200U);
  // The message and its index, and no temporary file left over.
  const std::string base = baseNameOf(handedOver_[0].messageFile).toStd();
  EXPECT_EQ(composedFiles(),
            (std::vector<std::string>{base.substr(0, base.size() - 3) + "ONX", base}));
}

TEST_F(Notifications, ExpiryAndCodesFromTheTableOrTheErrorNumber) {
  failure_.expired = true;
  failure_.statusCode = "4.3.1";
  failure_.recipientStatus.clear();
  ASSERT_TRUE(notifications().sendFailure(1, failed_, failure_));
  const std::string text = onlyComposedMessage();
  EXPECT_NE(text.find("Subject: Non delivery report: 4.3.1 (Mail system full)\r\n"),
            std::string::npos);
  EXPECT_NE(text.find("has encountered repeatedly delivery problems"), std::string::npos);
  EXPECT_NE(text.find("Reason: Mail system full\r\n"), std::string::npos);
  EXPECT_NE(text.find("\r\nStatus: 5.3.1\r\n"), std::string::npos);

  handedOver_.clear();
  failure_.statusCode = "";
  failure_.error = 3;
  ASSERT_TRUE(notifications().sendFailure(1, failed_, failure_));
  EXPECT_NE(onlyComposedMessage().find("Non delivery report: 5.4.3 (Name server failure)"),
            std::string::npos);
}

TEST_F(Notifications, LoopRulesSendNothingAndLogNothing) {
  for (const char* sender :
       {"", "unknown-user@invalid-domain.invalid", "Postmaster@example.test",
        "list-postmaster@example.test", "postmaster@mail.office.test", "not-an-address"}) {
    failed_.sender = SMTPInfoAddress(Str(sender));
    EXPECT_FALSE(notifications().sendFailure(2, failed_, failure_)) << sender;
  }
  EXPECT_TRUE(logged_.empty());
  EXPECT_TRUE(handedOver_.empty());
  EXPECT_TRUE(composedFiles().empty());
}

TEST_F(Notifications, ThePostmasterGetsACopyOnlyWhenAskedAndValid) {
  for (const char* postmaster : {"", "no address", "admin@office.test"}) {
    for (bool asCc : {false, true}) {
      settings_.postmaster = postmaster;
      settings_.postmasterAsCc = asCc;
      handedOver_.clear();
      ASSERT_TRUE(notifications().sendFailure(2, failed_, failure_));
      const bool copy = asCc && std::string(postmaster) == "admin@office.test";
      const SMTPInfo entry = indexOf(handedOver_[0]);
      EXPECT_EQ(entry.recipients.count(), copy ? 2 : 1) << postmaster << asCc;
      const std::string text = onlyComposedMessage();
      EXPECT_EQ(text.find("\r\nCc: admin@office.test\r\n") != std::string::npos, copy);
    }
  }
}

TEST_F(Notifications, AnUnreadableOriginalOrAFailedCompositionIsLogged) {
  failed_.messageFile = Str(outbound() + "/MSG0dead.TXT");
  EXPECT_FALSE(notifications().sendFailure(4, failed_, failure_));
  ASSERT_EQ(logged_.size(), 2U);
  EXPECT_EQ(logged_[1], "4: Failed to send DSN");

  // No queue directory to compose into.
  logged_.clear();
  failed_.messageFile = Str(dir_.path() + "/MSG00abc.TXT");
  ASSERT_TRUE(writeBytes(failed_.messageFile.toStd(), kStoredMessage));
  fs::remove_all(outbound());
  EXPECT_FALSE(notifications().sendFailure(4, failed_, failure_));
  EXPECT_EQ(logged_.back(), "4: Failed to send DSN");
  EXPECT_TRUE(handedOver_.empty());
}

TEST_F(Notifications, PerRecipientRefusalsAreListedWithTheirOwnCodes) {
  failed_.recipients.add(SMTPInfoAddress("carl@example.test"));
  failure_.recipientStatus.add("5.2.2");
  ASSERT_TRUE(notifications().sendFailure(2, failed_, failure_));
  const std::string text = onlyComposedMessage();
  EXPECT_NE(text.find("\r\n\tbob@example.test\r\n\tcarl@example.test\r\n"), std::string::npos);
  EXPECT_NE(text.find("Final-Recipient: rfc822; bob@example.test\r\nAction: failed\r\n"
                      "Status: 5.1.1\r\n"),
            std::string::npos);
  EXPECT_NE(text.find("Final-Recipient: rfc822; carl@example.test\r\nAction: failed\r\n"
                      "Status: 5.2.2\r\n"),
            std::string::npos);
}

TEST_F(Notifications, StatusReportGoesToThePostmaster) {
  const ArrayStr mailboxLines =
      lines({"POP3 MailBox: joe (Sales)", "POP3 Server: pop.example.test:110", "No OK received"});
  const ArrayStr transcript = lines({"PASS *****", "-ERR [AUTH] Authentication failed."});
  ASSERT_TRUE(notifications().sendStatus(0, mailboxLines, transcript));
  EXPECT_EQ(logged_, std::vector<std::string>{"0: Sending DSN (type status) to admin@office.test"});
  EXPECT_EQ(onlyComposedMessage(), expectedMessage("status-notification"));
  const SMTPInfo entry = indexOf(handedOver_[0]);
  EXPECT_TRUE(entry.sender.address.empty());
  ASSERT_EQ(entry.recipients.count(), 1);
  EXPECT_EQ(entry.recipients[1].address.toStd(), "admin@office.test");

  settings_.postmaster = "";
  handedOver_.clear();
  EXPECT_FALSE(notifications().sendStatus(0, mailboxLines, transcript));
  EXPECT_TRUE(handedOver_.empty());
}

TEST_F(Notifications, ForwardReportAttachesTheCompleteOriginal) {
  ForwardRequest request;
  request.messageFile = failed_.messageFile;
  request.originalRecipients.add("bob@example.test");
  request.recipients.add("virus@office.test");
  request.statusCode = "5.9.2";
  request.reasonLines.add("EICAR-Test-File found in eicar.com");
  Str path;
  ASSERT_TRUE(notifications().composeForward(6, request, path));
  EXPECT_EQ(logged_,
            std::vector<std::string>{"6: Sending DSN (type forward) 5.9.2 (Virus infection) to "
                                     "virus@office.test"});
  const std::string text = readBytes(path.toStd());
  EXPECT_NE(text.find("Subject: Forward report: 5.9.2 (Virus infection)\r\n"), std::string::npos);
  EXPECT_NE(text.find("has been encapsulated and forwarded to you."), std::string::npos);
  // The original complete, stuffed once again by the composer.
  EXPECT_NE(text.find("Content-Type: message/rfc822\r\n\r\nReturn-Path: <anna@example.test>\r\n"),
            std::string::npos);
  EXPECT_NE(text.find("\r\n..X-Dotted: yes\r\n\r\nSee you at noon.\r\n..\r\n--"),
            std::string::npos);
  EXPECT_TRUE(handedOver_.empty());  // the caller queues it

  request.recipients.add("postmaster@office.test");
  EXPECT_FALSE(notifications().composeForward(6, request, path));
  EXPECT_TRUE(path.empty());
}

}  // namespace
}  // namespace quillet::testing
