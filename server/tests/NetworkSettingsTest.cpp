// The dial-up and SOCKS settings of a run as prepared from the server's settings: what is
// read when, the conversion to UTF-8, quotes, and the passwords descrambled.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "base/Password.h"
#include "config/ServerSettings.h"
#include "server/NetworkSettings.h"
#include "tests/support/ServerSettingsFile.h"

namespace quillet {
namespace {

class NetworkSettingsTest : public ::testing::Test {
 protected:
  ServerSettings& readSettings(const std::string& lines) { return file_.read(lines); }

  testing::ServerSettingsFile file_;
};

TEST_F(NetworkSettingsTest, DialUpIsPreparedOnlyWhenSwitchedOn) {
  ServerSettings& off = readSettings("DialUpOutboundPhoneBook=Provider\r\n");
  EXPECT_FALSE(prepareDialUpSettings(off).has_value());

  const Str stored = scramble("s3cret", kDialUpOutboundPasswordKey);
  ServerSettings& on = readSettings(
      "DialUpOutbound=1\r\n"
      "DialUpOutboundPhoneBook=  \"My \x84 Provider\"  \r\n"  // CP850 a-umlaut
      "DialUpOutboundUser=J\x81rgen\r\n"
      "DialUpOutboundPassword=" +
      stored.toStd() +
      "\r\n"
      "DialUpOutboundDomain=OFFICE\r\n"
      "DialUpOutboundKeepOpen=5\r\n");
  const std::optional<DialUpSettings> dialUp = prepareDialUpSettings(on);
  ASSERT_TRUE(dialUp.has_value());
  EXPECT_EQ(dialUp->phoneBookEntry, "My \xC3\xA4 Provider");
  EXPECT_EQ(dialUp->user, "J\xC3\xBCrgen");
  EXPECT_EQ(dialUp->password, "s3cret");
  EXPECT_EQ(dialUp->domain, "OFFICE");
  EXPECT_EQ(dialUp->keepOpen, 5);
}

TEST_F(NetworkSettingsTest, PhoneBookEntryLosesOnlyOnePairOfQuotes) {
  ServerSettings& settings = readSettings(
      "DialUpOutbound=True\r\n"
      "DialUpOutboundPhoneBook=\"\"Inner\"\"\r\n");
  EXPECT_EQ(prepareDialUpSettings(settings)->phoneBookEntry, "\"Inner\"");
  ServerSettings& lone = readSettings("DialUpOutbound=True\r\nDialUpOutboundPhoneBook=\"\r\n");
  EXPECT_EQ(prepareDialUpSettings(lone)->phoneBookEntry, "\"");
}

TEST_F(NetworkSettingsTest, SocksDataDependsOnTheProxyType) {
  const std::string common = "SOCKSHost=proxy.lan   \r\nSOCKSUser=office\r\nSOCKSPassword=" +
                             scramble("pw", kSOCKSPasswordKey).toStd() + "\r\n";
  struct Case {
    int type;
    bool proxy;
    const char* host;
    const char* password;
  };
  for (const Case& c : {Case{0, false, "", ""}, Case{1, true, "proxy.lan", ""},
                        Case{2, true, "proxy.lan", "pw"}, Case{3, false, "", ""}}) {
    ServerSettings& settings =
        readSettings("SOCKSHostTyp=" + std::to_string(c.type) + "\r\n" + common);
    const SocksSettings socks = prepareSocksSettings(settings);
    EXPECT_EQ(socks.hostType, c.type);
    EXPECT_EQ(socks.useProxy(), c.proxy) << c.type;
    EXPECT_EQ(socks.host, c.host) << c.type;
    EXPECT_EQ(socks.user, c.proxy ? "office" : "") << c.type;
    EXPECT_EQ(socks.password, c.password) << c.type;
  }
}

}  // namespace
}  // namespace quillet
