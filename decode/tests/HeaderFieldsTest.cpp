// Header block and field handling: unfolding, Received "for" clauses, envelope-type fields
// and their rewriting, custom fields, Subject, Message-ID, Precedence, and the block limits.
#include <gtest/gtest.h>

#include "decode/HeaderBlock.h"
#include "decode/tests/DecodeTestSupport.h"

using namespace quillet;
using namespace quillet::testing;

namespace {

DecodeOptions headerOptions(bool envelope = true) {
  DecodeOptions options;
  options.flags = envelope ? DecodeOptions::kEnvelopeFields : 0;
  return options;
}

std::string addresses(const AddressList& list) {
  std::string out;
  for (const MailAddress& entry : list) out += (out.empty() ? "" : ",") + entry.address.toStd();
  return out;
}

}  // namespace

TEST(HeaderUnfolding, JoinsFoldedSubjectWithoutBlankButKeepsOneInReceived) {
  ParseResult result;
  ASSERT_EQ(parseText(message({"Subject: =?iso-8859-1?Q?Gr=FC?=", "\t=?iso-8859-1?Q?=DFe?=",
                               "Received: from a.example",
                               "   by b.example; Mon, 7 Dec 2026 10:00:00 +0000", "X-Plain: one",
                               " two", "", "body"}),
                      headerOptions(), result),
            0);
  EXPECT_EQ(result.subject.toStd(), "Grüße");
  ASSERT_EQ(result.headerLines.count(), 3);
  EXPECT_EQ(result.headerLines[2].toStd(),
            "Received: from a.example by b.example; Mon, 7 Dec 2026 10:00:00 +0000");
  EXPECT_EQ(result.headerLines[3].toStd(), "X-Plain: onetwo");
}

TEST(HeaderUnfolding, TabsAndNulBecomeBlanksAndTheBodyIsNotHeader) {
  ParseResult result;
  std::string text = message({"Subject:\tA\tB", "", "To: not@header.example"});
  text.insert(text.find('B'), 1, '\0');
  ASSERT_EQ(parseText(text, headerOptions(), result), 0);
  EXPECT_EQ(result.subject.toStd(), "A  B");
  EXPECT_EQ(result.to.count(), 0);
}

TEST(ReceivedFor, RecordsPositionOfEachReceivedFieldAndIgnoresUpperCaseFor) {
  ParseResult result;
  ASSERT_EQ(
      parseText(
          message({"Received: from a by b; Mon, 7 Dec 2026 10:00:00 +0000",
                   "Received: from c by d with ESMTP id 1 for <anna@example.org>; Mon, 7 Dec 2026",
                   "Received: from e by f For <bert@example.org>; Mon, 7 Dec 2026",
                   "Received: from g by h", " for carl@example.org;x", ""}),
          headerOptions(), result),
      0);
  EXPECT_EQ(result.receivedCount, 4);
  ASSERT_EQ(result.receivedFor.count(), 2);
  EXPECT_EQ(result.receivedFor[1].address.toStd(), "anna@example.org");
  EXPECT_EQ(result.receivedFor[1].position, 2);
  EXPECT_EQ(result.receivedFor[2].address.toStd(), "carl@example.org");
  EXPECT_EQ(result.receivedFor[2].position, 4);
}

TEST(ReceivedFor, OnlyReadWithTheEnvelopeFlag) {
  ParseResult result;
  ASSERT_EQ(parseText(message({"Received: by x for <anna@example.org>;", "Resent-To: r@example.org",
                               "Delivered-To: d@example.org", "X-Rcpt: c@example.org", ""}),
                      headerOptions(false), result),
            0);
  EXPECT_EQ(result.receivedCount, 1);
  EXPECT_EQ(result.receivedFor.count(), 0);
  EXPECT_EQ(addresses(result.envelope), "d@example.org");  // Resent-To needs the flag
  EXPECT_EQ(result.custom.count(), 0);
}

TEST(EnvelopeRewriting, RecoversTheRecipientFromTheLocalPart) {
  struct Case {
    const char* delivered;
    const char* expected;  // "" = dropped
  } cases[] = {
      {"example.org-john@example.org", "john@example.org"},
      {"EXAMPLE.ORG-john@example.org", "john@example.org"},
      {"example_org%jane@example.org", "jane@example.org"},
      {"example.org%jane@example.org", "jane@example.org"},
      {"example_org%pop@example.org", ""},
      {"example.org-POP@example.org", ""},
      {"example.org+-max@example.org", "max@example.org"},
      {"other.org-john@example.org", "other.org-john@example.org"},
      {"plain@example.org", "plain@example.org"},
      {"a-b@example.org", "a-b@example.org"},  // local part not longer than the domain
  };
  for (const Case& c : cases) {
    ParseResult result;
    ASSERT_EQ(parseText(message({std::string("Delivered-To: ") + c.delivered, ""}), headerOptions(),
                        result),
              0);
    EXPECT_EQ(addresses(result.envelope), c.expected) << c.delivered;
  }
}

