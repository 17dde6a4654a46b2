// Building the mailbox table and the address list from hand-made data files.
#include <gtest/gtest.h>

#include "base/ProcessContext.h"
#include "config/AddressList.h"
#include "config/DataFiles.h"
#include "config/MailboxTable.h"
#include "tests/support/DataFileRecords.h"
#include "tests/support/FileBytes.h"
#include "tests/support/TempDir.h"

namespace quillet {
namespace {

using testing::blankUserRecord;
using testing::place;
using testing::TempDir;
using testing::writeBytes;

std::string popRecord(const std::string& user, const std::string& host, char deleted = ' ',
                      char disabled = ' ') {
  testing::MailboxRecord mailbox;
  mailbox.user = user;
  mailbox.password.clear();
  mailbox.host = host;
  mailbox.from = "08:00";
  mailbox.until = "18:00";
  mailbox.everyMinutes = 30;
  mailbox.days = "X X X X";
  mailbox.deleted = deleted;
  mailbox.disabled = disabled;
  return testing::dataPopRecord(mailbox);
}

TEST(MailboxTableTest, SkipsDeletedAndDisabledRecordsAndFindsFirstServer) {
  TempDir dir;
  writeBytes(dir.file("DataPOP.DAT"),
             popRecord("gone", "deleted.example", '*') +           // deleted
                 popRecord("off", "disabled.example", ' ', '*') +  // disabled
                 popRecord("nohost", "") +                         // usable, no host
                 popRecord("one", "  first.example  ") + popRecord("two", "second.example"));
  DataPOP file(dir.str("DataPOP.DAT"));
  ASSERT_TRUE(file.open());
  MailboxTable table;
  ASSERT_TRUE(table.build(file));
  ASSERT_EQ(table.count(), 3);
  EXPECT_EQ(table.item(1).user, "nohost");
  EXPECT_EQ(table.item(2).user, "one");
  EXPECT_EQ(table.item(2).host, "first.example");
  EXPECT_EQ(table.item(3).user, "two");
  EXPECT_EQ(table.firstServer(), "first.example");
}

TEST(MailboxTableTest, EntryFieldsAreConvertedTrimmedAndScheduled) {
  TempDir dir;
  std::string record = popRecord("  J\x81rgen  ", "pop.example.net");  // CP850 u-umlaut
  place(record, 54, " 22414243 ");
  place(record, 286, " boss@example.org ");
  place(record, 446, " note ");
  place(record, 497, "          ");  // blank port: the server default applies
  place(record, 510, "T");
  writeBytes(dir.file("DataPOP.DAT"), record);
  DataPOP file(dir.str("DataPOP.DAT"));
  ASSERT_TRUE(file.open());
  MailboxTable table;
  ASSERT_TRUE(table.build(file));
  ASSERT_EQ(table.count(), 1);
  const POPItem& item = table.item(1);
  EXPECT_EQ(item.user, "J\xC3\xBCrgen");
  EXPECT_EQ(item.password, "22414243");  // still scrambled
  EXPECT_EQ(item.routeTo, "boss@example.org");
  EXPECT_EQ(item.comment, "note");
  EXPECT_EQ(item.port, 0);
  EXPECT_EQ(item.busy, 0);
  EXPECT_EQ(item.security, ConnectionSecurity::Tls);
  const std::vector<ScheduleItem> windows = item.schedule.items();
  ASSERT_EQ(windows.size(), 1u);
  EXPECT_EQ(windows[0].from, 8 * 3600);
  EXPECT_EQ(windows[0].until, 18 * 3600);
  EXPECT_EQ(windows[0].every, 30 * 60);
  EXPECT_EQ(windows[0].days, (1 << 1) | (1 << 3) | (1 << 5) | (1 << 7));
  EXPECT_EQ(item.schedule.lastRun(), 0u);
}

TEST(MailboxTableTest, EmptyOrForeignFileGivesNoCrashAndNoFirstServer) {
  TempDir dir;
  DataPOP empty(dir.str("DataPOP.DAT"));
  ASSERT_TRUE(empty.open());
  MailboxTable table;
  ASSERT_TRUE(table.build(empty));
  EXPECT_EQ(table.count(), 0);
  EXPECT_TRUE(table.firstServer().empty());

  writeBytes(dir.file("other.txt"), std::string(3000, '\n'));
  DataPOP foreign(dir.str("other.txt"));
  ASSERT_TRUE(foreign.open());
  ASSERT_TRUE(table.build(foreign));
  // Line feeds at bytes 1 and 508 are not blanks: every record counts as deleted.
  EXPECT_EQ(table.count(), 0);
}

std::string userRecord(const std::string& address, char deleted = ' ') {
  std::string record = blankUserRecord();
  record[1] = deleted;
  place(record, 3, address);
  return record;
}

TEST(AddressListTest, TrimsLowerCasesAndSkipsBlankAndDeletedRecords) {
  TempDir dir;
  writeBytes(dir.file("DataUser.DAT"),
             userRecord("   Anna@Example.COM ") + userRecord("deleted@example.com", '*') +
                 userRecord("") + userRecord("anna@example.com") + userRecord("b@example.com") +
                 std::string(100, 'x'));  // incomplete tail
  DataUser file(dir.str("DataUser.DAT"));
  ASSERT_TRUE(file.open());
  AddressList list;
  ASSERT_TRUE(list.load(file));
  ASSERT_EQ(list.count(), 3);
  EXPECT_EQ(list.entry(1), "anna@example.com");
  EXPECT_EQ(list.entry(2), "anna@example.com");  // duplicates stay
  EXPECT_EQ(list.entry(3), "b@example.com");
  EXPECT_TRUE(list.contains("b@example.com"));
  EXPECT_FALSE(list.contains("deleted@example.com"));
  EXPECT_FALSE(list.contains("B@example.com"));
}

TEST(DataFilesTest, ServerLoadCreatesMissingFilesAndFillsTables) {
  TempDir dir;
  writeBytes(dir.file("DataPOP.DAT"), popRecord("u", "pop.example"));
  writeBytes(dir.file("DataUser.DAT"), userRecord("a@example.com"));
  DataFiles files(dir.str(""));
  MailboxTable mailboxes;
  AddressList addresses;
  ASSERT_TRUE(files.loadForServer(mailboxes, addresses));
  EXPECT_EQ(mailboxes.count(), 1);
  EXPECT_EQ(addresses.count(), 1);
  EXPECT_TRUE(files.close());
  EXPECT_EQ(testing::readBytes(dir.file("DATACONF.DAT")), testing::blankConfRecord());
}

TEST(DataFilesTest, OneFileHeldElsewhereFailsTheWholeOpenAndReleasesTheOthers) {
  TempDir dir;
  ProcessContext::instance().setFileOpenAttempts(1);  // no one-second retry
  DataUser holder(dir.str("DataUser.DAT"));
  ASSERT_TRUE(holder.open());
  DataFiles files(dir.str(""));
  MailboxTable mailboxes;
  AddressList addresses;
  EXPECT_FALSE(files.loadForServer(mailboxes, addresses));
  DataPOP pop(dir.str("DataPOP.DAT"));
  EXPECT_TRUE(pop.open());  // closed again by the failed load
  ProcessContext::instance().setFileOpenAttempts(2);
}

}  // namespace
}  // namespace quillet
