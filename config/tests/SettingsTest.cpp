// The server's settings: the key table as registered, defaults of an empty file, value
// flags, and the passwords descrambled from it.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <utility>

#include "base/Password.h"
#include "base/ProcessContext.h"
#include "config/ServerSettings.h"
#include "config/SettingsPasswords.h"
#include "tests/support/DataFileRecords.h"
#include "tests/support/FileBytes.h"
#include "tests/support/ServerSettingsFile.h"
#include "tests/support/TempDir.h"

namespace quillet {
namespace {

class SettingsTest : public ::testing::Test {
 protected:
  // Settings read from a file with the given lines (CR LF, as Helmcrest writes them).
  ServerSettings& readSettings(const std::string& lines) { return file_.read(lines); }

  testing::ServerSettingsFile file_;
};

TEST_F(SettingsTest, KeyTableIsRegisteredInOrderWithUniqueNames) {
  ServerSettings settings(file_.path());
  const IniStore& store = settings.store();
  ASSERT_EQ(store.count(), kServerKeyCount);
  EXPECT_EQ(kServerKeyCount, 82);
  std::set<std::string> names;
  for (int index = 1; index <= store.count(); ++index) {
    const ServerKey key = static_cast<ServerKey>(index - 1);
    EXPECT_EQ(store.item(index).name(), serverKeyName(key));
    EXPECT_EQ(store.find(serverKeyName(key)), index) << serverKeyName(key);
    EXPECT_EQ(store.item(index).type(), serverKeyDefinition(key).type);
    names.insert(serverKeyName(key));
  }
  EXPECT_EQ(names.size(), static_cast<size_t>(kServerKeyCount));
  // Enum entries and table rows line up (sampled through the table).
  const std::pair<ServerKey, const char*> samples[] = {
      {ServerKey::Postmaster, "Postmaster"},
      {ServerKey::SendLogFileTo, "SendLogFileTo"},
      {ServerKey::SmartHost, "SmartHost"},
      {ServerKey::ExchInboundDomain, "ExchInboundDomain"},
      {ServerKey::DialUpOutboundPassword, "DialUpOutboundPassword"},
      {ServerKey::SOCKSHostTyp, "SOCKSHostTyp"},
      {ServerKey::VirusScannerExitCode, "VirusScannerExitCode"},
      {ServerKey::POPDecodeAddField, "POPDecodeAddField"},
      {ServerKey::ThreadStartupDelay, "ThreadStartupDelay"},
  };
  for (const auto& [key, name] : samples) EXPECT_STREQ(serverKeyName(key), name);
  EXPECT_EQ(store.item(1).name(), "Postmaster");
  EXPECT_EQ(store.item(80).name(), "IniWizard");
  EXPECT_EQ(store.item(81).name(), "TLSTrustFile");
  EXPECT_EQ(store.item(82).name(), "OutboundSTARTTLS");
}

TEST_F(SettingsTest, MissingOrEmptyFileGivesEveryDefault) {
  ServerSettings missing(file_.path());
  ProcessContext::instance().setFileOpenAttempts(1);  // no one-second retry
  EXPECT_FALSE(missing.read());
  ProcessContext::instance().setFileOpenAttempts(2);
  ServerSettings& empty = readSettings("");
  for (const ServerSettings* settings : {&missing, &empty}) {
    EXPECT_TRUE(settings->string(ServerKey::Postmaster).empty());
    EXPECT_EQ(settings->string(ServerKey::SmartHost), "localhost");
    EXPECT_EQ(settings->string(ServerKey::VirusScannerExitCode), "X");
    EXPECT_TRUE(settings->string(ServerKey::TLSTrustFile).empty());
    EXPECT_EQ(settings->integer(ServerKey::Interval), 60);
    EXPECT_EQ(settings->integer(ServerKey::SMTPOutboundPort), 25);
    EXPECT_EQ(settings->integer(ServerKey::POPInboundPort), 110);
    EXPECT_EQ(settings->integer(ServerKey::SMTPOutboundNormalExpire), 259200);
    EXPECT_EQ(settings->integer(ServerKey::SMTPOutboundNormalNextTry), 900);
    EXPECT_EQ(settings->integer(ServerKey::OutboundSTARTTLS), 1);
    EXPECT_EQ(settings->integer(ServerKey::InboundPOP3MaxMessages), 10);
    EXPECT_EQ(settings->integer(ServerKey::POPDecodeTyp), 3);
    EXPECT_EQ(settings->integer(ServerKey::POPDecodeRecvForPos), 1);
    EXPECT_EQ(settings->integer(ServerKey::PickupEvery), 60);
    EXPECT_EQ(settings->integer(ServerKey::ThreadStartupDelay), 10);
    EXPECT_TRUE(settings->boolean(ServerKey::WriteLogFile));
    EXPECT_TRUE(settings->boolean(ServerKey::CheckDupPOP3Msg));
    EXPECT_TRUE(settings->boolean(ServerKey::IniWizard));
    EXPECT_FALSE(settings->boolean(ServerKey::DialUpOutbound));
    EXPECT_FALSE(settings->boolean(ServerKey::KeepMessageFile));
    EXPECT_EQ(settings->list(ServerKey::ExchInboundDomain).count(), 0);
    EXPECT_EQ(settings->list(ServerKey::SendLogFileTo).count(), 0);
  }
}

TEST_F(SettingsTest, ValueFlagsTrimAndLowerCase) {
  ServerSettings& settings = readSettings(
      "SmartHost=   mail.office.lan   \r\n"
      "ExchInboundDomain=Example.COM\r\n"
      "exchinbounddomain= Sub.Example.Org \r\n"
      "SendLogFileTo=  Admin@Example.com \r\n"
      "Postmaster=Postmaster@Example.com\r\n"
      "UnknownKey=1\r\n");
  EXPECT_EQ(settings.string(ServerKey::SmartHost), "mail.office.lan");
  const ArrayStr& domains = settings.list(ServerKey::ExchInboundDomain);
  ASSERT_EQ(domains.count(), 2);
  EXPECT_EQ(domains[1], "example.com");
  EXPECT_EQ(domains[2], "sub.example.org");
  ASSERT_EQ(settings.list(ServerKey::SendLogFileTo).count(), 1);
  EXPECT_EQ(settings.list(ServerKey::SendLogFileTo)[1], "Admin@Example.com");   // trim only
  EXPECT_EQ(settings.string(ServerKey::Postmaster), "Postmaster@Example.com");  // no flags
}

TEST_F(SettingsTest, MailHostPasswordIsDescrambledWithItsKey) {
  ServerSettings& settings = readSettings(
      "OutboundExchAuthPassword=" + scramble("mail pass", kOutboundExchAuthPasswordKey).toStd() +
      "\r\n");
  EXPECT_EQ(prepareOutboundAuthPassword(settings), "mail pass");
  EXPECT_EQ(prepareSettingsPassword("plain", kOutboundExchAuthPasswordKey), "");
}

}  // namespace
}  // namespace quillet
