// The three data files on disk: byte-exact records written through the classes, hand-made
// files read back, record counting, the read cache, write-back of one record only, and
// damaged or foreign files.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "base/ProcessContext.h"
#include "config/DataConf.h"
#include "config/DataPOP.h"
#include "config/DataUser.h"
#include "tests/support/DataFileRecords.h"
#include "tests/support/FileBytes.h"
#include "tests/support/TempDir.h"

namespace quillet {
namespace {

using testing::blankConfRecord;
using testing::blankPopRecord;
using testing::blankUserRecord;
using testing::place;
using testing::readBytes;
using testing::TempDir;
using testing::writeBytes;

// The field at offset, width characters, of record n (1-based) of raw file bytes.
std::string field(const std::string& bytes, int recordLength, int n, int offset, int width) {
  const size_t start =
      static_cast<size_t>(n - 1) * static_cast<size_t>(recordLength) + static_cast<size_t>(offset);
  return bytes.substr(start, static_cast<size_t>(width));
}

std::string padded(const std::string& text, int width) {
  std::string result = text;
  result.resize(static_cast<size_t>(width), ' ');
  return result;
}

TEST(DataPOPTest, WritesEveryFieldAtItsOffset) {
  TempDir dir;
  {
    DataPOP file(dir.str("DataPOP.DAT"));
    ASSERT_TRUE(file.open());
    ASSERT_TRUE(file.appendBlank());
    file.setUser("alice");
    file.setPassword("22" + Str(std::string(120, 'A')));  // longer than 102: cut
    file.setHost("pop.example.net");
    file.setRouteTo("postmaster@example.org");
    file.setFromText("08:00");
    file.setUntilText("18:00");
    file.setEveryMinutes(30);
    file.setWeekdaysText("X X X X");
    file.setComment("front desk");
    file.setPort(995);
    file.setDisabled(true);
    file.setSecurity(ConnectionSecurity::Tls);
    file.setDeleted(true);
    ASSERT_TRUE(file.close());
  }
  const std::string bytes = readBytes(dir.file("DataPOP.DAT"));
  ASSERT_EQ(bytes.size(), 1024u);
  std::string expected = blankPopRecord();
  place(expected, 1, "*");
  place(expected, 3, "alice");
  place(expected, 54, "22" + std::string(100, 'A'));
  place(expected, 157, "pop.example.net");
  place(expected, 286, "postmaster@example.org");
  place(expected, 415, "08:00");
  place(expected, 421, "18:00");
  place(expected, 427, "30");
  place(expected, 438, "X X X X");
  place(expected, 446, "front desk");
  place(expected, 497, "995");
  place(expected, 508, "*");
  place(expected, 510, "T");
  EXPECT_EQ(bytes, expected);
  EXPECT_EQ(field(bytes, 1024, 1, 512, 509), std::string(509, ' '));
  EXPECT_EQ(bytes.substr(1021), "|\r\n");
}

TEST(DataPOPTest, ReadsHandMadeRecords) {
  TempDir dir;
  std::string first = blankPopRecord();
  place(first, 3, "  bob ");
  place(first, 54, "10secret");
  place(first, 157, "mail.example.com");
  place(first, 415, "07:30");
  place(first, 421, "19:45");
  place(first, 427, "  15");
  place(first, 438, "XXXXXXX");
  place(first, 497, "110");
  place(first, 510, "S");
  std::string second = blankPopRecord();  // all blank: older files look like this
  place(second, 1, "*");
  writeBytes(dir.file("DataPOP.DAT"), first + second);

  DataPOP file(dir.str("DataPOP.DAT"));
  ASSERT_TRUE(file.open());
  ASSERT_EQ(file.recordCount(), 2);
  ASSERT_TRUE(file.goTo(1));
  EXPECT_FALSE(file.isDeleted());
  EXPECT_EQ(file.user(), "bob");
  EXPECT_EQ(file.password(), "10secret");
  EXPECT_EQ(file.host(), "mail.example.com");
  EXPECT_EQ(file.fromText(), "07:30");
  EXPECT_EQ(file.untilText(), "19:45");
  EXPECT_EQ(file.everyMinutes(), 15);
  EXPECT_EQ(file.weekdaysText(), "XXXXXXX");
  EXPECT_EQ(file.port(), 110);
  EXPECT_FALSE(file.isDisabled());
  EXPECT_EQ(file.security(), ConnectionSecurity::StartTls);
  ASSERT_TRUE(file.goTo(2));
  EXPECT_TRUE(file.isDeleted());
  EXPECT_EQ(file.port(), 0);
  EXPECT_EQ(file.everyMinutes(), 0);
  EXPECT_EQ(file.security(), ConnectionSecurity::Plain);
  EXPECT_FALSE(file.goTo(3));
  EXPECT_FALSE(file.goTo(0));
}

TEST(DataPOPTest, CountsOnlyWholeRecords) {
  TempDir dir;
  writeBytes(dir.file("DataPOP.DAT"), std::string(2500, 'x'));
  DataPOP file(dir.str("DataPOP.DAT"));
  ASSERT_TRUE(file.open());
  EXPECT_EQ(file.recordCount(), 2);
  EXPECT_TRUE(file.goTo(2));
  EXPECT_FALSE(file.goTo(3));
}

TEST(DataPOPTest, CreatesMissingFileEmptyAndPrivate) {
  TempDir dir;
  DataPOP file(dir.str("DataPOP.DAT"));
  ASSERT_TRUE(file.open());
  EXPECT_EQ(file.recordCount(), 0);
  EXPECT_FALSE(file.goTo(1));
  struct stat info {};
  ASSERT_EQ(::stat(dir.file("DataPOP.DAT").c_str(), &info), 0);
  EXPECT_EQ(info.st_size, 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
}

TEST(DataPOPTest, ForeignOrDamagedContentReadsAsZerosAndTextWithoutCrashing) {
  TempDir dir;
  // Wrong separators, letters in the numeric fields, a line break inside a text field.
  std::string damaged(1024, '#');
  place(damaged, 1, " ");
  place(damaged, 3, "eve\r\nDELE 1");
  place(damaged, 415, "ab:cd");
  place(damaged, 427, "thirty    ");
  place(damaged, 497, "pop3      ");
  writeBytes(dir.file("DataPOP.DAT"), damaged);

  DataPOP file(dir.str("DataPOP.DAT"));
  ASSERT_TRUE(file.open());
  ASSERT_TRUE(file.goTo(1));
  EXPECT_EQ(file.port(), 0);
  EXPECT_EQ(file.everyMinutes(), 0);
  EXPECT_EQ(file.fromText(), "ab:cd");
  // Control bytes become blanks: no line break can reach a protocol line.
  EXPECT_EQ(file.user().find('\r'), -1);
  EXPECT_EQ(file.user().find('\n'), -1);
  EXPECT_TRUE(file.user().startsWith("eve  DELE 1"));
  EXPECT_TRUE(file.isDisabled());  // byte 508 is '#', not blank
}

TEST(DataPOPTest, WriteBackTouchesOnlyTheChangedRecord) {
  TempDir dir;
  std::string good = blankPopRecord();
  place(good, 3, "first");
  std::string damaged(1024, '?');  // not a record at all
  std::string third = blankPopRecord();
  place(third, 3, "third");
  std::string third_broken = third;
  place(third_broken, 53, "#");  // a wrong separator in the record that will be changed
  const std::string tail = "partial";
  writeBytes(dir.file("DataPOP.DAT"), good + damaged + third_broken + tail);

  {
    DataPOP file(dir.str("DataPOP.DAT"));
    ASSERT_TRUE(file.open());
    ASSERT_EQ(file.recordCount(), 3);
    ASSERT_TRUE(file.goTo(2));  // read, not changed: never written
    ASSERT_TRUE(file.goTo(3));
    file.setComment("changed");
    ASSERT_TRUE(file.goTo(1));  // writes record 3 back
    ASSERT_TRUE(file.close());
  }
  const std::string bytes = readBytes(dir.file("DataPOP.DAT"));
  ASSERT_EQ(bytes.size(), 3 * 1024 + tail.size());
  EXPECT_EQ(bytes.substr(0, 1024), good);
  EXPECT_EQ(bytes.substr(1024, 1024), damaged);
  std::string expectedThird = third;  // separator restored, comment set
  place(expectedThird, 446, "changed");
  EXPECT_EQ(bytes.substr(2048, 1024), expectedThird);
  EXPECT_EQ(bytes.substr(3072), tail);
}

TEST(DataPOPTest, AppendOverwritesAnIncompleteTailOnly) {
  TempDir dir;
  std::string first = blankPopRecord();
  place(first, 3, "kept");
  writeBytes(dir.file("DataPOP.DAT"), first + std::string(300, 'z'));
  {
    DataPOP file(dir.str("DataPOP.DAT"));
    ASSERT_TRUE(file.open());
    ASSERT_TRUE(file.appendBlank());
    EXPECT_EQ(file.current(), 2);
    file.setUser("new");
    ASSERT_TRUE(file.close());
  }
  const std::string bytes = readBytes(dir.file("DataPOP.DAT"));
  ASSERT_EQ(bytes.size(), 2048u);
  EXPECT_EQ(bytes.substr(0, 1024), first);
  EXPECT_EQ(field(bytes, 1024, 2, 3, 50), padded("new", 50));
  EXPECT_EQ(bytes.substr(1024 + 1021), "|\r\n");
}

TEST(DataPOPTest, CacheServesManyRecordsAndSeesOwnWrites) {
  TempDir dir;
  std::string bytes;
  for (int n = 1; n <= 250; ++n) {
    std::string record = blankPopRecord();
    place(record, 497, std::to_string(n));
    bytes += record;
  }
  writeBytes(dir.file("DataPOP.DAT"), bytes);
  DataPOP file(dir.str("DataPOP.DAT"));
  ASSERT_TRUE(file.open());
  ASSERT_EQ(file.recordCount(), 250);
  for (int n : {1, 100, 101, 250, 99, 2, 200}) {
    ASSERT_TRUE(file.goTo(n));
    EXPECT_EQ(file.port(), n);
  }
  ASSERT_TRUE(file.goTo(50));
  file.setPort(5000);
  ASSERT_TRUE(file.goTo(150));  // writes 50 back, reads another block
  ASSERT_TRUE(file.goTo(40));   // a block holding the old record 50 again
  ASSERT_TRUE(file.goTo(50));
  EXPECT_EQ(file.port(), 5000);
  ASSERT_TRUE(file.goTo(51));
  EXPECT_EQ(file.port(), 51);
}

TEST(DataUserTest, WritesEveryFieldAtItsOffset) {
  TempDir dir;
  {
    DataUser file(dir.str("DataUser.DAT"));
    ASSERT_TRUE(file.open());
    ASSERT_TRUE(file.appendBlank());
    file.setAddress("Jane.Doe@Example.ORG");
    file.setName(Str(std::string(40, 'n')));
    file.setImported(true);
    ASSERT_TRUE(file.appendBlank());
    file.setAddress("x@example.org");
    file.setDeleted(true);
    ASSERT_TRUE(file.close());
  }
  const std::string bytes = readBytes(dir.file("DataUser.DAT"));
  ASSERT_EQ(bytes.size(), 512u);
  std::string first = blankUserRecord();
  place(first, 3, "Jane.Doe@Example.ORG");
  place(first, 132, std::string(30, 'n'));
  place(first, 252, "*");
  std::string second = blankUserRecord();
  place(second, 1, "*");
  place(second, 3, "x@example.org");
  EXPECT_EQ(bytes, first + second);
}

TEST(DataConfTest, EmptyFileGetsOneBlankRecordAtOnce) {
  TempDir dir;
  DataConf file(dir.str("DATACONF.DAT"));
  ASSERT_TRUE(file.open());
  ASSERT_TRUE(file.ensureFirstRecord());
  // Already on disk while the file is still open.
  EXPECT_EQ(readBytes(dir.file("DATACONF.DAT")), blankConfRecord());
  EXPECT_EQ(file.blankRecord(), Str(std::string_view(blankConfRecord())));
  ASSERT_TRUE(file.ensureFirstRecord());
  ASSERT_TRUE(file.close());
  EXPECT_EQ(readBytes(dir.file("DATACONF.DAT")), blankConfRecord());
}

TEST(DataConfTest, FileWithRecordsIsLeftAlone) {
  TempDir dir;
  std::string record = blankConfRecord();
  place(record, 3, "Y");
  place(record, 5, "text");
  writeBytes(dir.file("DATACONF.DAT"), record + "junk");
  {
    DataConf file(dir.str("DATACONF.DAT"));
    ASSERT_TRUE(file.open());
    ASSERT_TRUE(file.ensureFirstRecord());
    ASSERT_TRUE(file.goTo(1));
    EXPECT_EQ(file.readText(DataConf::kText.offset, DataConf::kText.width),
              Str(std::string_view(padded("text", 50))));
  }
  EXPECT_EQ(readBytes(dir.file("DATACONF.DAT")), record + "junk");
}

TEST(DataConfTest, ShorterThanOneRecordCountsAsEmpty) {
  TempDir dir;
  writeBytes(dir.file("DATACONF.DAT"), std::string(100, '|'));
  DataConf file(dir.str("DATACONF.DAT"));
  ASSERT_TRUE(file.open());
  EXPECT_EQ(file.recordCount(), 0);
  ASSERT_TRUE(file.ensureFirstRecord());
  ASSERT_TRUE(file.close());
  EXPECT_EQ(readBytes(dir.file("DATACONF.DAT")), blankConfRecord());
}

TEST(RecordFileTest, SecondOpenerIsRefusedWhileTheFileIsHeld) {
  TempDir dir;
  ProcessContext::instance().setFileOpenAttempts(1);  // no one-second retry
  DataUser holder(dir.str("DataUser.DAT"));
  ASSERT_TRUE(holder.open());
  DataUser other(dir.str("DataUser.DAT"));
  EXPECT_FALSE(other.open());
  ASSERT_TRUE(holder.close());
  EXPECT_TRUE(other.open());
  ProcessContext::instance().setFileOpenAttempts(2);
}

}  // namespace
}  // namespace quillet
