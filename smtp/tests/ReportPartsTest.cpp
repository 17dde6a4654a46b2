// The parts of a report: its text line by line, the delivery-status fields, and the
// original message copied without its transfer form (whole or header only), with hostile
// values and files.
#include <gtest/gtest.h>

#include <filesystem>

#include "base/ErrorCodes.h"
#include "smtp/DeliveryStatusFields.h"
#include "smtp/OriginalCopy.h"
#include "smtp/ReportText.h"
#include "smtp/tests/ComposedSamples.h"
#include "tests/support/FileBytes.h"
#include "tests/support/TempDir.h"

namespace quillet::testing {
namespace {

AddressList addresses(std::initializer_list<const char*> items) {
  AddressList out;
  for (const char* item : items) out.add(MailAddress{Str(item), Str("Name")});
  return out;
}

ParseResult originalHeader() {
  ParseResult original;
  original.from = addresses({"anna@example.test"});
  original.to =
      addresses({"t1@example.test", "t2@example.test", "t3@example.test", "t4@example.test",
                 "t5@example.test", "t6@example.test", "t7@example.test"});
  original.cc = addresses({"c1@example.test"});
  original.subject = "Lunch\r\non Friday";
  original.headerLines.add("Subject: Lunch");
  original.headerLines.add("Date:  Mon, 7 Dec 2026 09:30:00 +0100 ");
  return original;
}

StatusReason mailboxReason() {
  StatusReason reason;
  reason.code = "5.1.1";
  reason.description.title = "Bad destination mailbox address";
  reason.description.lines = lines({"The mailbox does not exist."});
  return reason;
}

TEST(ReportText, FailureListsFiveAddressesEachAndTheSectionsPresent) {
  ReportDetails details;
  details.recipients = lines({"t2@example.test", "t6@example.test"});
  details.reason = mailboxReason();
  details.transcript = lines({"RCPT TO:<t2@example.test>", "", "550 5.1.1 no such user\r\nX: y"});
  EXPECT_EQ(
      textsOf(reportText(originalHeader(), details)),
      (std::vector<std::string>{"Your message",
                                " ",
                                " From:\tanna@example.test",
                                " ",
                                " To:\tt1@example.test",
                                "\tt2@example.test",
                                "\tt3@example.test",
                                "\tt4@example.test",
                                "\tt5@example.test",
                                " CC:\tc1@example.test",
                                " ",
                                " Subj:\tLunch  on Friday",
                                " Sent:\tMon, 7 Dec 2026 09:30:00 +0100",
                                " ",
                                "has encountered delivery problems to the following recipient(s):",
                                " ",
                                "\tt2@example.test",
                                "\tt6@example.test",
                                " ",
                                " ",
                                "Reason: Bad destination mailbox address",
                                "The mailbox does not exist.",
                                " ",
                                "Transcript of session:",
                                "RCPT TO:<t2@example.test>",
                                "550 5.1.1 no such user  X: y",
                                " "}));
}

TEST(ReportText, ExpiryForwardAndAnEmptyHeaderUseTheirOwnWording) {
  ReportDetails expired;
  expired.kind = ReportKind::Expired;
  expired.recipients = lines({"bob@example.test"});
  expired.reason.code = "5.0.0";
  const std::vector<std::string> text = textsOf(reportText(ParseResult(), expired));
  EXPECT_EQ(text,
            (std::vector<std::string>{
                "Your message", " ", " From:\t", " ", " To:\t", " ", " Subj:\t", " Sent:\t", " ",
                std::string("has encountered repeatedly delivery problems to the following ") +
                    "recipient(s):",
                " ", "\tbob@example.test", " ", " ", " "}));

  ReportDetails forward;
  forward.kind = ReportKind::Forward;
  forward.recipients = lines({"bob@example.test"});
  forward.reason = mailboxReason();
  forward.additional = lines({"Virus found: EICAR"});
  const std::vector<std::string> forwarded = textsOf(reportText(ParseResult(), forward));
  const std::vector<std::string> tail(forwarded.begin() + 9, forwarded.end());
  EXPECT_EQ(tail, (std::vector<std::string>{
                      "originally addressed to the following recipient(s):", " ",
                      "\tbob@example.test", " ", "has been encapsulated and forwarded to you.", " ",
                      "Reason: Bad destination mailbox address", "The mailbox does not exist.", " ",
                      "Additional info:", "Virus found: EICAR", " "}));
}

TEST(DeliveryStatusFields, PerMessageAndPerRecipientBlocks) {
  DeliveryStatusReport report;
  report.reportingHost = "mail.office.test";
  report.arrival.date.year = 2026;
  report.arrival.date.month = 12;
  report.arrival.date.day = 8;
  report.arrival.time.hour = 9;
  report.arrival.time.minute = 15;
  report.recipients.add({Str("bob@example.test"), Str("4.2.2"), Str("452 4.2.2 Mailbox full")});
  report.recipients.add({Str("not an address"), Str("5.1.1"), Str("550")});
  report.recipients.add({Str("eve@example.test"), Str("5.7.1 extra"), Str()});
  report.recipients.add({Str("joe@example.test"), Str("junk"), Str("550 bad\r\nX-Evil: 1\xe4")});
  const std::vector<std::string> fields = textsOf(deliveryStatusFields(report));
  ASSERT_EQ(fields.size(), 16U);
  EXPECT_EQ(fields[0], "Reporting-MTA: dns; mail.office.test");
  EXPECT_EQ(fields[1].rfind("Arrival-Date: Tue, 8 Dec 2026 09:15:00 ", 0), 0U) << fields[1];
  EXPECT_EQ(std::vector<std::string>(fields.begin() + 2, fields.end()),
            (std::vector<std::string>{
                "", "Final-Recipient: rfc822; bob@example.test", "Action: failed", "Status: 5.2.2",
                "Diagnostic-Code: smtp; 452 4.2.2 Mailbox full", "",
                "Final-Recipient: rfc822; eve@example.test", "Action: failed", "Status: 5.7.1", "",
                "Final-Recipient: rfc822; joe@example.test", "Action: failed", "Status: 5.0.0",
                "Diagnostic-Code: smtp; 550 bad  X-Evil: 1?"}));
}

TEST(DeliveryStatusFields, ALongReplyIsFoldedAndAHostileHostCleaned) {
  DeliveryStatusReport report;
  report.reportingHost = "bad host\r\n";
  std::string reply = "550";
  for (int i = 0; i < 60; ++i) reply += " word";
  report.recipients.add({Str("bob@example.test"), Str("5.1.1"), Str(std::string_view(reply))});
  const std::vector<std::string> fields = textsOf(deliveryStatusFields(report));
  EXPECT_EQ(fields[0], "Reporting-MTA: dns; badhost");
  ASSERT_GE(fields.size(), 7U);
  for (const std::string& line : fields) EXPECT_LE(line.size(), 78U) << line;
  EXPECT_EQ(fields[6].rfind(" word", 0), 0U);
}

class OriginalCopyTest : public ::testing::Test {
 protected:
  std::string copy(const std::string& stored, OriginalCopy::Extent extent) {
    EXPECT_TRUE(writeBytes(dir_.file("MSG00001.TXT"), stored));
    OriginalCopy original;
    EXPECT_EQ(original.make(dir_.str("MSG00001.TXT"), Str(dir_.path() + "/"), extent), 0);
    std::string bytes = readBytes(original.path().toStd());
    EXPECT_EQ(original.size(), static_cast<int64_t>(bytes.size()));
    EXPECT_EQ(fileMode(original.path().toStd()), 0600U);
    return bytes;
  }
  TempDir dir_;
};

TEST_F(OriginalCopyTest, UndoesTheTransferFormAndStopsWhereAsked) {
  const std::string stored =
      "From: a@example.test\r\n..hidden: x\r\n\r\nbody\r\n..dot line\r\n.\r\nafter end\r\n";
  EXPECT_EQ(copy(stored, OriginalCopy::Extent::Whole),
            "From: a@example.test\r\n.hidden: x\r\n\r\nbody\r\n.dot line\r\n");
  EXPECT_EQ(copy(stored, OriginalCopy::Extent::HeaderOnly),
            "From: a@example.test\r\n.hidden: x\r\n");
  // Bare line ends become CR LF; NUL becomes a blank.
  EXPECT_EQ(copy(std::string("A: 1\nB: \0\r\rbody", 15), OriginalCopy::Extent::HeaderOnly),
            "A: 1\r\nB:  \r\n");
  // No header at all.
  EXPECT_EQ(copy("\r\nbody only\r\n.\r\n", OriginalCopy::Extent::HeaderOnly), "");
}

TEST_F(OriginalCopyTest, LargeHeadersAreKeptAndJunkWithoutAnEndIsCapped) {
  std::string header;
  for (int i = 0; i < 10000; ++i) header += "X-Line-" + std::to_string(i) + ": v\r\n";
  EXPECT_EQ(copy(header + "\r\nbody\r\n.\r\n", OriginalCopy::Extent::HeaderOnly), header);

  std::string junk;
  for (int i = 0; junk.size() < 3 * 1024 * 1024; ++i) junk += static_cast<char>(1 + i % 250);
  EXPECT_EQ(copy(junk, OriginalCopy::Extent::HeaderOnly).size(),
            static_cast<size_t>(OriginalCopy::kMaxHeaderBytes));
}

TEST_F(OriginalCopyTest, FailuresLeaveNoFileBehind) {
  OriginalCopy missing;
  EXPECT_EQ(
      missing.make(dir_.str("nothing.TXT"), Str(dir_.path() + "/"), OriginalCopy::Extent::Whole),
      err::kOpenMessageFile);
  ASSERT_TRUE(writeBytes(dir_.file("MSG00002.TXT"), "A: 1\r\n"));
  OriginalCopy noDirectory;
  EXPECT_EQ(noDirectory.make(dir_.str("MSG00002.TXT"), Str(dir_.path() + "/none/"),
                             OriginalCopy::Extent::Whole),
            err::kCreateTempFile);
  {
    OriginalCopy made;
    ASSERT_EQ(
        made.make(dir_.str("MSG00002.TXT"), Str(dir_.path() + "/"), OriginalCopy::Extent::Whole),
        0);
    EXPECT_EQ(dir_.entries(), 2);
  }
  EXPECT_EQ(dir_.entries(), 1);
}

}  // namespace
}  // namespace quillet::testing
