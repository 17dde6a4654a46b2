// Tests of File and the by-name helpers: open modes and their locks, the retrying open,
// buffered and flushed writes, the line reader with its terminators and length limit,
// code-page conversion of names and last-write times, and read errors told from the end.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <chrono>
#include <csignal>
#include <ctime>
#include <filesystem>
#include <string>
#include <thread>

#include "base/File.h"
#include "base/FileNames.h"
#include "base/FileSystem.h"
#include "base/IniStore.h"
#include "base/ProcessContext.h"
#include "tests/support/FailingReadFile.h"
#include "tests/support/FileBytes.h"
#include "tests/support/TempDir.h"

namespace quillet {
namespace {

namespace fs = std::filesystem;
using std::chrono::duration_cast;
using std::chrono::milliseconds;
using std::chrono::steady_clock;

class FileTest : public ::testing::Test {
 protected:
  void TearDown() override {
    ProcessContext::instance().setCheckBeforeFileOpen(false);
    ProcessContext::instance().setFileOpenAttempts(2);
  }

  Str path(const char* name) const { return Str((dir_ / name).string()); }

  void writeRaw(const char* name, const std::string& bytes) const {
    ASSERT_TRUE(testing::writeBytes(temp_.file(name), bytes));
  }
  std::string readRaw(const char* name) const { return testing::readBytes(temp_.file(name)); }

