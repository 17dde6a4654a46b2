// Message output: golden log and screen lines, the dated and current logs across days,
// the purge, logging off, the log directory choice and an unwritable log directory.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "base/Clock.h"
#include "base/ProcessContext.h"
#include "server/runtime/MessageLines.h"
#include "server/runtime/MessageOutput.h"
#include "server/runtime/RunState.h"
#include "tests/support/FileBytes.h"
#include "tests/support/TempDir.h"

namespace quillet {
namespace {

namespace fs = std::filesystem;
using testing::readBytes;
using testing::writeBytes;

Timer at(int year, int month, int day, int hour, int minute, int second) {
  Timer moment;
  moment.date = Date{static_cast<uint16_t>(year), static_cast<uint16_t>(month), 0,
                     static_cast<uint16_t>(day)};
  moment.time = Time{static_cast<uint16_t>(hour), static_cast<uint16_t>(minute),
                     static_cast<uint16_t>(second), 0};
  return moment;
}

TEST(MessageLinesTest, RenderingsAreExact) {
  const Timer moment = at(2026, 12, 7, 9, 5, 3);
  EXPECT_EQ(renderLogLine(moment, "Quillet v3.19 started", true).toStd(),
            "26-12-07 09:05:03 Quillet v3.19 started");
  EXPECT_EQ(renderLogLine(moment, "running on 10.0.0.1", false).toStd(),
            "                  running on 10.0.0.1");
  EXPECT_EQ(renderScreenLine(moment, "Quillet v3.19 started", true).toStd(),
            "09:05 Quillet v3.19 started");
  EXPECT_EQ(renderScreenLine(moment, "Quillet resumes", false).toStd(), "      Quillet resumes");
  EXPECT_EQ(renderLogLine(moment, "", false).toStd(), std::string(18, ' '));
  EXPECT_EQ(renderLogLine(moment, "a\r\nb\nc", true).toStd(), "26-12-07 09:05:03 a  b c");
  EXPECT_EQ(renderScreenLine(moment, "a\rb", false).toStd(), "      a b");

  EXPECT_EQ(threadMessageText(3, "Connecting").toStd(), "0003: Connecting");
  EXPECT_EQ(threadMessageText(0, "Mailing log").toStd(), "0000: Mailing log");
  EXPECT_EQ(threadMessageText(12345, "x").toStd(), "12345: x");
}

TEST(RunStateTest, RequestSetTwiceIsConsumedOnce) {
  RunRequests requests;
  requests.outboundRun.set();
  requests.outboundRun.set();
  EXPECT_TRUE(requests.outboundRun.consume());
  EXPECT_FALSE(requests.outboundRun.consume());
  EXPECT_FALSE(requests.inboundRun.isSet());
}

class MessageOutputTest : public ::testing::Test {
 protected:
  void SetUp() override { options_.programDirectory = Str((root_.string() + "/").c_str()); }

  MessageOutput makeOutput() {
    return MessageOutput(options_,
                         [this](const std::string& line) { plainLines_.push_back(line); });
  }

