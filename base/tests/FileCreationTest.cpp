// Tests of the ways base creates new files for the other folders: the exclusive create
// mode, files with names of their own, and atomic replacement with a permission mode.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <memory>
#include <set>
#include <string>

#include "base/File.h"
#include "base/FileNames.h"
#include "base/FileSystem.h"
#include "tests/support/FileBytes.h"
#include "tests/support/TempDir.h"

namespace quillet {
namespace {

using testing::readBytes;
using testing::TempDir;
using testing::writeBytes;

using testing::fileMode;

TEST(FileCreation, CreateNewHandsANameOutOnceAndLeavesOthersAlone) {
  TempDir dir;
  File first(dir.str("MSG00001.TXT"));
  ASSERT_TRUE(first.open(File::kCreateNew));
  ASSERT_EQ(first.write("abc", 3), 3);
  ASSERT_TRUE(first.close());
  EXPECT_EQ(fileMode(dir.file("MSG00001.TXT")), 0600u);

  File second(dir.str("MSG00001.TXT"));
  EXPECT_FALSE(second.open(File::kCreateNew)) << "the name is taken";
  EXPECT_EQ(readBytes(dir.file("MSG00001.TXT")), "abc") << "the holder's file is untouched";

  File nowhere(dir.str("missing/MSG00002.TXT"));
  EXPECT_FALSE(nowhere.open(File::kCreateNew));
  EXPECT_EQ(dir.entries(), 1);
}

TEST(FileCreation, UniqueFilesHaveDistinctPrivateNamesWithThePrefix) {
  TempDir dir;
  std::set<std::string> names;
  for (int i = 0; i < 50; ++i) {
    std::unique_ptr<File> file = createUniqueFile(Str(std::string_view(dir.path())), "qdp");
    ASSERT_NE(file, nullptr);
    const std::string name = file->name().toStd();
    EXPECT_EQ(name.rfind(dir.path() + "/qdp", 0), 0u) << name;
    EXPECT_EQ(name.size(), dir.path().size() + 1 + 3 + 6) << name;
    ASSERT_EQ(file->write("x", 1), 1);
    ASSERT_TRUE(file->close());
    EXPECT_EQ(fileMode(name), 0600u);
    names.insert(name);
  }
  EXPECT_EQ(names.size(), 50u);
  EXPECT_EQ(dir.entries(), 50);
  EXPECT_EQ(createUniqueFile(dir.str("missing"), "qdp"), nullptr) << "no endless retries";
}

TEST(FileCreation, ReplacementAppearsWithItsModeOrNotAtAll) {
  TempDir dir;
  const std::string target = dir.file("runnel.service");
  writeBytes(target, "old");
  {
    DurableReplace abandoned(dir.str("runnel.service"), 0644);
    ASSERT_TRUE(abandoned.begin());
    ASSERT_EQ(abandoned.file().write("half", 4), 4);
  }  // no commit
  EXPECT_EQ(readBytes(target), "old");
  EXPECT_EQ(dir.entries(), 1) << "the temporary file is gone";

  DurableReplace shared(dir.str("runnel.service"), 0644);
  ASSERT_TRUE(shared.begin());
  ASSERT_EQ(shared.file().write("new", 3), 3);
  ASSERT_TRUE(shared.commit());
  EXPECT_EQ(readBytes(target), "new");
  EXPECT_EQ(fileMode(target), 0644u);

  const std::string secret = dir.file("QUILLET.INI");
  writeBytes(secret, "");
  ASSERT_EQ(::chmod(secret.c_str(), 0644), 0);
  DurableReplace privateFile(dir.str("QUILLET.INI"));
  ASSERT_TRUE(privateFile.begin());
  ASSERT_TRUE(privateFile.commit());
  EXPECT_EQ(fileMode(secret), 0600u) << "files are private unless told otherwise";
}

}  // namespace
}  // namespace quillet
