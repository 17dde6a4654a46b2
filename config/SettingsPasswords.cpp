// Plain passwords from the settings file (see SettingsPasswords.h).
#include "config/SettingsPasswords.h"

#include "base/Password.h"

namespace quillet {

Str prepareSettingsPassword(const Str& stored, const char* key) {
  Str text = stored;
  text.trimRight();
  text.oemToAnsi();
  return descramble(text, Str(key));
}

Str prepareOutboundAuthPassword(const ServerSettings& settings) {
  return prepareSettingsPassword(settings.string(ServerKey::OutboundExchAuthPassword),
                                 kOutboundExchAuthPasswordKey);
}

}  // namespace quillet