  testing::TempDir temp_{"quillet-file"};
  fs::path dir_{temp_.path()};
};

std::vector<std::string> readAllLines(File& file) {
  std::vector<std::string> lines;
  Str line;
  ReadState got;
  while ((got = file.readLine(line)) == ReadState::kData) lines.push_back(line.toStd());
  EXPECT_EQ(got, ReadState::kEnd);
  EXPECT_TRUE(line.empty());
  return lines;
}

TEST_F(FileTest, ReadLineHandlesEveryTerminator) {
  writeRaw("t.txt", std::string("a\r\nb\n\rc"));
  File file(path("t.txt"));
  ASSERT_TRUE(file.open(File::kReadShared));
  EXPECT_EQ(readAllLines(file), (std::vector<std::string>{"a", "b", "", "c"}));

  writeRaw("z.txt", std::string("x\x1Ay\r\r\n\nlast"));
  File other(path("z.txt"));
  ASSERT_TRUE(other.open(File::kReadSharedOnce));
  EXPECT_EQ(readAllLines(other), (std::vector<std::string>{"x", "y", "", "", "last"}));
}

TEST_F(FileTest, ReadLineLeavesThePositionAfterTheLine) {
  writeRaw("t.txt", "first\r\nsecond\r\n");
  File file(path("t.txt"));
  ASSERT_TRUE(file.open(File::kReadShared));
  Str line;
  ASSERT_EQ(file.readLine(line), ReadState::kData);
  EXPECT_EQ(file.seek(SEEK_CUR, 0), 7);
  char rest[6] = {};
  const ReadResult got = file.read(rest, 6);
  EXPECT_EQ(got.bytes, 6);
  EXPECT_EQ(got.state, ReadState::kData);
  EXPECT_EQ(std::string(rest, 6), "second");
  EXPECT_FALSE(file.atEnd());
  ASSERT_EQ(file.readLine(line), ReadState::kData);
  EXPECT_EQ(line.toStd(), "");
  EXPECT_TRUE(file.atEnd());
  EXPECT_EQ(file.readLine(line), ReadState::kEnd);
}

TEST_F(FileTest, ReadLineJoinsCrLfAcrossBlockBoundaries) {
  // The CR is byte 512 of the first block, its LF the first byte of the next one.
  const std::string longLine(511, 'x');
  writeRaw("t.txt", longLine + "\r\n" + std::string(700, 'y') + "\r" + "\nz");
  File file(path("t.txt"));
  ASSERT_TRUE(file.open(File::kReadShared));
  EXPECT_EQ(readAllLines(file), (std::vector<std::string>{longLine, std::string(700, 'y'), "z"}));
}

TEST_F(FileTest, ReadLineCutsOverlongLines) {
  const std::string exact(File::kMaxLineLength, 'e');
  const std::string over(File::kMaxLineLength + 10, 'o');
  writeRaw("t.txt", exact + "\r\n" + over + "\r\nend");
  File file(path("t.txt"));
  ASSERT_TRUE(file.open(File::kReadShared));
  const auto lines = readAllLines(file);
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[0], exact);  // a line of exactly the limit keeps its terminator
  EXPECT_EQ(lines[1], std::string(File::kMaxLineLength, 'o'));
  EXPECT_EQ(lines[2], std::string(10, 'o'));
  EXPECT_EQ(lines[3], "end");
}

TEST_F(FileTest, WriteLineAppendsCrLfAndOpenModesPositionAsDocumented) {
  File file(path("t.txt"));
  ASSERT_TRUE(file.open(File::kCreate));
  EXPECT_FALSE(file.flushEachWrite());
  EXPECT_TRUE(file.writeLine(Str("one")));
  EXPECT_TRUE(file.writeLine(nullptr, 0));
  EXPECT_EQ(file.size(), 7);  // pending bytes count
  ASSERT_TRUE(file.close());
  EXPECT_EQ(readRaw("t.txt"), "one\r\n\r\n");

  ASSERT_TRUE(file.open(File::kOpenOrCreate));  // at the end
  EXPECT_EQ(file.write("two", 3), 3);
  ASSERT_TRUE(file.close());
  EXPECT_EQ(readRaw("t.txt"), "one\r\n\r\ntwo");

  ASSERT_TRUE(file.open(File::kReadWriteShareRead));  // at the start, flushed writes
  EXPECT_TRUE(file.flushEachWrite());
  EXPECT_EQ(file.write("ONE", 3), 3);
  EXPECT_EQ(readRaw("t.txt"), "ONE\r\n\r\ntwo");  // on disk before close
  EXPECT_EQ(file.seek(SEEK_END, -3), 7);
  char tail[3];
  EXPECT_EQ(file.read(tail, 3).bytes, 3);
  EXPECT_EQ(std::string(tail, 3), "two");
  ASSERT_TRUE(file.close());

  ASSERT_TRUE(file.open(File::kCreate));  // truncates
  EXPECT_EQ(file.size(), 0);
  ASSERT_TRUE(file.close());
  EXPECT_EQ(readRaw("t.txt"), "");
}

TEST_F(FileTest, BufferedWritesAreVisibleToReadsOfTheSameFile) {
  File file(path("t.txt"));
  ASSERT_TRUE(file.open(File::kCreate));
  const std::string big(100000, 'b');  // larger than the write buffer
  EXPECT_EQ(file.write("head", 4), 4);
  EXPECT_EQ(file.write(big.data(), static_cast<int>(big.size())), 100000);
  EXPECT_EQ(file.write("tail\n", 5), 5);
  EXPECT_EQ(file.seek(SEEK_SET, 0), 0);
  Str line;
  ASSERT_EQ(file.readLine(line), ReadState::kData);
  EXPECT_EQ(line.length(), 100008);
  EXPECT_TRUE(file.sync());
  ASSERT_TRUE(file.close());
  EXPECT_EQ(readRaw("t.txt").size(), 100009u);
}

// A process file-size limit makes the disk refuse bytes, as a full disk would.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    previousHandler_ = std::signal(SIGXFSZ, SIG_IGN);
    ::getrlimit(RLIMIT_FSIZE, &previous_);
    rlimit limited = previous_;
    limited.rlim_cur = bytes;
    ::setrlimit(RLIMIT_FSIZE, &limited);
  }
  ~FileSizeLimit() {
    ::setrlimit(RLIMIT_FSIZE, &previous_);
    std::signal(SIGXFSZ, previousHandler_);
  }

 private:
  rlimit previous_{};
  void (*previousHandler_)(int) = nullptr;
};

