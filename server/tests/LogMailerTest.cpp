// The log mailing: the receivers (SendLogFileTo, else the Postmaster), the two log lines,
// one queued message to every receiver with strandel.zip holding the log under its own
// name and time, deflated; the plain log when the archive cannot be made; a log that is
// gone, and no receiver at all.
#include <gtest/gtest.h>
#include <minizip/unzip.h>

#include <filesystem>

#include "base/FileNames.h"
#include "decode/SMTPDecode.h"
#include "server/LogArchive.h"
#include "server/LogMailer.h"
#include "tests/support/FileBytes.h"
#include "tests/support/TempDir.h"

namespace quillet::testing {
namespace {

namespace fs = std::filesystem;

// The one member of a zip archive: its name, content, method and time.
struct ZipMember {
  std::string name;
  std::string content;
  int method = -1;
  tm_unz date{};
  int members = 0;
};

ZipMember readZip(const std::string& path) {
  ZipMember member;
  unzFile zip = unzOpen64(path.c_str());
  EXPECT_NE(zip, nullptr) << path;
  if (zip == nullptr) return member;
  unz_global_info64 global{};
  EXPECT_EQ(unzGetGlobalInfo64(zip, &global), UNZ_OK);
  member.members = static_cast<int>(global.number_entry);
  EXPECT_EQ(unzGoToFirstFile(zip), UNZ_OK);
  unz_file_info64 info{};
  char name[256] = {};
  EXPECT_EQ(unzGetCurrentFileInfo64(zip, &info, name, sizeof name, nullptr, 0, nullptr, 0), UNZ_OK);
  member.name = name;
  member.method = static_cast<int>(info.compression_method);
  member.date = info.tmu_date;
  EXPECT_EQ(unzOpenCurrentFile(zip), UNZ_OK);
  char block[4096];
  for (int got; (got = unzReadCurrentFile(zip, block, sizeof block)) > 0;) {
    member.content.append(block, static_cast<size_t>(got));
  }
  EXPECT_EQ(unzCloseCurrentFile(zip), UNZ_OK);  // checks the CRC
  unzClose(zip);
  return member;
}

class LogMailing : public ::testing::Test {
 protected:
  LogMailing() : store_(Str(dir_.path() + "/")) {
    EXPECT_TRUE(store_.createQueueDirectories());
    settings_.postmaster = "admin@office.test";
    settings_.programDirectory = Str(dir_.path() + "/");
    settings_.localHostName = "mail.office.test";
    settings_.mailer = "Quillet";
    std::string log;
    for (int i = 0; i < 2000; ++i) log += "08.12.26 14:05:09 line " + std::to_string(i) + "\r\n";
    log_ = log;
    EXPECT_TRUE(writeBytes(logPath(), log_));
  }

  std::string logPath() const { return dir_.file("STRANDEL.LOG"); }

  bool mail() {
    const LogMailer mailer(
        settings_, store_, [this](const Str& text) { lines_.push_back(text.toStd()); },
        [this](const SMTPInfo& entry) { queued_.push_back(entry); });
    return mailer.mail(Str(logPath()));
  }

  // The attachments of the one queued message, read back by our parser.
  ParseResult queuedMessage() {
    ParseResult result;
    EXPECT_EQ(queued_.size(), 1U);
    if (queued_.size() != 1) return result;
    DecodeOptions options;
    options.writeAttachments = true;
    options.tempDirectory = Str(dir_.path() + "/");
    EXPECT_EQ(SMTPDecode(options).parseFile(queued_[0].messageFile, result), 0);
    return result;
  }

