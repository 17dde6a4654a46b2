// The pieces of a composed header: safe values, encoded words (length, character sets,
// whole UTF-8 characters), address formatting, MIME parameters, folding, RFC 822 dates,
// attachment content types, the boundary's shape and the Message-ID.
#include <gtest/gtest.h>

#include <cctype>
#include <string>
#include <utility>
#include <vector>

#include "base/Clock.h"
#include "decode/AddressParser.h"
#include "decode/Rfc2047.h"
#include "smtp/AttachmentTypes.h"
#include "smtp/HeaderText.h"
#include "smtp/Rfc822Date.h"
#include "smtp/UniqueSource.h"
#include "smtp/tests/ComposedSamples.h"
#include "tests/support/ClockDriver.h"
#include "tests/support/ScopedTimeZone.h"

namespace quillet::testing {
namespace {

TEST(HeaderText, SafeValuesHoldNoLineBreakOrNul) {
  EXPECT_EQ(headerSafe(std::string_view("a\r\nb\0c\rd\ne\tf", 12)), "a  b c d e\tf");
}

TEST(HeaderText, EncodedWordsKeepWithinTheLengthAndNeverSplitACharacter) {
  std::string euros;
  for (int i = 0; i < 40; ++i) euros += "\xe2\x82\xac";  // three bytes, nine characters encoded
  const std::string encoded = encodedWords(euros, "utf-8");
  const std::vector<std::string> parts = splitText(encoded, " ");
  EXPECT_GT(parts.size(), 1U);
  for (const std::string& word : parts) {
    EXPECT_LE(word.size(), kMaxEncodedWordLength) << word;
    EXPECT_EQ(word.rfind("=?utf-8?Q?", 0), 0U) << word;
    EXPECT_TRUE(isValidUtf8(decodeRfc2047(word))) << word;
  }
  EXPECT_EQ(decodeRfc2047(encoded), euros);
  EXPECT_EQ(encodedWords("", "utf-8"),
            "=?utf-8?Q?"
            "?=");
}

TEST(HeaderText, CharacterSetNamesTheBytesAsTheyAre) {
  EXPECT_EQ(charsetForText("plain", "iso-8859-2"), "us-ascii");
  EXPECT_EQ(charsetForText("K\xc3\xb6ln", "iso-8859-2"), "utf-8");
  EXPECT_EQ(charsetForText("K\xf6ln", "iso-8859-2"), "iso-8859-2");  // not UTF-8
  EXPECT_EQ(charsetForText("K\xf6ln", "us-ascii"), "iso-8859-1");
  EXPECT_EQ(charsetForText("K\xf6ln", ""), "iso-8859-1");
  // Over-long forms, surrogates and cut sequences are not UTF-8.
  for (const char* bad : {"\xc0\xaf", "\xed\xa0\x80", "\xe2\x82", "\xf5\x80\x80\x80"}) {
    EXPECT_FALSE(isValidUtf8(bad)) << bad;
  }
  EXPECT_TRUE(isValidUtf8("\xf0\x9f\x93\xa7"));

  EXPECT_EQ(unstructuredValue("K\xf6ln", "iso-8859-9"), "=?iso-8859-9?Q?K=F6ln?=");
  EXPECT_EQ(unstructuredValue("Hello world", "utf-8"), "Hello world");
}

TEST(HeaderText, AddressesWithAndWithoutDisplayNames) {
  EXPECT_EQ(formatAddress(mailAddress("a@example.test"), ""), "a@example.test");
  EXPECT_EQ(formatAddress(mailAddress("a@example.test", "   "), ""), "a@example.test");
  EXPECT_EQ(formatAddress(mailAddress("a@example.test", "Anna"), ""), "\"Anna\" <a@example.test>");
  EXPECT_EQ(formatAddress(mailAddress("a@example.test", "back\\slash \"q\""), ""),
            "\"back\\\\slash \\\"q\\\"\" <a@example.test>");
  EXPECT_EQ(formatAddress(mailAddress("a@example.test", "S\xc3\xb8ren"), ""),
            "=?utf-8?Q?S=C3=B8ren?= <a@example.test>");
  EXPECT_EQ(formatAddress(mailAddress("a@example.test\r\nBcc: b@example.test", "A"), ""), "");
  EXPECT_EQ(formatAddress(mailAddress("no-domain", "A"), ""), "");

  // An independent reading of what we wrote gives the same names and addresses.
  AddressList list;
  list.add(mailAddress("a@example.test", "Doe, Anna"));
  list.add(mailAddress("b@example.test", "S\xc3\xb8ren \"B\""));
  list.add(mailAddress("c@example.test"));
  list.add(mailAddress("not valid@example.test", "Left out"));
  const std::vector<ParsedAddress> parsed = parseAddressList(formatAddressList(list, ""));
  ASSERT_EQ(parsed.size(), 3U);
  EXPECT_EQ(parsed[0].address, "a@example.test");
  EXPECT_EQ(parsed[0].displayName, "Doe, Anna");
  EXPECT_EQ(parsed[1].address, "b@example.test");
  EXPECT_EQ(parsed[2].address, "c@example.test");
}

TEST(HeaderText, ParameterValuesAreTokensOrQuoted) {
  const std::pair<const char*, const char*> kCases[] = {
      {"strandel.zip", "strandel.zip"},
      {"my log.txt", "\"my log.txt\""},
      {"a;b=c", "\"a;b=c\""},
      {"x\"y", "\"x\\\"y\""},
      {"caf\xc3\xa9\x01.txt", "caf___.txt"},
      {"", "\"\""},
  };
  for (const auto& [value, written] : kCases) EXPECT_EQ(parameterValue(value), written) << value;
}

TEST(HeaderText, FoldingKeepsLinesShortAndTheValueWhole) {
  std::string field = "To: ";
  for (int i = 0; i < 30; ++i) field += "person" + std::to_string(i) + "@example.test, ";
  field += "last@example.test";
  const std::vector<std::string> lines = foldField(field);
  EXPECT_GT(lines.size(), 1U);
  std::string joined;
  for (size_t i = 0; i < lines.size(); ++i) {
    EXPECT_LE(lines[i].size(), kFoldLength);
    if (i > 0) {
      EXPECT_EQ(lines[i][0], ' ');
    }
    joined += lines[i];
  }
  EXPECT_EQ(joined, field);

  // Short fields stay one line; trailing blanks never make a blank continuation line.
  EXPECT_EQ(foldField("Subject: short"), std::vector<std::string>{"Subject: short"});
  const std::string trailing = "Subject: " + std::string(60, 'a') + std::string(30, ' ');
  for (const std::string& line : foldField(trailing)) {
    EXPECT_NE(line.find_first_not_of(' '), std::string::npos);
  }
}

TEST(HeaderText, ARunWithoutBlanksIsCutAtTheHardLimit) {
  const std::string field = "Message-ID: <" + std::string(2500, 'm') + ">";
  const std::vector<std::string> lines = foldField(field);
  ASSERT_EQ(lines.size(), 4U);
  EXPECT_EQ(lines[0], "Message-ID:");  // the value starts on the next line first
  EXPECT_EQ(lines[1].size(), kMaxHeaderLineLength);
  EXPECT_EQ(lines[2].size(), kMaxHeaderLineLength);
  EXPECT_EQ(lines[2][0], ' ');
  EXPECT_EQ(lines[3], " " + std::string(2502 - 2 * kMaxHeaderLineLength + 1, 'm') + ">");
  // A continuation field folds after its first word.
  const std::vector<std::string> continuation =
      foldField("\tby " + std::string(70, 'h') + " with local ; Tue, 8 Dec 2026 14:05:09 +0100");
  ASSERT_EQ(continuation.size(), 2U);
  EXPECT_EQ(continuation[0], "\tby " + std::string(70, 'h'));
}

TEST(Rfc822Date, WritesEnglishNamesAndTheZoneOffset) {
  ScopedTimeZone zone("NST3:30NDT,M3.2.0,M11.1.0");
  EXPECT_EQ(rfc822Date(localTime(2026, 1, 5, 7, 8, 9), false), "Mon, 5 Jan 2026 07:08:09 -0330");
  EXPECT_EQ(rfc822Date(localTime(2026, 7, 5, 23, 59, 59), false), "Sun, 5 Jul 2026 23:59:59 -0230");
  EXPECT_EQ(rfc822Date(localTime(2024, 2, 29, 0, 0, 0), true), "Thu, 29 Feb 2024 00:00:00 GMT");
  ScopedTimeZone east("IST-5:30");
  EXPECT_EQ(rfc822Date(localTime(2026, 12, 31, 12, 0, 0), false),
            "Thu, 31 Dec 2026 12:00:00 +0530");
}

TEST(AttachmentTypes, ExtensionTableAndTnef) {
  const std::pair<const char*, const char*> kCases[] = {
      {"page.HTML", "text/html"},
      {"page.htm", "text/html"},
      {"notes.txt", "text/text"},
      {"photo.Jpeg", "image/jpeg"},
      {"strandel.zip", "application/x-zip"},
      {"letter.doc", "application/msword"},
      {"clip.mpg", "video/mpeg"},
      {"archive.zip.gz", "application/octet-stream"},  // the last extension counts
      {"README", "application/octet-stream"},
      {"WinMail.Dat", "application/ms-tnef"},
      {"winmail.dat.txt", "text/text"},
  };
  for (const auto& [name, type] : kCases) EXPECT_STREQ(attachmentContentType(name), type) << name;
}

TEST(UniqueValues, BoundaryHasItsShapeAndEveryLetter) {
  FixedUniqueSource counting;  // 0, 1, 2, ...: every letter in order
  const std::string first = makeBoundary(7, counting);
  EXPECT_EQ(first, "_NextPart_7_ABCDEFGHIJKLMNOPQRSTUVWXYZa");
  EXPECT_EQ(first.size(), kBoundaryLength);
  // Values 27 to 53: the rest of the lower-case letters, then modulo 52 from "A" again.
  EXPECT_EQ(makeBoundary(7, counting).substr(12), "bcdefghijklmnopqrstuvwxyzAB");

  for (int round = 0; round < 20; ++round) {
    const std::string boundary = makeBoundary(4294967295U, systemUniqueSource());
    ASSERT_EQ(boundary.size(), kBoundaryLength);
    EXPECT_EQ(boundary.rfind("_NextPart_4294967295_", 0), 0U);
    for (char c : boundary.substr(21)) EXPECT_TRUE(std::isalpha(static_cast<unsigned char>(c)));
  }
  EXPECT_NE(makeBoundary(1, systemUniqueSource()), makeBoundary(1, systemUniqueSource()));
}

TEST(UniqueValues, MessageIdFromTimestampTicksProcessAndHost) {
  TestClock clock(localTime(1994, 1, 2, 0, 0, 1));
  FixedUniqueSource unique;
  EXPECT_EQ(makeMessageId("mail.example.test", unique), "<86401.123456.4242@mail.example.test>");
  EXPECT_EQ(makeMessageId(Str(std::string_view("bad host<>\r\n", 12)), unique),
            "<86401.123456.4242@badhost>");
  EXPECT_EQ(makeMessageId("", unique), "<86401.123456.4242@localhost>");
}

}  // namespace
}  // namespace quillet::testing
