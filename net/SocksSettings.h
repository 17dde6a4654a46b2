// The proxy settings a connection needs: filled by the configuration from the SOCKS keys
// of the settings file (the password already descrambled). Plain data, no checks.
#pragma once

#include "base/Str.h"

namespace quillet {

struct SocksSettings {
  static constexpr int kNone = 0;
  static constexpr int kSocks4 = 1;
  static constexpr int kSocks5 = 2;
  static constexpr int kDefaultPort = 1080;

  int hostType = kNone;  // 0 none, 1 SOCKS4, 2 SOCKS5; other values mean none
  Str host;              // proxy host name or address
  int port = kDefaultPort;
  Str user;      // SOCKS4 user id, or SOCKS5 user name
  Str password;  // SOCKS5 password, plain text

  // True when a proxy is to be used (type 1 or 2; any other value means none).
  [[nodiscard]] bool useProxy() const { return hostType == kSocks4 || hostType == kSocks5; }
};

}  // namespace quillet
