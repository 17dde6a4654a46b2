// Tests of the settings item and store: value flags and copies, lookup by name, the file
// syntax and typed conversions of read(), damaged and oversized files, the rewrite by
// write() and the changed-since-read test.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <iterator>
#include <string>

#include "base/File.h"
#include "base/IniItem.h"
#include "base/IniStore.h"
#include "base/ProcessContext.h"
#include "tests/support/FileBytes.h"
#include "tests/support/TempDir.h"

namespace quillet {
namespace {

namespace fs = std::filesystem;

using testing::readBytes;
using testing::TempDir;
using testing::writeBytes;

// A store with a few keys of the server, each type once, and a given file.
class SettingsFile : public ::testing::Test {
 protected:
  void SetUp() override {
    store_ = std::make_unique<IniStore>(Str(dir_.file("QUILLET.INI").c_str()));
  }

  void registerServerKeys(bool verboseDefault = true) {
    store_->registerString("Postmaster", "");
    store_->registerBoolean("Verbose", verboseDefault);
    store_->registerList("SendLogFileTo", kIniTrim);
    store_->registerInteger("Interval", 60);
    store_->registerString("SmartHost", "localhost", kIniTrim);
    store_->registerList("ExchInboundDomain", kIniLowerCase | kIniTrim);
  }

  // Writes the settings file and reads it into the store.
  bool readFile(const std::string& contents) {
    writeBytes(path(), contents);
    return store_->read();
  }

  std::string path() const { return dir_.file("QUILLET.INI"); }

