// Tests of the lock files: exclusion of other processes, files left behind by dead
// processes, release and the file's mode.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "base/ProcessContext.h"
#include "base/Sema.h"
#include "tests/support/TempDir.h"

namespace quillet {
namespace {

class SemaTest : public ::testing::Test {
 protected:
  void SetUp() override { ProcessContext::instance().setProgramDirectory(dir_); }
  void TearDown() override { ProcessContext::instance().setProgramDirectory(""); }
  std::string path(const char* name) const { return temp_.file(name); }
  bool exists(const char* name) const { return std::filesystem::exists(path(name)); }

  testing::TempDir temp_{"quillet-sema"};
  std::string dir_ = temp_.path();
};

TEST_F(SemaTest, AcquireCreatesAPrivateFileAndReleaseDeletesIt) {
  Sema sema("QUILLETSVC.LCK");
  EXPECT_FALSE(sema.release()) << "nothing held yet";
  ASSERT_TRUE(sema.acquire());
  EXPECT_TRUE(sema.held());
  EXPECT_TRUE(sema.acquire()) << "held already";
  struct stat info {};
  ASSERT_EQ(stat(path("QUILLETSVC.LCK").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);

  Sema other("QUILLETSVC.LCK");
  EXPECT_FALSE(other.acquire(3)) << "a second holder of the same file is refused";

  EXPECT_TRUE(sema.release());
  EXPECT_FALSE(sema.held());
  EXPECT_FALSE(exists("QUILLETSVC.LCK"));
  EXPECT_TRUE(other.acquire());
}

TEST_F(SemaTest, DestroyingAHeldSemaReleasesIt) {
  {
    Sema sema("QUILLETDBT.LCK");
    ASSERT_TRUE(sema.acquire());
    EXPECT_TRUE(exists("QUILLETDBT.LCK"));
  }
  EXPECT_FALSE(exists("QUILLETDBT.LCK"));
}

TEST_F(SemaTest, LockHeldByAnotherProcessBlocksUntilThatProcessDies) {
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    Sema held("QUILLETDBT.LCK");
    char result = held.acquire() ? 'y' : 'n';
    if (write(ready[1], &result, 1) != 1) _exit(2);
    for (;;) pause();  // killed by the parent, leaving the file behind
  }
  close(ready[1]);
  char result = 0;
  ASSERT_EQ(read(ready[0], &result, 1), 1);
  close(ready[0]);
  ASSERT_EQ(result, 'y');

  Sema sema("QUILLETDBT.LCK");
  EXPECT_FALSE(sema.acquire(5));
  ASSERT_EQ(kill(child, SIGKILL), 0);
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(exists("QUILLETDBT.LCK")) << "the dead holder leaves its file behind";
  EXPECT_TRUE(sema.acquire());
}

// Several processes take and drop the lock as fast as they can; whoever holds it creates
// a marker file that must not exist yet. A release that races with another process's
// acquire must never leave two holders (one of them locking a file already deleted).
TEST_F(SemaTest, ProcessesRacingForTheLockNeverHoldItTogether) {
  constexpr int kProcesses = 3;
  constexpr int kRounds = 1500;
  const std::string marker = path("holder");
  pid_t children[kProcesses];
  for (pid_t& child : children) {
    child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      Sema sema("QUILLETDBT.LCK");
      for (int round = 0; round < kRounds; ++round) {
        if (!sema.acquire()) continue;
        int fd = open(marker.c_str(), O_CREAT | O_EXCL | O_WRONLY, 0600);
        if (fd < 0) _exit(1);  // someone else holds it too
        close(fd);
        unlink(marker.c_str());
        if (!sema.release()) _exit(1);  // the lock must end with its file
      }
      _exit(0);
    }
  }
  for (pid_t child : children) {
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "two holders at once";
  }
}

TEST_F(SemaTest, LeftoverFileDoesNotBlockButASymbolicLinkIsNotFollowed) {
  int fd = open(path("QUILLETSVC.LCK").c_str(), O_CREAT | O_WRONLY, 0644);
  ASSERT_GE(fd, 0);
  close(fd);
  Sema sema("QUILLETSVC.LCK");
  EXPECT_TRUE(sema.acquire());
  EXPECT_TRUE(sema.release());

  ASSERT_EQ(symlink(path("elsewhere").c_str(), path("QUILLETDBT.LCK").c_str()), 0);
  Sema linked("QUILLETDBT.LCK");
  EXPECT_FALSE(linked.acquire(2));
  EXPECT_FALSE(exists("elsewhere"));
}

}  // namespace
}  // namespace quillet
