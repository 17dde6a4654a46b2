// NetworkSettings: preparing the dial-up and SOCKS settings of a run.
#include "server/NetworkSettings.h"

#include "base/Password.h"
#include "config/SettingsPasswords.h"

namespace quillet {
namespace {

// Removes one pair of double quotes around the whole text (phone-book entries with blanks
// are often written quoted).
Str withoutSurroundingQuotes(const Str& text) {
  const int length = text.length();
  if (length >= 2 && text.at(0) == '"' && text.at(length - 1) == '"') {
    return text.left(length - 1).mid(1);
  }
  return text;
}

}  // namespace

std::optional<DialUpSettings> prepareDialUpSettings(const ServerSettings& settings) {
  if (!settings.boolean(ServerKey::DialUpOutbound)) return std::nullopt;
  DialUpSettings dialUp;
  Str entry = settings.string(ServerKey::DialUpOutboundPhoneBook).oemToAnsiCopy();
  entry.trim();
  dialUp.phoneBookEntry = withoutSurroundingQuotes(entry);
  dialUp.user = settings.string(ServerKey::DialUpOutboundUser).oemToAnsiCopy();
  dialUp.password = prepareSettingsPassword(settings.string(ServerKey::DialUpOutboundPassword),
                                            kDialUpOutboundPasswordKey);
  dialUp.domain = settings.string(ServerKey::DialUpOutboundDomain).oemToAnsiCopy();
  dialUp.keepOpen = settings.integer(ServerKey::DialUpOutboundKeepOpen);
  return dialUp;
}

SocksSettings prepareSocksSettings(const ServerSettings& settings) {
  SocksSettings socks;
  socks.hostType = settings.integer(ServerKey::SOCKSHostTyp);
  if (!socks.useProxy()) return socks;
  socks.host = settings.string(ServerKey::SOCKSHost);
  socks.host.trimRight();
  // Converted like the password, so a non-ASCII user name reaches the proxy in the same
  // encoding as the password.
  socks.user = settings.string(ServerKey::SOCKSUser).oemToAnsiCopy();
  socks.user.trimRight();
  if (socks.hostType == SocksSettings::kSocks5) {
    socks.password =
        prepareSettingsPassword(settings.string(ServerKey::SOCKSPassword), kSOCKSPasswordKey);
  }
  return socks;
}

}  // namespace quillet