  TempDir dir_;
  std::unique_ptr<IniStore> store_;
};

// --- IniItem ---

TEST(IniItemTest, NameIsTrimmedAndDefaultsToUnKnown) {
  EXPECT_EQ(IniItem("  Verbose ").name().toStd(), "Verbose");
  EXPECT_EQ(IniItem().name().toStd(), "UnKnown");
  EXPECT_EQ(IniItem("   ").name().toStd(), "UnKnown");
  EXPECT_EQ(IniItem().type(), IniType::None);
  EXPECT_FALSE(IniItem().hasValue());
}

TEST(IniItemTest, FlagsApplyInOrderToValuesButNotDefaults) {
  IniItem upperThenLower("Key", kIniUpperCase | kIniLowerCase | kIniTrim);
  upperThenLower.setString("  MiXed Case  ");
  EXPECT_EQ(upperThenLower.stringValue().toStd(), "mixed case");

  IniItem upper("Key", kIniUpperCase);
  upper.setString(" abc ");
  upper.setDefaultString(" abc ");
  EXPECT_EQ(upper.stringValue().toStd(), " ABC ");
  EXPECT_EQ(upper.defaultString().toStd(), " abc ");

  IniItem list("Domains", kIniLowerCase | kIniTrim);
  ArrayStr entries;
  entries.add(Str(" Example.COM "));
  list.setList(entries);
  list.appendToList(Str("  Other.ORG"));
  ASSERT_EQ(list.listValue().count(), 2);
  EXPECT_EQ(list.listValue()[1].toStd(), "example.com");
  EXPECT_EQ(list.listValue()[2].toStd(), "other.org");
}

TEST(IniItemTest, CopyIsDeep) {
  IniItem original("List");
  original.appendToList("one");
  original.setDefaultList(original.listValue());
  IniItem copy(original);
  copy.appendToList("two");
  EXPECT_EQ(original.listValue().count(), 1);
  EXPECT_EQ(copy.listValue().count(), 2);
  EXPECT_TRUE(original.valueEqualsDefault());
  EXPECT_FALSE(copy.valueEqualsDefault());
  EXPECT_EQ(copy.name().toStd(), "List");
  // Setting a value of another kind changes the type and drops the list.
  copy.setLongInteger(-7);
  EXPECT_EQ(copy.type(), IniType::LongInteger);
  EXPECT_EQ(copy.numberValue(), -7);
  EXPECT_EQ(copy.listValue().count(), 0);
}

// --- lookup ---

TEST_F(SettingsFile, FindIsOneBasedIgnoresCaseAndNeedsTheSameLength) {
  registerServerKeys();
  EXPECT_EQ(store_->find("Postmaster"), 1);
  EXPECT_EQ(store_->find("VERBOSE"), 2);
  EXPECT_EQ(store_->find("smarthost"), 5);
  EXPECT_EQ(store_->find("Verbos"), 0);
  EXPECT_EQ(store_->find("VerboseTransfer"), 0);
  EXPECT_EQ(store_->find(""), 0);
  EXPECT_EQ(store_->registerInteger("verbose", 5), 7);
  EXPECT_EQ(store_->find("Verbose"), 2);  // the first registration wins
  EXPECT_EQ(store_->item(2).type(), IniType::Boolean);
  EXPECT_EQ(store_->string("SmartHost").toStd(), "localhost");
  EXPECT_EQ(store_->integer("Interval"), 60);
  EXPECT_TRUE(store_->string("NoSuchKey").empty());
  EXPECT_EQ(store_->integer("NoSuchKey"), 0);
  EXPECT_FALSE(store_->boolean("NoSuchKey"));
  EXPECT_EQ(store_->list("NoSuchKey").count(), 0);
}

// --- read ---

TEST_F(SettingsFile, BooleanIsTrueOnlyForTrueOrOneInAnyCase) {
  struct Case {
    const char* line;
    bool defaultValue;
    bool expected;
  };
  const Case cases[] = {
      {"  Verbose  =  TRUE  \r\n", false, true},
      {"Verbose=true\r\n", false, true},
      {"Verbose=True\r\n", false, true},
      {"verbose=1\r\n", false, true},
      {"Verbose=yes\r\n", true, false},
      {"Verbose=0\r\n", true, false},
      {"Verbose=\r\n", true, false},
      {"Verbose=TRUE1\r\n", true, false},
      {"; Verbose=FALSE\r\n", true, true},   // comment
      {"  ;Verbose=FALSE\r\n", true, true},  // comment after spaces
  };
  for (const Case& c : cases) {
    store_ = std::make_unique<IniStore>(Str(path().c_str()));
    registerServerKeys(c.defaultValue);
    ASSERT_TRUE(readFile(c.line));
    EXPECT_EQ(store_->boolean("Verbose"), c.expected) << c.line;
  }
}

TEST_F(SettingsFile, IntegerReadsLikeAtol) {
  const std::pair<const char*, int32_t> cases[] = {
      {"15min", 15}, {"abc", 0}, {"-5", -5}, {"+7", 7}, {"", 0}, {"99999999999999", INT32_MAX},
  };
  for (const auto& [text, expected] : cases) {
    store_ = std::make_unique<IniStore>(Str(path().c_str()));
    registerServerKeys();
    ASSERT_TRUE(readFile(std::string("Interval=") + text + "\r\n"));
    EXPECT_EQ(store_->integer("Interval"), expected) << text;
  }
}

TEST_F(SettingsFile, LaterLineWinsButListsCollectInFileOrder) {
  registerServerKeys();
  ASSERT_TRUE(
      readFile("Postmaster=first@example.com\r\n"
               "SendLogFileTo= admin@example.com \r\n"
               "ExchInboundDomain=Example.COM\r\n"
               "POSTMASTER=second@example.com\r\n"
               "sendlogfileto=boss@example.com\r\n"
               "ExchInboundDomain=  Other.Example.ORG\r\n"));
  EXPECT_EQ(store_->string("Postmaster").toStd(), "second@example.com");
  const ArrayStr& logTo = store_->list("SendLogFileTo");
  ASSERT_EQ(logTo.count(), 2);
  EXPECT_EQ(logTo[1].toStd(), "admin@example.com");
  EXPECT_EQ(logTo[2].toStd(), "boss@example.com");
  const ArrayStr& domains = store_->list("ExchInboundDomain");
  ASSERT_EQ(domains.count(), 2);
  EXPECT_EQ(domains[1].toStd(), "example.com");
  EXPECT_EQ(domains[2].toStd(), "other.example.org");
}

TEST_F(SettingsFile, MalformedAndUnknownLinesAreSkipped) {
  registerServerKeys();
  ASSERT_TRUE(
      readFile("[Settings]\r\n"
               "=Postmaster\r\n"
               "Postmaster\r\n"
               "Unregistered=1\r\n"
               "Interval 30\r\n"
               "\r\n"
               "SmartHost =  mail.example.com = relay  \r\n"));
  EXPECT_TRUE(store_->string("Postmaster").empty());
  EXPECT_EQ(store_->integer("Interval"), 60);
  // Split at the first "=": the value keeps the second one.
  EXPECT_EQ(store_->string("SmartHost").toStd(), "mail.example.com = relay");
}

TEST_F(SettingsFile, EveryLineTerminatorEndsALine) {
  registerServerKeys();
  ASSERT_TRUE(
      readFile("Postmaster=a@b.c\rInterval=5\nVerbose=0\r\nSmartHost=host\x1A"
               "ExchInboundDomain=last.example"));
  EXPECT_EQ(store_->string("Postmaster").toStd(), "a@b.c");
  EXPECT_EQ(store_->integer("Interval"), 5);
  EXPECT_FALSE(store_->boolean("Verbose"));
  EXPECT_EQ(store_->string("SmartHost").toStd(), "host");
  ASSERT_EQ(store_->list("ExchInboundDomain").count(), 1);
  EXPECT_EQ(store_->list("ExchInboundDomain")[1].toStd(), "last.example");
}

TEST_F(SettingsFile, MissingFileKeepsDefaultsAndReturnsFalse) {
  registerServerKeys();
  EXPECT_FALSE(store_->read());
  EXPECT_EQ(store_->string("SmartHost").toStd(), "localhost");
  EXPECT_EQ(store_->integer("Interval"), 60);
  EXPECT_TRUE(store_->boolean("Verbose"));
}

TEST_F(SettingsFile, DirectoryInsteadOfFileKeepsDefaults) {
  registerServerKeys();
  fs::create_directory(path());
  EXPECT_FALSE(store_->read());
  EXPECT_EQ(store_->string("SmartHost").toStd(), "localhost");
}

TEST_F(SettingsFile, LinesWithNulBytesAreSkippedTheRestIsRead) {
  registerServerKeys();
  std::string junk("Postmaster=evil\0@example.com\r\n", 30);
  junk += std::string("\0\0\0\xFF\xFE\r\n", 7);
  junk += "Interval=30\r\n";
  ASSERT_TRUE(readFile(junk));
  EXPECT_TRUE(store_->string("Postmaster").empty());
  EXPECT_EQ(store_->integer("Interval"), 30);
}

TEST_F(SettingsFile, OverlongLineIsSkippedWholeWithoutItsPieces) {
  registerServerKeys();
  // The file layer cuts the line; the piece that starts "Postmaster=" after the cut must
  // not be taken for a line of its own.
  std::string line = "SmartHost=" + std::string(File::kMaxLineLength - 10, 'x') + "Postmaster=evil";
  ASSERT_TRUE(readFile(line + "\r\nInterval=30\r\n"));
  EXPECT_EQ(store_->string("SmartHost").toStd(), "localhost");
  EXPECT_TRUE(store_->string("Postmaster").empty());
  EXPECT_EQ(store_->integer("Interval"), 30);
}

TEST_F(SettingsFile, ReadingStopsAtTheSizeLimit) {
  registerServerKeys();
  std::string lines;
  const std::string entry = "SendLogFileTo=someone@example.com\r\n";
  while (lines.size() <= static_cast<size_t>(IniStore::kMaxSettingsFileBytes)) lines += entry;
  lines += "Postmaster=late@example.com\r\n";
  std::string message;
  ProcessContext::instance().setMessageSink(
      [&message](const std::string& line) { message = line; });
  ASSERT_TRUE(readFile(lines));
  ProcessContext::instance().setMessageSink({});
  EXPECT_TRUE(store_->string("Postmaster").empty());
  // Every line that ends within the limit is used.
  EXPECT_EQ(store_->list("SendLogFileTo").count(),
            static_cast<int>(IniStore::kMaxSettingsFileBytes / entry.size()));
  EXPECT_NE(message.find("the rest is ignored"), std::string::npos) << message;
}

TEST_F(SettingsFile, OemTextIsHeldAsItStandsAndConvertsBothWays) {
  registerServerKeys();
  // CP850: 0x81 is u-umlaut, 0x82 e-acute.
  ASSERT_TRUE(readFile("Postmaster=J\x81rgen.Caf\x82@example.com\r\n"));
  Str value = store_->string("Postmaster");
  EXPECT_EQ(value.toStd(), "J\x81rgen.Caf\x82@example.com");
  Str utf8 = value.oemToAnsiCopy();
  EXPECT_EQ(utf8.toStd(), "J\xC3\xBCrgen.Caf\xC3\xA9@example.com");
  EXPECT_TRUE(utf8.ansiToOemCopy().equals(value));
}

// --- write ---

TEST_F(SettingsFile, WriteAfterReadingOnlyDefaultsGivesAnEmptyFile) {
  registerServerKeys();
  ASSERT_TRUE(readFile(
      "; only defaults\r\nVerbose=True\r\nInterval=60\r\nSmartHost=localhost\r\nOther=1\r\n"));
  ASSERT_TRUE(store_->write());
  EXPECT_EQ(readBytes(path()), "");
}

TEST_F(SettingsFile, WriteGivesChangedValuesInRegistrationOrderWithCrLf) {
  registerServerKeys();
  store_->registerBoolean("Pickup", false);
  ASSERT_TRUE(
      readFile("Pickup=1\r\n"
               "ExchInboundDomain=b.example\r\n"
               "Interval=15\r\n"
               "Verbose=no\r\n"
               "ExchInboundDomain=a.example\r\n"
               "Postmaster=pm@example.com\r\n"));
  ASSERT_TRUE(store_->write());
  EXPECT_EQ(readBytes(path()),
            "Postmaster=pm@example.com\r\n"
            "Verbose=False\r\n"
            "Interval=15\r\n"
            "ExchInboundDomain=b.example\r\n"
            "ExchInboundDomain=a.example\r\n"
            "Pickup=True\r\n");
  struct stat info {};
  ASSERT_EQ(::stat(path().c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
  EXPECT_FALSE(fs::exists(path() + ".tmp"));

  // Written values read back the same.
  IniStore again(Str(path().c_str()));
  again.registerBoolean("Verbose", false);
  again.registerList("ExchInboundDomain");
  again.registerString("Postmaster", "");
  ASSERT_TRUE(again.read());
  EXPECT_FALSE(again.boolean("Verbose"));
  EXPECT_EQ(again.string("Postmaster").toStd(), "pm@example.com");
  EXPECT_EQ(again.list("ExchInboundDomain").count(), 2);
}

TEST_F(SettingsFile, WriteRefusesValuesThatWouldBreakTheLineAndKeepsTheOldFile) {
  registerServerKeys();
  ASSERT_TRUE(readFile("Postmaster=pm@example.com\r\n"));
  for (const std::string& bad : {std::string("x\r\nSmartHost=evil"), std::string("x\nY"),
                                 std::string("a\0b", 3), std::string("a\x1A")}) {
    IniStore store(Str(path().c_str()));
    store.registerString("Postmaster", "");
    store.registerList("SendLogFileTo");
    ASSERT_TRUE(store.read());
    store.item(1).setString(Str(std::string_view(bad)));
    EXPECT_FALSE(store.write());
    store.item(1).setString("pm2@example.com");
    store.item(2).appendToList(Str(std::string_view(bad)));
    EXPECT_FALSE(store.write());
    EXPECT_EQ(readBytes(path()), "Postmaster=pm@example.com\r\n");
    EXPECT_FALSE(fs::exists(path() + ".tmp"));
  }
}

TEST_F(SettingsFile, WriteIntoAMissingDirectoryFails) {
  IniStore store(Str(dir_.file("missing/QUILLET.INI").c_str()));
  store.registerInteger("Interval", 60);
  store.item(1).setInteger(5);
  EXPECT_FALSE(store.write());
  EXPECT_FALSE(IniStore("").write());
}

// --- changedSinceRead ---

TEST_F(SettingsFile, ChangedSinceReadFollowsTheFileTime) {
  registerServerKeys();
  EXPECT_FALSE(store_->changedSinceRead());  // nothing read yet
  ASSERT_TRUE(readFile("Interval=30\r\n"));
  EXPECT_FALSE(store_->changedSinceRead());
  EXPECT_FALSE(store_->changedSinceRead());

  writeBytes(path(), "Interval=45\r\n");
  fs::last_write_time(path(), fs::last_write_time(path()) + std::chrono::seconds(5));
  EXPECT_TRUE(store_->changedSinceRead());
  EXPECT_TRUE(store_->changedSinceRead());  // asking does not record

  fs::remove(path());
  EXPECT_FALSE(store_->changedSinceRead());
}

TEST_F(SettingsFile, FileCreatedAfterAMissingReadCountsAsChanged) {
  registerServerKeys();
  ProcessContext::instance().setCheckBeforeFileOpen(true);  // no retry wait for the missing file
  EXPECT_FALSE(store_->read());
  ProcessContext::instance().setCheckBeforeFileOpen(false);
  EXPECT_FALSE(store_->changedSinceRead());
  writeBytes(path(), "Interval=45\r\n");
  EXPECT_TRUE(store_->changedSinceRead());
  EXPECT_FALSE(IniStore("").changedSinceRead());
}

}  // namespace
}  // namespace quillet
