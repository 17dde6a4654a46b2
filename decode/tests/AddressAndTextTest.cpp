// Address list parsing and validity, RFC 2047 decoding of header text, and Date parsing.
#include <gtest/gtest.h>

#include "decode/AddressParser.h"
#include "decode/DateParser.h"
#include "decode/Rfc2047.h"

using namespace quillet;

namespace {

std::string joined(const std::vector<ParsedAddress>& list) {
  std::string out;
  for (const ParsedAddress& entry : list)
    out += (out.empty() ? "" : "|") + entry.address + "=" + entry.displayName;
  return out;
}

}  // namespace

TEST(AddressList, SplitsOnlyAtTopLevelCommasAndSeparatesNames) {
  struct Case {
    const char* value;
    const char* expected;
  } cases[] = {
      {"a@example.org, b@example.org", "a@example.org=|b@example.org="},
      {"\"Doe, John\" <john@example.org>, Jane <jane@example.org>",
       "john@example.org=Doe, John|jane@example.org=Jane"},
      {"john@example.org (John, Doe)", "john@example.org=John, Doe"},
      {"<odd,name@example.org>",
       ""},  // a comma inside brackets is not a separator; the address is invalid
      {"Team: a@example.org, b@example.org;", "a@example.org=|b@example.org="},
      {"undisclosed-recipients:;", ""},
      {" j o h n @ example.org ", "john@example.org="},
      {"=?utf-8?B?SsO8cmdlbg==?= <jg@example.org>", "jg@example.org=Jürgen"},
      {"<x@example.org> trailing", "x@example.org=trailing"},
      {"no-at-sign, @example.org, user@, a@b@c, user@exa mple.org", "user@example.org="},
  };
  for (const Case& c : cases) EXPECT_EQ(joined(parseAddressList(c.value)), c.expected) << c.value;
}

TEST(AddressList, ControlCharactersNeverSurviveIntoAnAddress) {
  for (char bad : {'\r', '\n', '\0', '\x01', '\x7f'}) {
    std::string value = "<us";
    value += bad;
    value += "er@example.org>, ok@example.org, x@exa";
    value += bad;
    value += "mple.org";
    std::vector<ParsedAddress> list = parseAddressList(value);
    ASSERT_EQ(list.size(), 1u) << static_cast<int>(bad);
    EXPECT_EQ(list[0].address, "ok@example.org");
  }
  std::vector<ParsedAddress> list = parseAddressList("=?utf-8?Q?A=0D=0AB?= <n@example.org>");
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list[0].displayName, "A  B");
}

TEST(AddressValidity, ChecksLocalPartAndDomainCharacters) {
  EXPECT_TRUE(isValidAddress("first.last+tag@sub.example.org"));
  EXPECT_TRUE(isValidAddress("user@[192.0.2.1]"));
  EXPECT_FALSE(isValidAddress("user@.example.org"));
  EXPECT_FALSE(isValidAddress("user@example..org"));
  EXPECT_FALSE(isValidAddress("us\"er@example.org"));
  EXPECT_FALSE(isValidAddress("user@exam\xe4ple.org"));
}

TEST(Rfc2047, DecodesEncodedWordsByCharset) {
  struct Case {
    const char* text;
    const char* expected;
  } cases[] = {
      {"=?ISO-8859-1?Q?Caf=E9_au_lait?=", "Café au lait"},
      {"=?iso-8859-2?q?=B1?=", "ą"},
      {"=?windows-1252?Q?=80?=", "€"},
      {"=?iso-8859-5?B?0Q==?=", "б"},
      {"=?koi8-r?Q?=C1?=", "?"},             // unknown set: read as us-ascii
      {"=?us-ascii?X?abc?= tail", " tail"},  // unknown encoding: text dropped
      {"pre =?utf-8?Q?a?= =?utf-8?Q?b?= post", "pre ab post"},
      {"=?utf-8?Q?broken", "=?utf-8?Q?broken"},
      {"=?*?Q?x?=", "x"},
  };
  for (const Case& c : cases) EXPECT_EQ(decodeRfc2047(c.text), c.expected) << c.text;
}

TEST(Rfc2047, SubjectRuleLeavesShortOrUnmarkedTextAlone) {
  EXPECT_EQ(decodeHeaderText("=?a?="), "=?a?=");
  EXPECT_EQ(decodeHeaderText("What? Why? How? =?"), "What? Why? How? =?");
  EXPECT_EQ(decodeHeaderText("=?utf-8?B?w6Q=?="), "ä");
}

TEST(Rfc2047, HostileLinesStayLinear) {
  std::string hostile;
  for (int i = 0; i < 20000; ++i) hostile += "=?a";
  EXPECT_EQ(decodeRfc2047(hostile), hostile);
}

TEST(DateParsing, ReadsDayMonthYearTimeAndZone) {
  struct Case {
    const char* text;
    int year, month, day, hour, minute, second, zone;
  } cases[] = {
      {"Mon, 7 Dec 2026 10:11:12 +0130", 2026, 12, 7, 10, 11, 12, 90},
      {"7 dec 2026 10:11 -0800", 2026, 12, 7, 10, 11, 0, -480},
      {"Thu, 01 Jan 98 00:00:00 EST", 1998, 1, 1, 0, 0, 0, -300},
      {"Thu, 01 Jan 04 00:00:00 pdt", 2004, 1, 1, 0, 0, 0, -420},
      {"1 February 2000 23:59:59 Z", 2000, 2, 1, 23, 59, 59, 0},
      {"1 Feb 2000 23:59:59 A", 2000, 2, 1, 23, 59, 59, -60},
      {"1 Feb 2000 23:59:59 M", 2000, 2, 1, 23, 59, 59, -720},
      {"1 Feb 2000 23:59:59 N", 2000, 2, 1, 23, 59, 59, 60},
      {"1 Feb 2000 23:59:59 Y", 2000, 2, 1, 23, 59, 59, 720},
      {"1 Feb 2000 23:59:59 J", 2000, 2, 1, 23, 59, 59, 0},
      {"1 Feb 2000 23:59:59 MEZ (Central European)", 2000, 2, 1, 23, 59, 59, 0},
      {"29 Feb 2000 12:00:00", 2000, 2, 29, 12, 0, 0, 0},
  };
  for (const Case& c : cases) {
    MessageDate date = parseMessageDate(c.text);
    ASSERT_TRUE(date.valid) << c.text;
    EXPECT_EQ(date.date.year, c.year) << c.text;
    EXPECT_EQ(date.date.month, c.month) << c.text;
    EXPECT_EQ(date.date.day, c.day) << c.text;
    EXPECT_EQ(date.time.hour, c.hour) << c.text;
    EXPECT_EQ(date.time.minute, c.minute) << c.text;
    EXPECT_EQ(date.time.second, c.second) << c.text;
    EXPECT_EQ(date.zoneMinutes, c.zone) << c.text;
  }
}

TEST(DateParsing, MalformedDatesStayUnset) {
  for (const char* text : {"", "Mon,", "29 Feb 1999 10:00:00", "7 Foo 2026 10:00:00", "7 Dec 2026",
                           "7 Dec 2026 25:00:00", "7 Dec 2026 10:00:00:00", "7 Dec 2026 10",
                           "x7 Dec 2026 10:00", "7 Dec 20261 10:00:00"}) {
    EXPECT_FALSE(parseMessageDate(text).valid) << text;
  }
}
