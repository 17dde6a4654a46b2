// The composer's output for each structure, byte for byte against hand-written files
// (single text part, multipart/mixed with quoted-printable text and base64 files,
// multipart/report with a delivery-status part and the returned header, plain RFC 822
// with uuencode), the queue naming of the file, and what our own parser reads from it.
#include <gtest/gtest.h>

#include <regex>

#include "base/FileSystem.h"
#include "decode/SMTPDecode.h"
#include "server/queue/QueuePaths.h"
#include "smtp/tests/ComposeTestSupport.h"

namespace quillet::testing {
namespace {

using ComposeStructure = ComposeTest;

TEST_F(ComposeStructure, EachStructureMatchesItsHandWrittenFileByteForByte) {
  for (const ComposedSample& sample : structureSamples(attachments())) {
    EXPECT_EQ(compose(sample), expectedMessage(sample.name)) << sample.name;
  }
}

TEST_F(ComposeStructure, WritesANewQueueFileReadableByItsOwnerOnly) {
  const ComposedSample sample = structureSamples(attachments())[0];
  FixedUniqueSource unique;
  SMTPEncode encoder(store_, unique);
  Str first, second;
  ASSERT_EQ(encoder.compose(sample.message, sample.parameters, first), 0);
  ASSERT_EQ(encoder.compose(sample.message, sample.parameters, second), 0);
  EXPECT_NE(first.toStd(), second.toStd());
  for (const Str& path : {first, second}) {
    EXPECT_EQ(directoryOf(path).toStd(), outbound() + "/");
    EXPECT_TRUE(std::regex_match(baseNameOf(path).toStd(), std::regex("MSG[0-9a-f]{5}\\.TXT")))
        << path.toStd();
    EXPECT_EQ(fileMode(path.toStd()), 0600U);
  }

  // Another directory when the caller names one.
  ComposedSample elsewhere = sample;
  elsewhere.parameters.directory = Str(std::string_view(dir_.path()));
  Str path;
  ASSERT_EQ(encoder.compose(elsewhere.message, elsewhere.parameters, path), 0);
  EXPECT_EQ(directoryOf(path).toStd(), dir_.path() + "/");
}

TEST_F(ComposeStructure, DateAndPriorityFollowTheCaller) {
  ComposedSample sample = structureSamples(attachments())[0];
  sample.message.date = localTime(2026, 7, 4, 9, 8, 7);  // summer time: +0200
  sample.message.priority = 3;
  std::string text = compose(sample);
  EXPECT_NE(text.find("\r\nDate: Sat, 4 Jul 2026 09:08:07 +0200\r\n"), std::string::npos);
  EXPECT_EQ(text.find("X-Priority"), std::string::npos);

  sample.message.universalTime = true;
  sample.message.priority = 1;
  text = compose(sample);
  EXPECT_NE(text.find("\r\nDate: Sat, 4 Jul 2026 09:08:07 GMT\r\n"), std::string::npos);
  EXPECT_NE(text.find("\r\nX-Priority: 1\r\n"), std::string::npos);
}

TEST_F(ComposeStructure, AReportWithoutAttachmentsIsASingleTextPart) {
  ComposedSample sample = structureSamples(attachments())[2];
  sample.message.attachments.clear();
  const std::string text = compose(sample);
  EXPECT_EQ(text.find("multipart"), std::string::npos);
  EXPECT_NE(text.find("\r\nContent-Type: text/plain; charset=us-ascii\r\n"
                      "Content-Transfer-Encoding: 7bit\r\n\r\nYour message\r\n"),
            std::string::npos);
}

TEST_F(ComposeStructure, ReceiptFieldsOnlyWithAFromAddress) {
  ComposedSample sample = structureSamples(attachments())[0];
  sample.message.receiptRequested = true;
  EXPECT_NE(compose(sample).find("\r\nReturn-Receipt-To: <postmaster@mail.example.test>\r\n"
                                 "X-Confirm-Reading-To: <postmaster@mail.example.test>\r\n"),
            std::string::npos);
  sample.message.from.clear();
  const std::string text = compose(sample);
  EXPECT_EQ(text.find("From:"), std::string::npos);
  EXPECT_EQ(text.find("Receipt"), std::string::npos);
}

TEST_F(ComposeStructure, UnknownCodesAreReplacedByWhatTheTextNeeds) {
  ComposedSample sample = structureSamples(attachments())[0];
  sample.parameters.charsetCode = 4;   // not in the table
  sample.parameters.bodyEncoding = 7;  // 7bit
  std::string text = compose(sample);
  EXPECT_NE(text.find("charset=us-ascii\r\nContent-Transfer-Encoding: 7bit\r\n"),
            std::string::npos);

  // An 8-bit subject alone labels the text but leaves a 7-bit body as it is.
  sample.message.subject = "K\xc3\xb6ln";
  text = compose(sample);
  EXPECT_NE(text.find("charset=utf-8\r\nContent-Transfer-Encoding: 7bit\r\n"), std::string::npos);

  // UTF-8 text: labelled as such, and never sent as 7bit.
  sample.message.body.add(
      Str("Gr\xc3\xbc\xc3\x9f"
          "e "));
  text = compose(sample);
  EXPECT_NE(text.find("charset=utf-8\r\nContent-Transfer-Encoding: quoted-printable\r\n"),
            std::string::npos);
  EXPECT_NE(text.find("\r\nGr=C3=BC=C3=9Fe=20\r\n"), std::string::npos);

  // A line longer than SMTP allows is not sent as 7bit either.
  sample = structureSamples(attachments())[0];
  sample.message.body.add(Str(std::string_view(std::string(1200, 'z'))));
  text = compose(sample);
  EXPECT_NE(text.find("charset=us-ascii\r\nContent-Transfer-Encoding: quoted-printable\r\n"),
            std::string::npos);
}

TEST_F(ComposeStructure, Base64BodyEncodesTheLinesWithTheirLineEnds) {
  ComposedSample sample = structureSamples(attachments())[0];
  sample.parameters.bodyEncoding = bodyencoding::kBase64;
  sample.message.body = lines({"ab", "c"});
  const std::string text = compose(sample);
  // "ab\r\nc\r\n"
  EXPECT_NE(text.find("Content-Transfer-Encoding: base64\r\n\r\nYWINCmMNCg==\r\n.\r\n"),
            std::string::npos);
}

TEST_F(ComposeStructure, OurParserReadsEveryStructure) {
  for (const ComposedSample& sample : structureSamples(attachments())) {
    TempDir parts;
    DecodeOptions options;
    options.writeAttachments = true;
    options.tempDirectory = Str(std::string_view(parts.path()));
    FixedUniqueSource unique;
    Str path;
    ASSERT_EQ(SMTPEncode(store_, unique).compose(sample.message, sample.parameters, path), 0);
    ParseResult result;
    ASSERT_EQ(SMTPDecode(options).parseFile(path, result), 0) << sample.name;

    ASSERT_EQ(result.from.count(), 1) << sample.name;
    EXPECT_EQ(result.from[1].address, sample.message.from[1].address);
    EXPECT_EQ(result.from[1].displayName, sample.message.from[1].displayName);
    ASSERT_EQ(result.to.count(), sample.message.to.count());
    EXPECT_EQ(result.cc.count(), sample.message.cc.count());
    EXPECT_EQ(result.subject, sample.message.subject) << sample.name;
    EXPECT_TRUE(result.date.valid);
    EXPECT_EQ(result.date.zoneMinutes, 60);
    EXPECT_EQ(result.messageId, "<1039356309.123456.4242@mail.example.test>");

    // Every attached file comes back with its exact bytes.
    for (const SMTPAttach& attach : sample.message.attachments) {
      if (attach.kind != SMTPAttach::kFile) continue;
      bool found = false;
      for (const Attachment& part : result.attachments) {
        if (part.name == attach.name) {
          found = true;
          EXPECT_EQ(readBytes(part.path.toStd()), readBytes(attach.path.toStd())) << sample.name;
        }
      }
      EXPECT_TRUE(found) << sample.name << " " << attach.name.toStd();
    }
  }
}

}  // namespace
}  // namespace quillet::testing