  TempDir dir_;
  QueueStore store_;
  LogMailSettings settings_;
  std::string log_;
  std::vector<std::string> lines_;
  std::vector<SMTPInfo> queued_;
};

TEST_F(LogMailing, TwoReceiversGetOneMessageWithTheZippedLog) {
  settings_.sendTo.add("Office Admin <it@office.test>");
  settings_.sendTo.add("boss@office.test");
  ASSERT_TRUE(mail());
  EXPECT_EQ(lines_, (std::vector<std::string>{"Sending logfile to it@office.test",
                                              "Logfile sent to it@office.test"}));
  const SMTPInfo& entry = queued_.at(0);
  EXPECT_EQ(entry.sender.address.toStd(), "admin@office.test");
  ASSERT_EQ(entry.recipients.count(), 2);
  EXPECT_EQ(entry.recipients[1].address.toStd(), "it@office.test");
  EXPECT_EQ(entry.recipients[2].address.toStd(), "boss@office.test");
  EXPECT_TRUE(fs::exists(entry.indexFile.toStd()));

  const ParseResult message = queuedMessage();
  EXPECT_EQ(message.subject.toStd(), "Log File");
  ASSERT_EQ(message.to.count(), 2);
  ASSERT_EQ(message.from.count(), 1);
  EXPECT_EQ(message.from[1].address.toStd(), "admin@office.test");
  const Attachment* zip = nullptr;
  for (const Attachment& attachment : message.attachments) {
    if (attachment.name.toStd() == "strandel.zip") zip = &attachment;
  }
  ASSERT_NE(zip, nullptr);
  const ZipMember member = readZip(zip->path.toStd());
  EXPECT_EQ(member.members, 1);
  EXPECT_EQ(member.name, "STRANDEL.LOG");
  EXPECT_EQ(member.method, Z_DEFLATED);
  EXPECT_EQ(member.content, log_);
  Date date;
  Time time;
  ASSERT_TRUE(fileLastWrite(Str(logPath()), date, time));
  EXPECT_EQ(member.date.tm_year, date.year);
  EXPECT_EQ(member.date.tm_mon + 1, date.month);
  EXPECT_EQ(member.date.tm_mday, date.day);
  EXPECT_EQ(member.date.tm_hour, time.hour);
  EXPECT_EQ(member.date.tm_min, time.minute);
  EXPECT_EQ(member.date.tm_sec / 2, time.second / 2);  // zip times have two-second steps
  // The archive stays in the program directory, readable by its owner only.
  EXPECT_EQ(fileMode(dir_.file(kLogArchiveName)), 0600U);
}

TEST_F(LogMailing, ThePostmasterGetsTheLogWhenNoReceiverIsSet) {
  settings_.sendTo.add("  ");
  settings_.sendTo.add("not an address");
  ASSERT_TRUE(mail());
  EXPECT_EQ(lines_.front(), "Sending logfile to admin@office.test");
  ASSERT_EQ(queued_.at(0).recipients.count(), 1);
  EXPECT_EQ(queued_[0].recipients[1].address.toStd(), "admin@office.test");
}

TEST_F(LogMailing, APlainLogIsAttachedWhenTheArchiveCannotBeMade) {
  fs::create_directory(dir_.file(kLogArchiveName));  // the archive's name is taken
  ASSERT_TRUE(mail());
  EXPECT_EQ(lines_, (std::vector<std::string>{"Sending logfile to admin@office.test",
                                              "Error: Failed to create zip file from logfile",
                                              "Logfile sent to admin@office.test"}));
  const ParseResult message = queuedMessage();
  bool found = false;
  for (const Attachment& attachment : message.attachments) {
    if (attachment.name.toStd() != "STRANDEL.LOG") continue;
    found = true;
    EXPECT_EQ(readBytes(attachment.path.toStd()), log_);
  }
  EXPECT_TRUE(found);
}

TEST_F(LogMailing, AMissingLogOrNoReceiverIsReportedAndQueuesNothing) {
  ASSERT_TRUE(fs::remove(logPath()));
  EXPECT_FALSE(mail());
  ASSERT_EQ(lines_.size(), 3U);
  EXPECT_EQ(lines_[1], "Error: Failed to create zip file from logfile");
  EXPECT_EQ(lines_[2].rfind("Error: Unable to queue the logfile mail: ", 0), 0U) << lines_[2];
  EXPECT_TRUE(queued_.empty());
  EXPECT_FALSE(fs::exists(dir_.file(kLogArchiveName)));
  EXPECT_TRUE(fs::is_empty(dir_.file("MSG-OUT")));

  lines_.clear();
  settings_.postmaster = "";
  EXPECT_FALSE(mail());
  EXPECT_EQ(lines_, (std::vector<std::string>{
                        "Error: No receiver for the logfile (SendLogFileTo and Postmaster are "
                        "empty)"}));
}

TEST(LogArchive, AnEmptyLogGivesAnArchiveWithOneEmptyMember) {
  TempDir dir;
  ASSERT_TRUE(writeBytes(dir.file("STRANDEL.LOG"), ""));
  ASSERT_TRUE(writeLogArchive(dir.str("STRANDEL.LOG"), dir.str("strandel.zip")));
  const ZipMember member = readZip(dir.file("strandel.zip"));
  EXPECT_EQ(member.name, "STRANDEL.LOG");
  EXPECT_EQ(member.content, "");
}

}  // namespace
}  // namespace quillet::testing
