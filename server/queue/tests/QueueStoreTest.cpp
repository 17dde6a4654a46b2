// The queue store on a real (temporary) program directory.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "base/Clock.h"
#include "base/FileSystem.h"
#include "server/queue/QueueStore.h"
#include "tests/support/FailingReadFile.h"
#include "tests/support/FileBytes.h"
#include "tests/support/TempDir.h"

namespace quillet {
namespace {

namespace fs = std::filesystem;

Timer fixedTime() {
  Timer t;
  t.date = Date{2026, 3, 0, 7};
  t.time = Time{9, 5, 0, 0};
  return t;
}

using testing::readBytes;
using testing::writeBytes;

unsigned modeOf(const fs::path& path) { return testing::fileMode(path.string()); }

class QueueStoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = temp_.path();
    store_ = std::make_unique<QueueStore>(Str(root_.string()), counter_);
    ASSERT_TRUE(store().createQueueDirectories());
  }

  QueueStore& store() { return *store_; }
  fs::path inDir() const { return root_ / "MSG-IN"; }
  fs::path outDir() const { return root_ / "MSG-OUT"; }

  // A complete message file in the queue, created the way producers do.
  Str newMessage(QueueNumber queue, const std::string& body) {
    Str path;
    std::unique_ptr<File> file = store().createMessageFile(queue, path);
    EXPECT_NE(file, nullptr);
    if (!file) return path;
    EXPECT_EQ(file->write(body.data(), static_cast<int>(body.size())),
              static_cast<int>(body.size()));
    EXPECT_TRUE(file->close());
    return path;
  }

  SMTPInfo queuedEntry(QueueNumber queue) {
    SMTPInfo entry;
    ArraySMTPInfoAddress recipients;
    recipients.add(SMTPInfoAddress("anna@office.local"));
    store().initEntry(entry, newMessage(queue, "Subject: hi\r\n\r\nbody\r\n"),
                      SMTPInfoAddress("from@example.com"), recipients, 259200, 2);
    return entry;
  }

  TestClock clock_{fixedTime()};
  testing::TempDir temp_{"quillet-queue"};
  fs::path root_;
  MessageNameCounter counter_;
  std::unique_ptr<QueueStore> store_;
};

TEST_F(QueueStoreTest, CreatesPrivateQueueDirectoriesAndKeepsExistingOnes) {
  EXPECT_EQ(modeOf(inDir()), 0700u);
  EXPECT_EQ(modeOf(outDir()), 0700u);
  writeBytes(inDir() / "keep.TXT", "x");
  EXPECT_TRUE(store().createQueueDirectories());
  EXPECT_TRUE(fs::exists(inDir() / "keep.TXT"));
}

TEST_F(QueueStoreTest, CreatesMessageFilesUnderFreeCounterNames) {
  // A second counter on the same clock predicts the names the store will try.
  MessageNameCounter predictor;
  const std::string first = (MessageNameCounter::formatNumber(predictor.next())).toStd();
  const std::string second = (MessageNameCounter::formatNumber(predictor.next())).toStd();
  writeBytes(inDir() / ("MSG" + first + ".TXT"), "taken");

  Str path;
  std::unique_ptr<File> file = store().createMessageFile(QueueNumber::Inbound, path);
  ASSERT_NE(file, nullptr);
  EXPECT_EQ(path.toStd(), (inDir() / ("MSG" + second + ".TXT")).string());
  EXPECT_EQ(modeOf(path.toStd()), 0600u);
  EXPECT_EQ(readBytes(inDir() / ("MSG" + first + ".TXT")), "taken");
}

