// ServerSettings: the server's settings of one run. It registers the whole key table in
// a store of its own, reads QUILLET.INI once, and answers typed lookups by ServerKey.
//
// A key missing from the file keeps its default and a key not in the table is ignored;
// a missing file gives every default. The server never writes the file, so this offers
// no write. A reload is a new ServerSettings (the run restarts when the file changes).
// Values are held as they stand in the file (OEM code page); the users of each key
// (SettingsPasswords, the server's NetworkSettings, ...) convert what leaves for the
// system or the network.
#pragma once

#include <cstdint>

#include "base/IniStore.h"
#include "base/Str.h"
#include "config/ServerKeys.h"

namespace quillet {

class ServerSettings {
 public:
  static constexpr const char kFileName[] = "QUILLET.INI";

  // Registers every server key with its default; reads nothing yet. fileName: full path.
  explicit ServerSettings(const Str& fileName);
  ServerSettings(const ServerSettings&) = delete;
  ServerSettings& operator=(const ServerSettings&) = delete;

  // Reads the file. True when it was read; false when it is missing or cannot be opened
  // (every key then keeps its default, which is how the server treats it).
  [[nodiscard]] bool read() { return store_.read(); }
  // True when the file was saved again since read().
  [[nodiscard]] bool changedSinceRead() const { return store_.changedSinceRead(); }

  // Typed values; asking for a key of another type is a programming error (asserted).
  [[nodiscard]] const Str& string(ServerKey key) const;
  [[nodiscard]] int32_t integer(ServerKey key) const;
  [[nodiscard]] bool boolean(ServerKey key) const;
  [[nodiscard]] const ArrayStr& list(ServerKey key) const;

  // The store itself, for code that looks keys up by name.
  const IniStore& store() const { return store_; }

 private:
  const IniItem& item(ServerKey key, IniType expected) const;

  IniStore store_;
};

}  // namespace quillet