TEST(EnvelopeFields, CollectsAllEnvelopeTypeFieldsInHeaderOrder) {
  ParseResult result;
  ASSERT_EQ(parseText(message({"Resent-To: a@example.org", "Apparently-To: b@example.org",
                               "Envelope-to: c@example.org", "X-RCPT-TO: <d@example.org>",
                               "Delivered-To : e@example.org", "To: t@example.org",
                               "Cc: x@example.org, y@example.org", ""}),
                      headerOptions(), result),
            0);
  EXPECT_EQ(addresses(result.envelope),
            "a@example.org,b@example.org,c@example.org,d@example.org,e@example.org");
  EXPECT_EQ(addresses(result.to), "t@example.org");
  EXPECT_EQ(addresses(result.cc), "x@example.org,y@example.org");
}

TEST(CustomFields, ReadsNamedFieldsCaseInsensitively) {
  DecodeOptions options = headerOptions();
  options.customFieldNames.add("X-Original-To");
  options.customFieldNames.add("X-Envelope");
  ParseResult result;
  ASSERT_EQ(parseText(message({"x-original-to: one@example.org",
                               "X-Envelope: two@example.org, bad address",
                               "X-Other: three@example.org", ""}),
                      options, result),
            0);
  EXPECT_EQ(addresses(result.custom), "one@example.org,two@example.org");
}

TEST(HeaderFields, SendersMessageIdPrecedenceAndIgnoredReceiptFields) {
  ParseResult result;
  ASSERT_EQ(parseText(message({"From: Anna <anna@example.net>", "Sender: s@example.net",
                               "Reply-To: r@example.net", "Return-Path: <bounce@example.net>",
                               "Disposition-Notification-To: n@example.net",
                               "Message-ID: <1234@example.net>", "Precedence: Bulk",
                               "Date: Tue, 8 Dec 2026 01:02:03 +0100", ""}),
                      headerOptions(), result),
            0);
  EXPECT_EQ(addresses(result.from), "anna@example.net");
  EXPECT_EQ(result.from[1].displayName.toStd(), "Anna");
  EXPECT_EQ(addresses(result.sender), "s@example.net");
  EXPECT_EQ(addresses(result.replyTo), "r@example.net");
  EXPECT_EQ(addresses(result.returnPath), "bounce@example.net");
  EXPECT_EQ(result.messageId.toStd(), "<1234@example.net>");
  EXPECT_EQ(result.priority, 5);
  EXPECT_TRUE(result.date.valid);
  EXPECT_EQ(result.date.date.day, 8);
}

TEST(HeaderLimits, AnEndlessHeaderIsReadPastWithBoundedMemory) {
  std::string text = "Subject: big\r\n";
  for (size_t i = 0; i < SMTPDecode::kHeaderLines + 50; ++i)
    text += "X-Filler: " + std::to_string(i) + "\r\n";
  text += "To: late@example.org\r\n";
  text += "X-Long: " + std::string(200000, 'a') + "\r\n\r\nbody\r\n.\r\n";
  ParseResult result;
  ASSERT_EQ(parseText(text, headerOptions(), result), 0);
  EXPECT_EQ(result.headerLines.count(), static_cast<int>(SMTPDecode::kHeaderLines));
  EXPECT_EQ(result.to.count(), 0);  // beyond the kept lines
  EXPECT_EQ(result.subject.toStd(), "big");
}

TEST(HeaderLimits, AnOverLongFoldedLineIsCut) {
  std::string text = "X-Long: start\r\n";
  for (int i = 0; i < 2000; ++i) text += " " + std::string(100, 'b') + "\r\n";
  text += "To: t@example.org\r\n\r\n";
  ParseResult result;
  ASSERT_EQ(parseText(text, headerOptions(), result), 0);
  EXPECT_EQ(static_cast<size_t>(result.headerLines[1].length()), HeaderBlock::kMaxLineLength);
  EXPECT_EQ(addresses(result.to), "t@example.org");
}
