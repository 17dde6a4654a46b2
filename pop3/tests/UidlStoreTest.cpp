// The unique-id store: keys per mailbox, the 128-character cut, load and delete, atomic
// save.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "base/FileNames.h"
#include "pop3/UidlStore.h"
#include "server/queue/SMTPInfo.h"
#include "tests/support/FailingReadFile.h"
#include "tests/support/FileBytes.h"
#include "tests/support/TempDir.h"

namespace quillet {
namespace {

using testing::TempDir;

ArrayStr idsOf(std::initializer_list<const char*> ids) {
  ArrayStr result;
  for (const char* id : ids) result.add(id);
  return result;
}

std::string joined(const ArrayStr& ids) {
  std::string text;
  for (const Str& id : ids) text += id.toStd() + ",";
  return text;
}

TEST(UidlStore, MailboxesKeepSeparateIdsAndHostCaseDoesNotMatter) {
  TempDir dir;
  UidlStore store(dir.str(UidlStore::kFileName));
  ASSERT_TRUE(store.saveIds("pop.a.example", "joe", idsOf({"A1", "A2"})));
  ASSERT_TRUE(store.saveIds("pop.b.example", "joe", idsOf({"B1"})));
  ArrayStr ids;
  store.knownIds("POP.A.EXAMPLE", "Joe", ids);
  EXPECT_EQ(joined(ids), "A1,A2,");
  store.knownIds("pop.b.example", "joe", ids);
  EXPECT_EQ(joined(ids), "B1,");
  // A new save replaces only that mailbox's ids.
  ASSERT_TRUE(store.saveIds("pop.a.example", "joe", idsOf({"A3"})));
  store.knownIds("pop.a.example", "joe", ids);
  EXPECT_EQ(joined(ids), "A3,");
  store.knownIds("pop.b.example", "joe", ids);
  EXPECT_EQ(joined(ids), "B1,");
}

TEST(UidlStore, FileLinesAreKeyThenIdAndSurviveALoad) {
  TempDir dir;
  const Str path = dir.str(UidlStore::kFileName);
  UidlStore store(path);
  ASSERT_TRUE(store.saveIds("host", "user", idsOf({"id-1", "", "bad\x01id", "id-2"})));
  const std::string expectedKey = "host" + std::string(124, ' ') + "user" + std::string(124, ' ');
  EXPECT_EQ(testing::readBytes(path.toStd()), expectedKey + "id-1\r\n" + expectedKey + "id-2\r\n");
  UidlStore reloaded(path);
  ASSERT_TRUE(reloaded.load(true));
  ArrayStr ids;
  reloaded.knownIds("host", "user", ids);
  EXPECT_EQ(joined(ids), "id-1,id-2,");
  EXPECT_FALSE(fileExists(path + ".tmp"));  // no temporary left
}

TEST(UidlStore, NamesAreCutAt128Characters) {
  TempDir dir;
  UidlStore store(dir.str(UidlStore::kFileName));
  const std::string common(128, 'h');
  ASSERT_TRUE(store.saveIds(Str(std::string_view(common + "-one")), "u", idsOf({"X"})));
  ArrayStr ids;
  store.knownIds(Str(std::string_view(common + "-two")), "u", ids);
  EXPECT_EQ(joined(ids), "X,");
  EXPECT_EQ(UidlStore::keyFor(Str(std::string_view(common + "-one")), "u").length(), 256);
}

TEST(UidlStore, LoadWithoutLeavingOnServerDeletesTheFile) {
  TempDir dir;
  const Str path = dir.str(UidlStore::kFileName);
  {
    UidlStore store(path);
    ASSERT_TRUE(store.saveIds("h", "u", idsOf({"1"})));
  }
  UidlStore store(path);
  ASSERT_TRUE(store.load(true));
  EXPECT_EQ(store.lineCount(), 1);
  ASSERT_TRUE(store.load(false));
  EXPECT_EQ(store.lineCount(), 0);
  EXPECT_FALSE(fileExists(path));
  ASSERT_TRUE(store.load(true));  // a missing file is an empty store
  EXPECT_EQ(store.lineCount(), 0);
}

TEST(UidlStore, FailedSaveKeepsTheOldFileAndTheListInMemory) {
  TempDir dir;
  UidlStore store(dir.str("missing-dir/" + std::string(UidlStore::kFileName)));
  EXPECT_FALSE(store.saveIds("h", "u", idsOf({"1"})));
  ArrayStr ids;
  store.knownIds("h", "u", ids);
  EXPECT_EQ(joined(ids), "1,");
}

TEST(UidlStore, UnreadableFileIsNeverOverwrittenAndIsReadOnceItCanBe) {
  TempDir dir;
  const Str path = dir.str(UidlStore::kFileName);
  ASSERT_EQ(::mkdir(path.c_str(), 0700), 0);  // there, but not readable as a file
  UidlStore store(path);
  EXPECT_FALSE(store.load(true));
  EXPECT_FALSE(store.ensureLoaded());
  EXPECT_FALSE(store.saveIds("h", "u", idsOf({"1"})));
  EXPECT_EQ(store.lineCount(), 0) << "a refused save changes nothing";
  UidlStore failingRead{Str(testing::kUnreadableFilePath)};  // opens, then fails to read
  EXPECT_FALSE(failingRead.load(true));
  EXPECT_FALSE(failingRead.saveIds("h", "u", idsOf({"1"})));

  ASSERT_EQ(::rmdir(path.c_str()), 0);
  testing::writeBytes(path.toStd(),
                      std::string(UidlStore::keyFor("other", "x").toStd()) + "kept\r\n");
  EXPECT_TRUE(store.ensureLoaded());
  EXPECT_TRUE(store.saveIds("h", "u", idsOf({"1"})));
  ArrayStr ids;
  store.knownIds("other", "x", ids);
  EXPECT_EQ(joined(ids), "kept,") << "the other mailbox's ids survive the save";
}

}  // namespace
}  // namespace quillet