  testing::TempDir temp_{"message-output"};
  fs::path root_ = temp_.path();
  LogOptions options_;
  TestClock clock_{at(2026, 12, 7, 23, 59, 58)};
  std::vector<std::string> plainLines_;
};

TEST_F(MessageOutputTest, NewDayCreatesDatedLogEmptiesCurrentAndPurges) {
  options_.purgeDays = 7;
  writeBytes(root_ / "STRANDEL.LOG", "yesterday's lines\r\n");
  // Dated logs 6, 7, 8 and 20 days before 2026-12-08 (gaps under 31 days), and one 60 days
  // before (behind a gap of 40 days without logs, so the purge never reaches it).
  for (const char* name : {"STRANDEL261202.LOG", "STRANDEL261201.LOG", "STRANDEL261130.LOG",
                           "STRANDEL261118.LOG", "STRANDEL261009.LOG"}) {
    writeBytes(root_ / name, "old\r\n");
  }
  writeBytes(root_ / "STRANDEL261207.LOG", "26-12-07 23:00:00 earlier\r\n");
  MessageOutput output = makeOutput();

  output.write("last of the day", true);
  EXPECT_EQ(readBytes(root_ / "STRANDEL261207.LOG"),
            "26-12-07 23:00:00 earlier\r\n26-12-07 23:59:58 last of the day\r\n");
  EXPECT_EQ(readBytes(root_ / "STRANDEL.LOG"),
            "yesterday's lines\r\n26-12-07 23:59:58 last of the day\r\n");
  EXPECT_TRUE(fs::exists(root_ / "STRANDEL261130.LOG")) << "no purge within a day";

  clock_.advance(std::chrono::seconds(3));
  output.write("first after midnight", true);
  output.write("details", false);
  const std::string expected =
      "26-12-08 00:00:01 first after midnight\r\n                  details\r\n";
  EXPECT_EQ(readBytes(root_ / "STRANDEL261208.LOG"), expected);
  EXPECT_EQ(readBytes(root_ / "STRANDEL.LOG"), expected);

  EXPECT_TRUE(fs::exists(root_ / "STRANDEL261207.LOG"));
  EXPECT_TRUE(fs::exists(root_ / "STRANDEL261202.LOG")) << "newer than LogFilePurgeDays";
  EXPECT_FALSE(fs::exists(root_ / "STRANDEL261201.LOG"));
  EXPECT_FALSE(fs::exists(root_ / "STRANDEL261130.LOG"));
  EXPECT_FALSE(fs::exists(root_ / "STRANDEL261118.LOG"));
  EXPECT_TRUE(fs::exists(root_ / "STRANDEL261009.LOG")) << "behind a 31-day gap";

  EXPECT_EQ(plainLines_,
            (std::vector<std::string>{"last of the day", "first after midnight", "details"}));
  EXPECT_EQ((fs::status(root_ / "STRANDEL261208.LOG").permissions() & fs::perms::all),
            fs::perms::owner_read | fs::perms::owner_write);
}

TEST_F(MessageOutputTest, PurgeStopsAtTheFirstDayOfTheTimeScale) {
  options_.purgeDays = 3;
  writeBytes(root_ / "STRANDEL940101.LOG", "old\r\n");
  clock_.setLocal(at(1994, 1, 4, 8, 0, 0));
  MessageOutput output = makeOutput();
  output.write("early", true);
  EXPECT_FALSE(fs::exists(root_ / "STRANDEL940101.LOG"));
  EXPECT_TRUE(fs::exists(root_ / "STRANDEL940104.LOG"));
}

TEST_F(MessageOutputTest, DailyLinesForSixWeeksLeaveTheLastPurgeDaysLogs) {
  options_.purgeDays = 7;
  MessageOutput output = makeOutput();
  for (int day = 0; day < 42; ++day) {
    output.write("daily line", true);
    clock_.advance(std::chrono::hours(24));
  }
  // The last line went out on 2027-01-17: its log and the six days before it remain.
  std::vector<std::string> dated;
  for (const fs::directory_entry& entry : fs::directory_iterator(root_)) {
    if (entry.path().filename() != "STRANDEL.LOG") dated.push_back(entry.path().filename());
  }
  std::sort(dated.begin(), dated.end());
  EXPECT_EQ(dated, (std::vector<std::string>{"STRANDEL270111.LOG", "STRANDEL270112.LOG",
                                             "STRANDEL270113.LOG", "STRANDEL270114.LOG",
                                             "STRANDEL270115.LOG", "STRANDEL270116.LOG",
                                             "STRANDEL270117.LOG"}));
  EXPECT_EQ(readBytes(root_ / "STRANDEL.LOG"), "27-01-17 23:59:58 daily line\r\n");
}

TEST_F(MessageOutputTest, WriteLogFileOffWritesNoFile) {
  options_.writeLogFile = false;
  MessageOutput output = makeOutput();
  output.write("shown only", true);
  EXPECT_TRUE(fs::is_empty(root_));
  EXPECT_EQ(plainLines_, std::vector<std::string>{"shown only"});
}

TEST_F(MessageOutputTest, LogPathChoosesTheDirectory) {
  fs::create_directory(root_ / "logs");
  options_.logPath = Str((root_ / "logs").string().c_str());  // no trailing slash
  MessageOutput output = makeOutput();
  output.write("into LogPath", true);
  EXPECT_TRUE(fs::exists(root_ / "logs" / "STRANDEL261207.LOG"));
  EXPECT_TRUE(fs::exists(root_ / "logs" / "STRANDEL.LOG"));
  EXPECT_FALSE(fs::exists(root_ / "STRANDEL.LOG"));
  EXPECT_EQ(output.currentLogPath().toStd(), (root_ / "logs" / "STRANDEL.LOG").string());

  options_.logPath = "   ";  // blank: the program directory
  MessageOutput blank = makeOutput();
  blank.write("into the program directory", true);
  EXPECT_TRUE(fs::exists(root_ / "STRANDEL261207.LOG"));
}

TEST_F(MessageOutputTest, UnwritableLogDirectoryStillShowsMessages) {
  options_.logPath = Str((root_ / "missing" / "deeper").string().c_str());
  MessageOutput output = makeOutput();
  output.write("still visible", true);
  output.write("and this", false);
  EXPECT_EQ(plainLines_, (std::vector<std::string>{"still visible", "and this"}));
  EXPECT_FALSE(fs::exists(root_ / "missing"));
}

TEST_F(MessageOutputTest, BusyDatedLogNeitherStopsTheMessageNorEmptiesTheCurrentLog) {
  writeBytes(root_ / "STRANDEL261207.LOG", "26-12-07 08:00:00 earlier\r\n");
  writeBytes(root_ / "STRANDEL.LOG", "26-12-07 08:00:00 earlier\r\n");
  const int holder = ::open((root_ / "STRANDEL261207.LOG").c_str(), O_RDONLY);
  ASSERT_GE(holder, 0);
  ASSERT_EQ(::flock(holder, LOCK_EX), 0);
  ProcessContext::instance().setFileOpenAttempts(1);
  MessageOutput output = makeOutput();
  output.write("while busy", true);
  ::close(holder);
  output.write("afterwards", true);
  ProcessContext::instance().setFileOpenAttempts(2);

  EXPECT_EQ(plainLines_, (std::vector<std::string>{"while busy", "afterwards"}));
  EXPECT_EQ(readBytes(root_ / "STRANDEL.LOG"),
            "26-12-07 08:00:00 earlier\r\n26-12-07 23:59:58 afterwards\r\n");
}

TEST_F(MessageOutputTest, MessageAreaGetsScreenLinesAndTextBecomesUtf8) {
  struct RecordingArea : MessageAreaSink {
    void showLine(const Str& line) override { lines.push_back(line.toStd()); }
    std::vector<std::string> lines;
  } area;
  MessageOutput output = makeOutput();
  output.setMessageArea(&area);
  output.threadWrite(3, "M\x81ller\r\nok");  // 0x81 is u-umlaut in code page 850
  output.write("continued", false);
  output.setMessageArea(nullptr);
  output.write("plain again", true);

  EXPECT_EQ(area.lines, (std::vector<std::string>{"23:59 0003: M\x81ller  ok", "      continued"}));
  EXPECT_EQ(plainLines_, std::vector<std::string>{"plain again"});
  EXPECT_EQ(readBytes(root_ / "STRANDEL.LOG"),
            "26-12-07 23:59:58 0003: M\xc3\xbcller  ok\r\n"
            "                  continued\r\n"
            "26-12-07 23:59:58 plain again\r\n");
}

TEST_F(MessageOutputTest, LinesOfConcurrentThreadsNeverInterleave) {
  constexpr int kThreads = 4;
  constexpr int kLines = 50;
  MessageOutput output = makeOutput();
  std::vector<std::thread> writers;
  for (int t = 1; t <= kThreads; ++t) {
    writers.emplace_back([&output, t] {
      for (int i = 0; i < kLines; ++i) output.threadWrite(t, Str(std::string(60, 'a' + t)));
    });
  }
  for (std::thread& writer : writers) writer.join();

  std::istringstream log(readBytes(root_ / "STRANDEL.LOG"));
  std::string line;
  int count = 0;
  while (std::getline(log, line)) {
    ++count;
    ASSERT_EQ(line.size(), 18u + 6u + 60u + 1u) << line;  // with the CR before the LF
    const char letter = line[24];
    EXPECT_EQ(line.substr(24, 60), std::string(60, letter));
  }
  EXPECT_EQ(count, kThreads * kLines);
  EXPECT_EQ(readBytes(root_ / "STRANDEL261207.LOG"), readBytes(root_ / "STRANDEL.LOG"));
  EXPECT_EQ(plainLines_.size(), static_cast<size_t>(kThreads * kLines));
}

}  // namespace
}  // namespace quillet
