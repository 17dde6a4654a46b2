// The daily statistic files: golden lines, header rule, value cleaning, code page, days.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>

#include "base/Clock.h"
#include "server/runtime/StatisticsCsvFile.h"
#include "server/runtime/StatisticsWriter.h"
#include "tests/support/ClockDriver.h"
#include "tests/support/FileBytes.h"
#include "tests/support/TempDir.h"

namespace quillet {
namespace {

namespace fs = std::filesystem;

using testing::readBytes;

ArraySMTPInfoAddress addresses(std::initializer_list<const char*> list) {
  ArraySMTPInfoAddress result;
  for (const char* address : list) result.add(SMTPInfoAddress(address));
  return result;
}

class StatisticsWriterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = temp_.path();
    options_.writeStatisticFile = true;
    options_.programDirectory = Str(root_.string());
  }

  StatisticsWriter makeWriter() { return StatisticsWriter(options_); }

  static Timer startTime() {
    Timer start = testing::localTime(2026, 12, 7, 23, 59, 58);
    start.time.milliseconds = 500;
    return start;
  }

  testing::TempDir temp_{"quillet-statistics"};
  fs::path root_;
  StatisticsOptions options_;
  TestClock clock_{startTime()};
};

TEST_F(StatisticsWriterTest, WritesOneRowPerRecipientAfterTheHeaderOfANewFile) {
  StatisticsWriter writer = makeWriter();
  ASSERT_TRUE(writer.write(
      StatisticsWriter::kDirectionOutbound, "boss@example.com",
      addresses({"anna@office.local", "bob@office.local", "carl@office.local"}), 4711, ""));
  EXPECT_EQ(readBytes(root_ / "SM261207.CSV"),
            "\"Date\",\"Time\",\"Type\",\"From\",\"To\",\"Bytes\"\r\n"
            "2026-12-07,23:59:58,O,boss@example.com,anna@office.local,4711\r\n"
            "2026-12-07,23:59:58,O,boss@example.com,bob@office.local,4711\r\n"
            "2026-12-07,23:59:58,O,boss@example.com,carl@office.local,4711\r\n");
}

TEST_F(StatisticsWriterTest, HeaderFollowsTheFirstMessageOfTheDayOnly) {
  StatisticsWriter writer = makeWriter();
  ASSERT_TRUE(writer.write("O", "a@x", addresses({"b@y"}), 10, ""));
  ASSERT_TRUE(
      writer.write("O", "c@x", addresses({"d@y"}), 20, "/q/HIST-OUT/2026/12/07/MSG0a3f2.TXT"));
  EXPECT_EQ(readBytes(root_ / "SM261207.CSV"),
            "\"Date\",\"Time\",\"Type\",\"From\",\"To\",\"Bytes\"\r\n"
            "2026-12-07,23:59:58,O,a@x,b@y,10\r\n"
            "2026-12-07,23:59:58,O,c@x,d@y,20,MSG0a3f2.TXT\r\n");

  // The next day's first message is archived: its file gets the seven-column header.
  clock_.advance(std::chrono::milliseconds(2500));
  ASSERT_TRUE(writer.write("O", "e@x", addresses({"f@y"}), 30, "C:\\Q\\HIST-OUT\\MSG00001.TXT"));
  EXPECT_EQ(readBytes(root_ / "SM261208.CSV"),
            "\"Date\",\"Time\",\"Type\",\"From\",\"To\",\"Bytes\",\"File\"\r\n"
            "2026-12-08,00:00:01,O,e@x,f@y,30,MSG00001.TXT\r\n");
}

TEST_F(StatisticsWriterTest, WritesNothingWhenSwitchedOffAndNoHeaderWhenAskedNot) {
  options_.writeStatisticFile = false;
  ASSERT_TRUE(makeWriter().write("O", "a@x", addresses({"b@y"}), 1, ""));
  EXPECT_TRUE(fs::is_empty(root_));

  options_.writeStatisticFile = true;
  options_.writeHeader = false;
  ASSERT_TRUE(makeWriter().write("O", "a@x", addresses({"b@y"}), 1, ""));
  EXPECT_EQ(readBytes(root_ / "SM261207.CSV"), "2026-12-07,23:59:58,O,a@x,b@y,1\r\n");
}

TEST_F(StatisticsWriterTest, UsesTheStatisticPathAndReportsUnwritableOnes) {
  fs::create_directory(root_ / "stats");
  options_.statisticPath = Str((root_ / "stats").string());
  ASSERT_TRUE(makeWriter().write("O", "a@x", addresses({"b@y"}), 1, ""));
  EXPECT_TRUE(fs::exists(root_ / "stats" / "SM261207.CSV"));
  EXPECT_FALSE(fs::exists(root_ / "SM261207.CSV"));

  options_.statisticPath = Str((root_ / "missing").string());
  EXPECT_FALSE(makeWriter().write("O", "a@x", addresses({"b@y"}), 1, ""));
}

TEST_F(StatisticsWriterTest, WritesOemTextUnchangedOrConvertedToAnsi) {
  const Str sender("M\x81ller@example.com");  // u-umlaut in code page 850
  ASSERT_TRUE(makeWriter().write("O", sender, addresses({"b@y"}), 1, ""));
  options_.useAnsi = true;
  options_.writeHeader = false;
  clock_.advance(std::chrono::hours(48));
  ASSERT_TRUE(makeWriter().write("O", sender, addresses({"b@y"}), 1, ""));
  EXPECT_NE(readBytes(root_ / "SM261207.CSV").find("M\x81ller@example.com"), std::string::npos);
  EXPECT_EQ(readBytes(root_ / "SM261209.CSV"),
            "2026-12-09,23:59:58,O,M\xC3\xBCller@example.com,b@y,1\r\n");
}

TEST(CSVFile, CleansValuesInsteadOfQuotingThem) {
  const struct {
    const char* in;
    const char* out;
  } cases[] = {
      {"  plain@x  ", "plain@x"},
      {"\"John Doe\" <jd@x>", "JohnDoe<jd@x>"},
      {"<jd@x>", "jd@x"},
      {"(comment)", "comment"},
      {"<<twice>>", "<twice>"},
      {"\"unbalanced", "unbalanced"},
      {"tab\there\x01\x7f", "tabhere"},
      {"Doe, John <jd@x>", "Doe,John<jd@x>"},
      {"\"\"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(CSVFile::cleanValue(c.in), c.out) << c.in;
}

}  // namespace
}  // namespace quillet
