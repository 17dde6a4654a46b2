// The status description table: lookup by subject and detail digits, the administrator's
// "smtpdsn.txt" before the built-in entries and read anew for each lookup, a damaged or
// missing file, and the codes that stand for failures without one.
#include <gtest/gtest.h>

#include "base/ErrorCodes.h"
#include "smtp/StatusDescriptions.h"
#include "smtp/tests/ComposedSamples.h"
#include "tests/support/FileBytes.h"
#include "tests/support/TempDir.h"

namespace quillet::testing {
namespace {

class StatusTable : public ::testing::Test {
 protected:
  StatusDescriptions table() const { return StatusDescriptions(Str(dir_.path() + "/")); }
  void writeTable(const std::string& text) {
    ASSERT_TRUE(writeBytes(dir_.file(kStatusTableFileName), text));
  }
  TempDir dir_;
};

TEST_F(StatusTable, BuiltInEntriesAreFoundIgnoringTheClassDigit) {
  const StatusDescription full = table().lookup("4.3.1");
  EXPECT_TRUE(full.found);
  EXPECT_EQ(full.title.toStd(), "Mail system full");
  EXPECT_EQ(textsOf(full.lines),
            std::vector<std::string>{"Mail system storage has been exceeded."});

  const StatusDescription mailbox = table().lookup("5.1.1");
  EXPECT_EQ(mailbox.title.toStd(), "Bad destination mailbox address");
  EXPECT_EQ(textsOf(mailbox.lines),
            (std::vector<std::string>{
                "The mailbox specified in the address does not exist.",
                "This means the address portion to the left of the @ sign is invalid."}));
  EXPECT_EQ(table().lookup("2.2.2").title.toStd(), "Mailbox full");
  EXPECT_EQ(textsOf(table().lookup("5.0.0").lines), std::vector<std::string>{"Undefined Status"});
  EXPECT_EQ(table().lookup("5.9.2").title.toStd(), "Virus infection");
  EXPECT_EQ(table().lookup("5.9.6").lines.count(), 3);
  EXPECT_EQ(table().lookup("5.9.3").lines.count(), 4);
  // The first entry of equal digits wins: 2.0.1 and 2.0.2 come before nothing else of x.0.y.
  EXPECT_EQ(table().lookup("5.0.1").title.toStd(), "Message delivered");
}

TEST_F(StatusTable, EveryBuiltInEntryHasATitleAndADescription) {
  for (const char* code :
       {"5.0.0", "2.0.1", "2.0.2", "5.1.0", "5.1.1", "5.1.2", "5.1.3", "5.1.4", "5.1.5", "5.1.6",
        "5.1.7", "5.1.8", "5.2.0", "5.2.1", "5.2.2", "5.2.3", "5.2.4", "5.3.0", "5.3.1", "5.3.2",
        "5.3.3", "5.3.4", "5.3.5", "5.4.0", "5.4.1", "5.4.2", "5.4.3", "5.4.4", "5.4.5", "5.4.6",
        "5.4.7", "5.5.0", "5.5.1", "5.5.2", "5.5.3", "5.5.4", "5.5.5", "5.6.0", "5.6.1", "5.6.2",
        "5.6.3", "5.6.4", "5.6.5", "5.7.0", "5.7.1", "5.7.2", "5.7.3", "5.7.4", "5.7.5", "5.7.6",
        "5.7.7", "5.9.1", "5.9.2", "5.9.3", "5.9.4", "5.9.5", "5.9.6"}) {
    const StatusDescription entry = table().lookup(code);
    EXPECT_TRUE(entry.found) << code;
    EXPECT_FALSE(entry.title.isBlank()) << code;
    EXPECT_GE(entry.lines.count(), 1) << code;
    EXPECT_LE(entry.lines.count(), 4) << code;
  }
}

TEST_F(StatusTable, ACodeFoundNowhereIsNamedMissing) {
  for (const char* code : {"5.8.8", "4.9.9", "", "x.1.1", "5.1"}) {
    const StatusDescription entry = table().lookup(code);
    EXPECT_FALSE(entry.found) << code;
    EXPECT_EQ(entry.title.toStd(), "ESC description is missing") << code;
    EXPECT_EQ(entry.lines.count(), 0) << code;
  }
}

TEST_F(StatusTable, TheAdministratorsFileComesFirstAndIsReadForEachLookup) {
  writeTable(
      "5.9.9\r\nBlocked by policy\r\nAsk the office manager.\r\nRoom 12.\r\n"
      "5.1.1\r\nNo such colleague\r\n");
  const StatusDescriptions descriptions = table();
  for (const char* code : {"4.9.9", "5.9.9"}) {
    const StatusDescription added = descriptions.lookup(code);
    EXPECT_TRUE(added.found);
    EXPECT_EQ(added.title.toStd(), "Blocked by policy") << code;
    EXPECT_EQ(textsOf(added.lines),
              (std::vector<std::string>{"Ask the office manager.", "Room 12."}));
  }
  EXPECT_EQ(descriptions.lookup("5.1.1").title.toStd(), "No such colleague");
  EXPECT_EQ(descriptions.lookup("5.1.1").lines.count(), 0);
  // Codes the file lacks come from the built-in table.
  EXPECT_EQ(descriptions.lookup("5.3.1").title.toStd(), "Mail system full");

  // An edit counts at the next lookup, a removal too.
  writeTable("5.9.9\nChanged title\n");
  EXPECT_EQ(descriptions.lookup("5.9.9").title.toStd(), "Changed title");
  ASSERT_EQ(std::remove(dir_.file(kStatusTableFileName).c_str()), 0);
  EXPECT_FALSE(descriptions.lookup("5.9.9").found);
}

TEST_F(StatusTable, ADamagedFileNeverHidesTheBuiltInEntries) {
  // Text before the first code line, lines that only look like codes, binary junk, and a
  // code line at the very end without its title.
  writeTable(std::string("a preface\n5-1-1\nNot a code\n6.1.1\nNot one either\n") +
             std::string("\0\xff\x01 junk\r\r\n", 11) + "5.3.1");
  EXPECT_EQ(table().lookup("5.1.1").title.toStd(), "Bad destination mailbox address");
  EXPECT_EQ(table().lookup("4.3.1").title.toStd(), "Mail system full");

  // An endless line: cut by the reader, the entries after it still count.
  writeTable(std::string(3 * 1024 * 1024, 'x') + "\n5.9.8\nAfter a long line\n");
  EXPECT_EQ(table().lookup("5.9.8").title.toStd(), "After a long line");
}

TEST_F(StatusTable, FileTextIsConvertedFromTheOemCodePage) {
  writeTable(
      "5.9.7\nGr\x81\xe1"
      "e\n");  // "Grüße" in code page 850
  EXPECT_EQ(table().lookup("5.9.7").title.toStd(),
            "Gr\xc3\xbc\xc3\x9f"
            "e");
}

TEST(StatusCodeOfAFailure, AValidCodeIsKeptElseTheErrorNumberDecides) {
  const StatusDescriptions table{Str()};
  const StatusReason given = table.reasonFor("4.3.1", err::kPermanentFailure);
  EXPECT_EQ(given.code.toStd(), "4.3.1");
  EXPECT_EQ(given.description.title.toStd(), "Mail system full");

  struct Case {
    int error;
    const char* code;
    const char* title;
  };
  for (const Case& c :
       {Case{3, "5.4.3", "Name server failure"}, Case{4, "5.4.1", "No answer from host"},
        Case{5, "5.4.1", "No answer from host"}, Case{6, "5.4.1", "No answer from host"},
        Case{8, "5.4.1", "No answer from host"}, Case{14, "5.4.1", "No answer from host"},
        Case{7, "5.4.2", "Bad connection"}, Case{9, "5.4.2", "Bad connection"},
        Case{10, "5.4.2", "Bad connection"}, Case{16, "5.3.1", "Mail system full"},
        Case{57, "5.4.5", "Mail system congestion"}, Case{86, "5.4.4", "Unable to route"},
        Case{95, "5.1.2", "Bad destination domain address"},
        Case{0, "5.0.0", "Other undefined Status"}}) {
    for (const char* statusCode : {"", "garbage", "6.1.1"}) {
      const StatusReason reason = table.reasonFor(statusCode, c.error);
      EXPECT_EQ(reason.code.toStd(), c.code) << c.error;
      EXPECT_EQ(reason.description.title.toStd(), c.title) << c.error;
    }
  }
  // Any other error: 5.0.0 titled with the error's text.
  const StatusReason other = table.reasonFor("", err::kPermanentFailure);
  EXPECT_EQ(other.code.toStd(), "5.0.0");
  EXPECT_EQ(other.description.title.toStd(), errorText(err::kPermanentFailure).toStd());
  EXPECT_EQ(textsOf(other.description.lines), std::vector<std::string>{"Undefined Status"});
}

}  // namespace
}  // namespace quillet::testing
