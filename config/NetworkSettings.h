// NetworkSettings: the dial-up and SOCKS settings of a run, prepared once from the
// server's settings into plain values that the dial-up and SOCKS code take as they are.
//
// Preparation converts from the OEM code page of the settings file to UTF-8, trims, strips
// quotes and descrambles the stored passwords with their keys. Passwords are returned in
// plain text and may hold any byte; the code that sends one must refuse line breaks and
// NUL itself. Nothing here touches the network.
#pragma once

#include <cstdint>
#include <optional>

#include "base/Str.h"
#include "config/ServerSettings.h"
#include "net/DialUpSettings.h"
#include "net/SocksSettings.h"

namespace quillet {

// The dial-up settings, or none when DialUpOutbound is off (then nothing else is read).
[[nodiscard]] std::optional<DialUpSettings> prepareDialUpSettings(const ServerSettings& settings);

// The SOCKS settings: the type always, host and user only for types 1 and 2, the password
// only for type 2.
[[nodiscard]] SocksSettings prepareSocksSettings(const ServerSettings& settings);

// The plain password for the mail host's authentication (OutboundExchAuthPassword).
[[nodiscard]] Str prepareOutboundAuthPassword(const ServerSettings& settings);

// A password from the settings file: trailing blanks removed, converted to UTF-8, then
// descrambled with key (base/Password.h).
[[nodiscard]] Str prepareSettingsPassword(const Str& stored, const char* key);

}  // namespace quillet
