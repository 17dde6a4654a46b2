// SettingsPasswords: the passwords of the settings file in plain text. They are stored
// scrambled in the OEM code page; here they are trimmed, converted to UTF-8 and
// descrambled with their keys (base/Password.h).
//
// The plain password may hold any byte; the code that sends one must refuse line breaks
// and NUL itself. A stored value that is not a valid scrambled text gives an empty
// password.
#pragma once

#include "base/Str.h"
#include "config/ServerSettings.h"

namespace quillet {

// The plain password for the mail host's authentication (OutboundExchAuthPassword).
[[nodiscard]] Str prepareOutboundAuthPassword(const ServerSettings& settings);

// A password from the settings file: trailing blanks removed, converted to UTF-8, then
// descrambled with key.
[[nodiscard]] Str prepareSettingsPassword(const Str& stored, const char* key);

}  // namespace quillet