TEST_F(FileTest, LostWritesAreReportedNotSwallowed) {
  const std::string block(3000, 'w');
  {
    FileSizeLimit limit(1000);
    File buffered(path("buffered.txt"));
    ASSERT_TRUE(buffered.open(File::kCreate));
    EXPECT_EQ(buffered.write(block.data(), 3000), 3000);  // only buffered so far
    EXPECT_FALSE(buffered.sync());
    EXPECT_FALSE(buffered.close());  // the pending bytes did not all reach the file
    EXPECT_TRUE(buffered.flushEachWrite());

    File flushed(path("flushed.txt"));
    ASSERT_TRUE(flushed.open(File::kOpenOrCreate));
    flushed.setFlushEachWrite(true);
    EXPECT_EQ(flushed.write(block.data(), 3000), 1000);
    EXPECT_FALSE(flushed.writeLine(Str("more")));
  }
  EXPECT_EQ(readRaw("buffered.txt").size(), 1000u);
}

TEST_F(FileTest, OpenAppendCreatesOrContinues) {
  bool created = false;
  {
    File file(path("log.txt"));
    ASSERT_TRUE(file.openAppend(created));
    EXPECT_TRUE(created);
    EXPECT_TRUE(file.writeLine(Str("first")));
  }  // the destructor writes the buffered line
  {
    File file(path("log.txt"));
    ASSERT_TRUE(file.openAppend(created));
    EXPECT_FALSE(created);
    EXPECT_FALSE(file.flushEachWrite());
    EXPECT_TRUE(file.writeLine(Str("second")));
    EXPECT_TRUE(file.close());
  }
  EXPECT_EQ(readRaw("log.txt"), "first\r\nsecond\r\n");
}

