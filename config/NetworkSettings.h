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

namespace quillet {

struct DialUpSettings {
  Str phoneBookEntry;  // the connection to bring up
  Str user;
  Str password;        // plain text
  Str domain;
  int32_t keepOpen = 0;  // DialUpOutboundKeepOpen as set
};

struct SocksSettings {
  int32_t hostType = 0;  // SOCKSHostTyp as set: 1 and 2 select the two SOCKS versions
  Str host;              // only with 1 or 2
  Str user;              // only with 1 or 2
  Str password;          // plain text, only with 2

  // True when a proxy is to be used (type 1 or 2; any other value means none).
  [[nodiscard]] bool useProxy() const { return hostType == 1 || hostType == 2; }
};

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
