// NetworkSettings: the dial-up and SOCKS settings of a run, prepared once from the
// server's settings into the plain values that the network layer's dial-up and SOCKS code
// take as they are. It lives with the server, which assembles a run, so that the
// configuration library needs no network code.
//
// Preparation converts from the OEM code page of the settings file to UTF-8, trims, strips
// quotes and descrambles the stored passwords with their keys (config/SettingsPasswords.h).
// Passwords are returned in plain text and may hold any byte; the code that sends one must
// refuse line breaks and NUL itself. Nothing here touches the network.
#pragma once

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

}  // namespace quillet