TEST_F(FileTest, CreatedFilesArePrivateToTheOwner) {
  File file(path("secret.dat"));
  ASSERT_TRUE(file.open(File::kOpenOrCreate));
  struct stat info {};
  ASSERT_EQ(::stat((dir_ / "secret.dat").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
}

TEST_F(FileTest, ClosedOrRefusedFilesReportFailure) {
  File missing(path("missing.txt"));
  ProcessContext::instance().setCheckBeforeFileOpen(true);
  EXPECT_FALSE(missing.open(File::kReadShared));
  EXPECT_FALSE(missing.open(File::kReadSharedOnce));
  EXPECT_FALSE(missing.open(File::kNone));
  EXPECT_FALSE(missing.isOpen());
  char byte = 0;
  EXPECT_TRUE(missing.read(&byte, 1).failed());
  Str line;
  EXPECT_EQ(missing.readLine(line), ReadState::kFailed);
  EXPECT_EQ(missing.write("x", 1), 0);
  EXPECT_EQ(missing.size(), -1);
  EXPECT_TRUE(missing.atEnd());
  EXPECT_FALSE(fileExists(path("missing.txt")));

  writeRaw("ro.txt", "data");
  File readOnly(path("ro.txt"));
  ASSERT_TRUE(readOnly.open(File::kReadShared));
  EXPECT_EQ(readOnly.write("x", 1), 0);
  EXPECT_FALSE(readOnly.writeLine(Str("x")));

  File directory(Str(dir_.string()));
  EXPECT_FALSE(directory.open(File::kReadSharedOnce));
  EXPECT_FALSE(directory.open(File::kOpenOrCreate));
  File blank(Str("  "));
  EXPECT_FALSE(blank.open(File::kOpenOrCreate));
}

TEST_F(FileTest, RetryingOpenFailsAtOnceWhenCheckingFirst) {
  ProcessContext::instance().setCheckBeforeFileOpen(true);
  File file(path("missing.txt"));
  const auto start = steady_clock::now();
  EXPECT_FALSE(file.open(File::kReadShared));
  EXPECT_LT(duration_cast<milliseconds>(steady_clock::now() - start).count(), 300);
}

TEST_F(FileTest, RetryingOpenWaitsAboutASecondBetweenTwoAttempts) {
  File file(path("missing.txt"));
  const auto start = steady_clock::now();
  EXPECT_FALSE(file.open(File::kReadShared));
  const auto elapsed = duration_cast<milliseconds>(steady_clock::now() - start).count();
  EXPECT_GE(elapsed, 900);
  EXPECT_LT(elapsed, 2700);

  ProcessContext::instance().setFileOpenAttempts(1);
  const auto once = steady_clock::now();
  EXPECT_FALSE(file.open(File::kReadWriteExclusive));
  EXPECT_LT(duration_cast<milliseconds>(steady_clock::now() - once).count(), 300);
}

TEST_F(FileTest, ExclusiveAndShareReadModesLockOthersOut) {
  writeRaw("data.dat", "record");
  ProcessContext::instance().setFileOpenAttempts(1);
  File holder(path("data.dat"));
  File other(path("data.dat"));

  ASSERT_TRUE(holder.open(File::kReadWriteExclusive));
  EXPECT_FALSE(other.open(File::kReadWriteExclusive));
  EXPECT_FALSE(other.open(File::kReadWriteShareRead));
  EXPECT_FALSE(other.open(File::kOpenOrCreate));
  EXPECT_FALSE(other.open(File::kCreate));
  EXPECT_EQ(readRaw("data.dat"), "record");    // a refused create does not truncate
  EXPECT_TRUE(other.open(File::kReadShared));  // readers take no lock
  EXPECT_TRUE(other.close());

  ASSERT_TRUE(holder.close());
  ASSERT_TRUE(holder.open(File::kReadWriteShareRead));
  EXPECT_FALSE(other.open(File::kReadWriteExclusive));
  EXPECT_TRUE(other.open(File::kReadSharedOnce));
  EXPECT_TRUE(other.close());

  ASSERT_TRUE(holder.close());
  EXPECT_TRUE(other.open(File::kReadWriteExclusive));
}

TEST_F(FileTest, RetryingOpenSucceedsWhenTheHolderLetsGo) {
  writeRaw("data.dat", "record");
  File holder(path("data.dat"));
  ASSERT_TRUE(holder.open(File::kReadWriteExclusive));
  std::thread release([&holder] {
    std::this_thread::sleep_for(milliseconds(300));
    (void)holder.close();
  });
  File other(path("data.dat"));
  EXPECT_TRUE(other.open(File::kReadWriteShareRead));
  release.join();
}

TEST_F(FileTest, NamesAreConvertedFromOemToUtf8) {
  const Str oemName = path("gr\x81n.txt");  // CP850 0x81 is u with diaeresis
  File file(oemName);
  ASSERT_TRUE(file.open(File::kCreate));
  ASSERT_TRUE(file.close());
  EXPECT_TRUE(fs::exists(dir_ / "gr\xC3\xBCn.txt"));
  EXPECT_TRUE(fileExists(oemName));
  EXPECT_EQ(file.name(), oemName);
  EXPECT_TRUE(removeFile(oemName));
  EXPECT_FALSE(fs::exists(dir_ / "gr\xC3\xBCn.txt"));
}

TEST_F(FileTest, NameHelpersTestDateAndRemove) {
  EXPECT_FALSE(fileExists(Str("")));
  EXPECT_FALSE(fileExists(Str("   ")));
  EXPECT_TRUE(fileExists(Str(dir_.string())));

  Date date{2001, 1, 0, 1};
  Time time{1, 1, 1, 1};
  EXPECT_FALSE(fileLastWrite(path("none.txt"), date, time));
  EXPECT_EQ(date, (Date{2001, 1, 0, 1}));

  writeRaw("dated.txt", "x");
  tm local{};
  local.tm_year = 2001 - 1900;
  local.tm_mon = 2;
  local.tm_mday = 4;
  local.tm_hour = 5;
  local.tm_min = 6;
  local.tm_sec = 7;
  local.tm_isdst = -1;
  const timespec times[2] = {{std::mktime(&local), 0}, {std::mktime(&local), 123456789}};
  ASSERT_EQ(::utimensat(AT_FDCWD, (dir_ / "dated.txt").c_str(), times, 0), 0);
  ASSERT_TRUE(fileLastWrite(path("dated.txt"), date, time));
  EXPECT_EQ(date, (Date{2001, 3, 0, 4}));
  EXPECT_EQ(date.dayOfWeek, 1);  // a Sunday
  EXPECT_EQ(time, (Time{5, 6, 7, 123}));

  EXPECT_TRUE(removeFile(path("dated.txt")));
  EXPECT_FALSE(fileExists(path("dated.txt")));
  EXPECT_TRUE(removeFile(path("dated.txt")));  // already gone
}

// One read of n bytes: how it ended and how many bytes came.
void expectRead(File& file, int n, ReadState state, int bytes) {
  char buffer[16];
  ASSERT_LE(n, static_cast<int>(sizeof buffer));
  const ReadResult got = file.read(buffer, n);
  EXPECT_EQ(got.state, state);
  if (state != ReadState::kFailed) {
    EXPECT_EQ(got.bytes, bytes);
  }
}

TEST_F(FileTest, ReadsTellFullBlocksTheEndAndFailuresApart) {
  writeRaw("t.txt", "abcdef");
  File file(path("t.txt"));
  ASSERT_TRUE(file.open(File::kReadShared));
  expectRead(file, 4, ReadState::kData, 4);
  expectRead(file, 8, ReadState::kEnd, 2);
  expectRead(file, 8, ReadState::kEnd, 0);

  writeRaw("f.txt", "0123456789");
  testing::FailingReadFile failing(path("f.txt"), 5);
  ASSERT_TRUE(failing.open(File::kReadShared));
  expectRead(failing, 3, ReadState::kData, 3);
  expectRead(failing, 10, ReadState::kFailed, 0);  // not the end after 2 more bytes
}

// A read error part-way through a file is never reported as its end: neither by the line
// reader, nor by the copy and settings reader built on the reads.
TEST_F(FileTest, ReadErrorsAreNeverTakenForTheEndOfTheFile) {
  writeRaw("lines.txt", "first\r\nsecond line\r\n");
  testing::FailingReadFile lines(path("lines.txt"), 10);
  ASSERT_TRUE(lines.open(File::kReadShared));
  Str line;
  ASSERT_EQ(lines.readLine(line), ReadState::kData);
  EXPECT_EQ(line.toStd(), "first");
  EXPECT_EQ(lines.readLine(line), ReadState::kFailed);  // not "second" as a last line
  EXPECT_TRUE(line.empty());

  const std::string big(200000, 'm');  // several copy blocks
  writeRaw("big.txt", big);
  testing::FailingReadFile source(path("big.txt"), 100000);
  File copy(path("copy.txt"));
  ASSERT_TRUE(source.open(File::kReadShared));
  ASSERT_TRUE(copy.open(File::kCreate));
  EXPECT_FALSE(copyFileContents(source, copy));

  // A real file that opens as a regular file and fails on the first read.
  File unreadable{Str(testing::kUnreadableFilePath)};
  ASSERT_TRUE(unreadable.open(File::kReadSharedOnce));
  expectRead(unreadable, 1, ReadState::kFailed, 0);
  EXPECT_EQ(unreadable.readLine(line), ReadState::kFailed);
  IniStore settings{Str(testing::kUnreadableFilePath)};
  EXPECT_FALSE(settings.read());
}

}  // namespace
}  // namespace quillet
