// Index file rendering (golden bytes) and parsing of both layouts.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "server/queue/IndexFileFormat.h"

namespace quillet {
namespace {

std::vector<Str> splitLines(const std::string& text) {
  std::vector<Str> lines;
  size_t start = 0;
  while (start < text.size()) {
    const size_t end = text.find("\r\n", start);
    EXPECT_NE(end, std::string::npos) << "every line must end with CR LF";
    if (end == std::string::npos) break;
    lines.emplace_back(std::string_view(text).substr(start, end - start));
    start = end + 2;
  }
  return lines;
}

std::string joinLines(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\r\n";
  return text;
}

SMTPInfo sampleEntry() {
  SMTPInfo entry;
  entry.indexFile = "/srv/q/MSG-OUT/MSG0a3f2.ONX";
  entry.messageFile = "/srv/q/MSG-OUT/MSG0a3f2.TXT";
  entry.queuedAt = 1000;
  entry.flags = 0x08 | 0x200;
  entry.source = "office";
  entry.sender = SMTPInfoAddress("boss@example.com", 0x02 | 0x100, "ENV42");
  entry.priority = 2;
  entry.textA = "A-text";
  entry.textB = "B-text";
  entry.expiresAt = 260200;
  entry.nextTryAt = 1600;
  entry.tries = 2;
  entry.lastError = 51;
  entry.lastReply = "451 try later";
  entry.transcript.add("MAIL FROM:<boss@example.com>");
  entry.transcript.add("451 try later");
  entry.recipients.add(
      SMTPInfoAddress("anna@office.local", 0x04 | 0x20, "rfc822;anna@example.com"));
  entry.recipients.add(SMTPInfoAddress("bob@office.local", 0x10, "ignored without 0x04"));
  return entry;
}

TEST(IndexFileFormat, RendersCurrentLayoutByteExact) {
  // clang-format off
  std::vector<std::string> expected = {
      "/srv/q/MSG-OUT/MSG0a3f2.ONX", "/srv/q/MSG-OUT/MSG0a3f2.TXT", "1000", "520",
      "", "", "", "", "", "", "", "",                     // 5-12
      "1", "", "",                                        // 13-15
      "office", "", "", "", "",                           // 16-20
      "boss@example.com", "2", "258", "ENV42", "",        // 21-25
      "A-text", "B-text", "", "", "",                     // 26-30
      "260200", "1600", "", "2", "51", "451 try later",  // 31-36
      "", "", "", "", "", "", "", "", "",                 // 37-45
      "MAIL FROM:<boss@example.com>", "451 try later", "", "", "", "", "", "", "", "",  // 46-55
      "anna@office.local", "36", "rfc822;anna@example.com", "", "", "", "", "", "", "",
      "bob@office.local", "16", "", "", "", "", "", "", "", ""};
  // clang-format on
  ASSERT_EQ(expected.size(), 75u);
  EXPECT_EQ(renderIndexFile(sampleEntry()), joinLines(expected));
}

TEST(IndexFileFormat, WritesOnlyWhatTheFlagsAnnounceAndSkipsBlankRecipients) {
  SMTPInfo entry;
  entry.messageFile = "m.TXT";
  entry.sender = SMTPInfoAddress("", 0, "envid without flag");
  entry.recipients.add(SMTPInfoAddress("   ", 0x04, "orcpt"));
  entry.recipients.add(SMTPInfoAddress(""));
  entry.recipients.add(SMTPInfoAddress("c@d", 0));
  for (int i = 1; i <= 12; ++i) entry.transcript.add(Str("line ") + Str::fromInt(i));

  const std::vector<Str> lines = splitLines(renderIndexFile(entry));
  ASSERT_EQ(lines.size(), 65u);  // one recipient group only
  EXPECT_EQ(lines[21 - 1], "");
  EXPECT_EQ(lines[22 - 1], "3");  // a new entry's priority
  EXPECT_EQ(lines[24 - 1], "");   // ENVID only with 0x02
  EXPECT_EQ(lines[46 - 1], "line 1");
  EXPECT_EQ(lines[55 - 1], "line 10");  // the first ten transcript lines only
  EXPECT_EQ(lines[56 - 1], "c@d");
}

TEST(IndexFileFormat, ReplacesLineBreaksAndNulInFreeTextByBlanks) {
  SMTPInfo entry = sampleEntry();
  entry.source = Str("box\r\n1", 6);
  entry.lastReply = Str("550 no\r\n250 forged", 18);
  entry.transcript[1] = Str("RCPT\nTO", 7);
  entry.sender.parameter = Str("EN\0V", 4);
  entry.recipients[1].address = Str("anna@x\r\nrcpt", 12);
  entry.recipients[1].parameter = Str("rfc822;\rx", 9);
  entry.messageFile = Str("/q/MSG\n1.TXT", 12);

  const std::string text = renderIndexFile(entry);
  EXPECT_EQ(text.find('\0'), std::string::npos);
  const std::vector<Str> lines = splitLines(text);
  ASSERT_EQ(lines.size(), 75u);
  EXPECT_EQ(lines[2 - 1], "/q/MSG 1.TXT");
  EXPECT_EQ(lines[16 - 1], "box  1");
  EXPECT_EQ(lines[24 - 1], "EN V");
  EXPECT_EQ(lines[36 - 1], "550 no  250 forged");
  EXPECT_EQ(lines[46 - 1], "RCPT TO");
  EXPECT_EQ(lines[56 - 1], "anna@x  rcpt");
  EXPECT_EQ(lines[58 - 1], "rfc822; x");
  EXPECT_EQ(lines[66 - 1], "bob@office.local");
}

TEST(IndexFileFormat, RoundTripsEveryStoredField) {
  const SMTPInfo original = sampleEntry();
  SMTPInfo loaded;
  ASSERT_EQ(parseIndexLines(splitLines(renderIndexFile(original)), loaded), IndexStatus::Loaded);
  // Rendering shows every stored field, so equal renderings mean nothing was lost.
  EXPECT_EQ(renderIndexFile(loaded), renderIndexFile(original));
  EXPECT_EQ(loaded.sender.parameter, "ENV42");
  ASSERT_EQ(loaded.recipients.count(), 2);
  EXPECT_EQ(loaded.recipients[1].parameter, "rfc822;anna@example.com");
  EXPECT_EQ(loaded.recipients[2].parameter, "");  // ORCPT line ignored without 0x04
  EXPECT_EQ(loaded.transcript.count(), 2);
}

// The fixed part of a current-layout file with the given priority, plus extra lines.
std::vector<Str> currentLayout(const char* priority, const std::vector<Str>& extra = {}) {
  std::vector<Str> lines(55);
  lines[0] = "x/MSG00001.INX";
  lines[1] = "x/MSG00001.TXT";
  for (int line : {3, 4, 23, 31, 32, 34, 35}) lines[line - 1] = "0";
  lines[13 - 1] = "1";
  lines[22 - 1] = priority;
  lines.insert(lines.end(), extra.begin(), extra.end());
  return lines;
}

TEST(IndexFileFormat, TakesRecipientGroupsOnlyWhenTheirFirstThreeLinesExist) {
  struct Case {
    std::vector<Str> extra;
    int recipients;
  };
  const Case cases[] = {
      {{}, 0},
      {{"a@b"}, 0},
      {{"a@b", "4"}, 0},
      {{"a@b", "4", "rfc822;o@p"}, 1},
      {{"a@b", "0", "", "", "", "", "", "", "", "", "c@d", "0"}, 1},
      {{"a@b", "0", "", "", "", "", "", "", "", "", "c@d", "0", ""}, 2},
  };
  for (const Case& c : cases) {
    SMTPInfo entry;
    ASSERT_EQ(parseIndexLines(currentLayout("3", c.extra), entry), IndexStatus::Loaded);
    EXPECT_EQ(entry.recipients.count(), c.recipients) << "lines: " << 55 + c.extra.size();
  }
  SMTPInfo entry;
  ASSERT_EQ(parseIndexLines(currentLayout("3", {"a@b", "4", "rfc822;o@p"}), entry),
            IndexStatus::Loaded);
  EXPECT_EQ(entry.recipients[1].parameter, "rfc822;o@p");
}

TEST(IndexFileFormat, IgnoresPrioritiesOutsideOneToFive) {
  for (const char* priority : {"0", "6", "4294967295"}) {
    SMTPInfo entry;
    ASSERT_EQ(parseIndexLines(currentLayout(priority), entry), IndexStatus::Loaded);
    EXPECT_EQ(entry.priority, 3u) << priority;
  }
  SMTPInfo entry;
  ASSERT_EQ(parseIndexLines(currentLayout("5"), entry), IndexStatus::Loaded);
  EXPECT_EQ(entry.priority, 5u);
}

TEST(IndexFileFormat, ParameterFlagsExcludeEachOther) {
  std::vector<Str> lines = currentLayout("3", {"a@b", "6", "orcpt"});
  lines[23 - 1] = "6";
  lines[24 - 1] = "envid";
  SMTPInfo entry;
  ASSERT_EQ(parseIndexLines(lines, entry), IndexStatus::Loaded);
  EXPECT_EQ(entry.sender.flags, 0x02u);
  EXPECT_EQ(entry.sender.parameter, "envid");
  EXPECT_EQ(entry.recipients[1].flags, 0x04u);
  EXPECT_EQ(entry.recipients[1].parameter, "orcpt");
}

TEST(IndexFileFormat, RejectsShortIncompleteAndGarbledFilesWithoutTouchingTheEntry) {
  SMTPInfo entry;
  entry.source = "unchanged";
  EXPECT_EQ(parseIndexLines(std::vector<Str>(12, Str("1")), entry), IndexStatus::TooShort);
  std::vector<Str> incomplete = currentLayout("3");
  incomplete.pop_back();
  EXPECT_EQ(parseIndexLines(incomplete, entry), IndexStatus::Incomplete);

  const struct {
    int line;
    const char* text;
  } garbled[] = {{3, "12x"}, {4, ""}, {22, "-1"}, {31, "4294967296"}, {35, "five"}, {57, "0x04"}};
  for (const auto& g : garbled) {
    std::vector<Str> lines = currentLayout("3", {"a@b", "0", ""});
    lines[g.line - 1] = g.text;
    EXPECT_EQ(parseIndexLines(lines, entry), IndexStatus::Garbled)
        << "line " << g.line << ": " << g.text;
  }
  EXPECT_EQ(entry.source, "unchanged");
  EXPECT_EQ(entry.recipients.count(), 0);
}

// An earlier-layout file: 13 fixed lines and recipients from line 14.
std::vector<Str> earlierLayout(const char* flags, const char* line10) {
  return {"C:\\Q\\MSG-OUT\\MSG00002.ONX",
          "C:\\Q\\MSG-OUT\\MSG00002.TXT",
          "from@x",
          "6",
          "100",
          "200",
          "150",
          "",
          "-5",
          line10,
          "4",
          flags,
          "",
          "r1@x",
          "",
          "r2@y"};
}

TEST(IndexFileFormat, ReadsTheEarlierLayout) {
  SMTPInfo entry;
  ASSERT_EQ(parseIndexLines(earlierLayout("8", "mailbox-user"), entry), IndexStatus::Loaded);
  EXPECT_EQ(entry.messageFile, "C:\\Q\\MSG-OUT\\MSG00002.TXT");
  EXPECT_EQ(entry.sender.address, "from@x");
  EXPECT_EQ(entry.priority, 3u);  // 6 is out of range
  EXPECT_EQ(entry.queuedAt, 100u);
  EXPECT_EQ(entry.expiresAt, 200u);
  EXPECT_EQ(entry.nextTryAt, 150u);
  EXPECT_EQ(entry.lastError, static_cast<uint32_t>(-5));
  EXPECT_EQ(entry.tries, 4u);
  EXPECT_EQ(entry.flags, 8u);
  EXPECT_EQ(entry.source, "mailbox-user");
  EXPECT_EQ(entry.textA, "");
  ASSERT_EQ(entry.recipients.count(), 2);
  EXPECT_EQ(entry.recipients[2].address, "r2@y");
}

TEST(IndexFileFormat, SplitsEarlierIdentifierLineIntoTextAAndB) {
  SMTPInfo entry;
  // Characters 1-15 (with trailing blanks), one filler, 17-32.
  ASSERT_EQ(parseIndexLines(earlierLayout("0", "ident-B        |0123456789abcdef"), entry),
            IndexStatus::Loaded);
  EXPECT_EQ(entry.textB, "ident-B");
  EXPECT_EQ(entry.textA, "0123456789abcdef");
  EXPECT_EQ(entry.source, "");
}

}  // namespace
}  // namespace quillet