TEST_F(QueueStoreTest, ConcurrentCreatorsNeverShareAName) {
  constexpr int kThreads = 4;
  constexpr int kFilesEach = 100;
  std::vector<std::vector<std::string>> created(kThreads);
  std::vector<std::thread> threads;
  threads.reserve(kThreads);
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([this, t, &created] {
      for (int i = 0; i < kFilesEach; ++i) {
        Str path;
        if (store().createMessageFile(QueueNumber::Outbound, path))
          created[t].push_back(path.toStd());
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  std::set<std::string> names;
  for (const auto& list : created) names.insert(list.begin(), list.end());
  EXPECT_EQ(names.size(), static_cast<size_t>(kThreads * kFilesEach));
  EXPECT_EQ(std::distance(fs::directory_iterator(outDir()), fs::directory_iterator()),
            kThreads * kFilesEach);
}

TEST_F(QueueStoreTest, MessageCreationFailsAtOnceWithoutADirectory) {
  Str path = "stale";
  EXPECT_EQ(store().createMessageFileIn(Str((root_ / "missing").string()), path), nullptr);
  EXPECT_TRUE(path.empty());
}

TEST_F(QueueStoreTest, CopiesMessagesByteForByte) {
  std::string body("line one\r\n\0binary\xff\r\n.\r\n", 23);
  body += std::string(200000, 'x');
  writeBytes(root_ / "pickup.eml", body);
  Str path;
  ASSERT_EQ(store().copyIntoNewMessageFile(Str((root_ / "pickup.eml").string()),
                                           QueueNumber::Inbound, path),
            0);
  EXPECT_EQ(readBytes(path.toStd()), body);
  EXPECT_EQ(modeOf(path.toStd()), 0600u);
}

TEST_F(QueueStoreTest, FailedCopiesLeaveNoFileAndReportTheirCode) {
  Str path;
  EXPECT_EQ(
      store().copyIntoNewMessageFile(Str((root_ / "absent").string()), QueueNumber::Inbound, path),
      err::kWriteTempFile);
  EXPECT_TRUE(path.empty());
  EXPECT_TRUE(fs::is_empty(inDir()));

  // A source that opens but cannot be read is not copied as an empty message.
  EXPECT_EQ(
      store().copyIntoNewMessageFile(Str(testing::kUnreadableFilePath), QueueNumber::Inbound, path),
      err::kWriteTempFile);
  EXPECT_TRUE(path.empty());
  EXPECT_TRUE(fs::is_empty(inDir()));

  writeBytes(root_ / "source", "x");
  fs::remove(outDir());
  EXPECT_EQ(
      store().copyIntoNewMessageFile(Str((root_ / "source").string()), QueueNumber::Outbound, path),
      err::kCreateTempFile);
  EXPECT_TRUE(path.empty());
}

TEST_F(QueueStoreTest, WritesAndLoadsIndexFiles) {
  SMTPInfo entry = queuedEntry(QueueNumber::Outbound);
  EXPECT_EQ(entry.queuedAt, toTimestamp(fixedTime().date, fixedTime().time));
  EXPECT_EQ(entry.expiresAt, entry.queuedAt + 259200);
  EXPECT_EQ(entry.priority, 2u);
  ASSERT_TRUE(store().writeIndex(entry, QueueNumber::Outbound));
  EXPECT_EQ(entry.indexFile, indexPathOf(entry.messageFile, QueueNumber::Outbound));
  EXPECT_TRUE(entry.indexFile.toStd().ends_with(".ONX"));
  EXPECT_EQ(modeOf(entry.indexFile.toStd()), 0600u);
  EXPECT_FALSE(fs::exists(temporaryPathFor(entry.indexFile).toStd()));

  SMTPInfo loaded;
  loaded.indexFile = baseNameOf(entry.indexFile);
  ASSERT_EQ(store().loadIndex(loaded, QueueNumber::Outbound), IndexStatus::Loaded);
  EXPECT_EQ(loaded.messageFile, entry.messageFile);
  EXPECT_EQ(loaded.indexFile, entry.indexFile);
  EXPECT_EQ(renderIndexFile(loaded), renderIndexFile(entry));
}

TEST_F(QueueStoreTest, RefusesIndexWithoutMessageFile) {
  SMTPInfo entry;
  EXPECT_FALSE(store().writeIndex(entry, QueueNumber::Inbound));
  entry.messageFile = Str((inDir() / "MSG00009.TXT").string());
  EXPECT_FALSE(store().writeIndex(entry, QueueNumber::Inbound));
  EXPECT_FALSE(fs::exists(inDir() / "MSG00009.INX"));
}

TEST_F(QueueStoreTest, FailedRewriteLeavesTheOldIndexIntact) {
  SMTPInfo entry = queuedEntry(QueueNumber::Outbound);
  ASSERT_TRUE(store().writeIndex(entry, QueueNumber::Outbound));
  const std::string before = readBytes(entry.indexFile.toStd());

  // Something in the way of the temporary file makes the rewrite fail before the rename.
  fs::create_directory(temporaryPathFor(entry.indexFile).toStd());
  entry.tries = 7;
  entry.lastReply = "452 mailbox full";
  EXPECT_FALSE(store().writeIndex(entry, QueueNumber::Outbound));
  EXPECT_EQ(readBytes(entry.indexFile.toStd()), before);

  fs::remove(temporaryPathFor(entry.indexFile).toStd());
  ASSERT_TRUE(store().writeIndex(entry, QueueNumber::Outbound));
  SMTPInfo loaded;
  loaded.indexFile = entry.indexFile;
  ASSERT_EQ(store().loadIndex(loaded, QueueNumber::Outbound), IndexStatus::Loaded);
  EXPECT_EQ(loaded.tries, 7u);
  EXPECT_EQ(loaded.lastReply, "452 mailbox full");
}

TEST_F(QueueStoreTest, RelocatesStoredPathsWithEitherSeparator) {
  writeBytes(outDir() / "MSG00001.TXT", "m1");
  writeBytes(outDir() / "MSG00002.TXT", "m2");
  std::vector<std::string> lines(55);
  lines[12] = "1";
  for (int line : {3, 4, 22, 23, 31, 32, 34, 35}) lines[line - 1] = "0";
  std::string windows, unix;
  lines[0] = "C:\\QUILLET\\MSG-OUT\\MSG00001.ONX";
  lines[1] = "C:\\QUILLET\\MSG-OUT\\MSG00001.TXT";
  for (const std::string& l : lines) windows += l + "\r\n";
  lines[0] = "/old/home/MSG-OUT/MSG00002.ONX";
  lines[1] = "/old/home/MSG-OUT/MSG00002.TXT";
  for (const std::string& l : lines) unix += l + "\r\n";
  writeBytes(outDir() / "MSG00001.ONX", windows);
  writeBytes(outDir() / "MSG00002.ONX", unix);

  for (const char* name : {"MSG00001", "MSG00002"}) {
    SMTPInfo entry;
    entry.indexFile = Str(name) + ".ONX";
    ASSERT_EQ(store().loadIndex(entry, QueueNumber::Outbound), IndexStatus::Loaded) << name;
    EXPECT_EQ(entry.messageFile.toStd(), (outDir() / (std::string(name) + ".TXT")).string());
    EXPECT_EQ(entry.indexFile.toStd(), (outDir() / (std::string(name) + ".ONX")).string());
  }
  EXPECT_EQ(store().relocate("D:\\a/b\\MSG1.TXT", QueueNumber::Inbound).toStd(),
            (inDir() / "MSG1.TXT").string());
  EXPECT_EQ(store().relocate("C:MSG2.TXT", QueueNumber::Inbound).toStd(),
            (inDir() / "MSG2.TXT").string());
}

TEST_F(QueueStoreTest, SkipsBadIndexFilesAndLeavesThemInPlace) {
  writeBytes(inDir() / "MSG00001.TXT", "message");
  std::string complete;
  for (int line = 1; line <= 55; ++line) {
    const bool number = line == 3 || line == 4 || line == 22 || line == 23 || line == 31 ||
                        line == 32 || line == 34 || line == 35;
    complete += line == 2 ? "MSG00001.TXT" : line == 13 ? "1" : number ? "0" : "";
    complete += "\r\n";
  }
  const struct {
    const char* name;
    std::string bytes;
    IndexStatus status;
  } cases[] = {
      {"SHORT.INX", "a\r\nb\r\nc\r\n", IndexStatus::TooShort},
      {"CUT.INX", complete.substr(0, complete.size() / 3), IndexStatus::Incomplete},
      {"NOISE.INX", std::string(100, '\n') + "\x01\x02", IndexStatus::Garbled},
      {"WORDS.INX",
       [&] {
         std::string s = complete;
         s.replace(s.find("TXT\r\n0\r\n"), 8, "TXT\r\nten\r\n");  // queued at
         return s;
       }(),
       IndexStatus::Garbled},
      {"ORPHAN.INX",
       [&] {
         std::string s = complete;
         s.replace(s.find("MSG00001.TXT"), 12, "MSG0dead.TXT");
         return s;
       }(),
       IndexStatus::MessageMissing},
      {"DIRNAME.INX",
       [&] {
         std::string s = complete;
         s.replace(s.find("MSG00001.TXT"), 12, "..");
         return s;
       }(),
       IndexStatus::MessageMissing},
  };
  for (const auto& c : cases) {
    writeBytes(inDir() / c.name, c.bytes);
    SMTPInfo entry;
    entry.indexFile = c.name;
    EXPECT_EQ(store().loadIndex(entry, QueueNumber::Inbound), c.status) << c.name;
    EXPECT_EQ(entry.indexFile, c.name);
    EXPECT_EQ(readBytes(inDir() / c.name), c.bytes) << c.name;
  }
  SMTPInfo missing;
  missing.indexFile = "NOTHERE.INX";
  EXPECT_EQ(store().loadIndex(missing, QueueNumber::Inbound), IndexStatus::Unreadable);

  const fs::path huge = inDir() / "HUGE.INX";
  writeBytes(huge, complete);
  fs::resize_file(huge, QueueStore::kMaxIndexFileBytes + 1);
  SMTPInfo large;
  large.indexFile = "HUGE.INX";
  EXPECT_EQ(store().loadIndex(large, QueueNumber::Inbound), IndexStatus::TooLarge);
  EXPECT_TRUE(fs::exists(huge));
}

TEST_F(QueueStoreTest, ListsIndexFilesIgnoringCase) {
  for (const char* name :
       {"MSG00001.INX", "msg00002.inx", "MSG00003.TXT", "MSG00004.INX.tmp", "XINX"}) {
    writeBytes(inDir() / name, "");
  }
  fs::create_directory(inDir() / "FOLDER.INX");
  ArrayStr names;
  ASSERT_TRUE(store().listIndexFiles(QueueNumber::Inbound, names));
  ASSERT_EQ(names.count(), 2);
  EXPECT_TRUE(names.find("MSG00001.INX") > 0);
  EXPECT_TRUE(names.find("msg00002.inx") > 0);

  ArrayStr outbound;
  ASSERT_TRUE(store().listIndexFiles(QueueNumber::Outbound, outbound));
  EXPECT_EQ(outbound.count(), 0);
  fs::remove(outDir());
  EXPECT_FALSE(store().listIndexFiles(QueueNumber::Outbound, outbound));
}

TEST_F(QueueStoreTest, ClearingDeletesBothFilesOnlyWhenAsked) {
  SMTPInfo kept = queuedEntry(QueueNumber::Inbound);
  ASSERT_TRUE(store().writeIndex(kept, QueueNumber::Inbound));
  kept.tries = 3;
  kept.source = "box";
  const Str keptMessage = kept.messageFile;
  const Str keptIndex = kept.indexFile;
  kept.clear(false);
  EXPECT_TRUE(fs::exists(keptMessage.toStd()));
  EXPECT_TRUE(fs::exists(keptIndex.toStd()));
  EXPECT_TRUE(kept.messageFile.empty());
  EXPECT_TRUE(kept.source.empty());
  EXPECT_TRUE(kept.sender.address.empty());
  EXPECT_EQ(kept.recipients.count(), 0);
  EXPECT_EQ(kept.flags, 0u);
  EXPECT_EQ(kept.tries, 3u);
  EXPECT_EQ(kept.priority, 2u);

  SMTPInfo gone = queuedEntry(QueueNumber::Inbound);
  ASSERT_TRUE(store().writeIndex(gone, QueueNumber::Inbound));
  const Str goneMessage = gone.messageFile;
  const Str goneIndex = gone.indexFile;
  gone.clear(true);
  EXPECT_FALSE(fs::exists(goneMessage.toStd()));
  EXPECT_FALSE(fs::exists(goneIndex.toStd()));
  EXPECT_TRUE(fs::exists(keptMessage.toStd()));
}

TEST_F(QueueStoreTest, ArchivesIntoTheDatedHistoryDirectory) {
  SMTPInfo entry = queuedEntry(QueueNumber::Inbound);
  Str archivePath;
  ASSERT_TRUE(store().archiveMessage(entry, archivePath));
  const fs::path expected =
      root_ / "HIST-OUT" / "2026" / "03" / "07" / baseNameOf(entry.messageFile).toStd();
  EXPECT_EQ(archivePath.toStd(), expected.string());
  EXPECT_EQ(readBytes(expected), readBytes(entry.messageFile.toStd()));
  EXPECT_EQ(modeOf(expected), 0600u);
  EXPECT_EQ(modeOf(root_ / "HIST-OUT" / "2026" / "03"), 0700u);
  ASSERT_TRUE(store().archiveMessage(entry, archivePath));  // a second copy replaces the first

  SMTPInfo lost;
  lost.messageFile = Str((inDir() / "MSG0dead.TXT").string());
  EXPECT_FALSE(store().archiveMessage(lost, archivePath));
  EXPECT_TRUE(archivePath.empty());

  // A message that fails to read leaves no archived copy, not even a short one.
  SMTPInfo unreadable;
  unreadable.messageFile = Str(testing::kUnreadableFilePath);
  EXPECT_FALSE(store().archiveMessage(unreadable, archivePath));
  EXPECT_TRUE(archivePath.empty());
  EXPECT_EQ(std::distance(fs::directory_iterator(expected.parent_path()), {}), 1);
}

}  // namespace
}  // namespace quillet
