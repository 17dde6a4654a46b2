// ServerSettings: registration of the server keys and typed lookups.
#include "config/ServerSettings.h"

#include <cassert>

namespace quillet {

ServerSettings::ServerSettings(const Str& fileName) : store_(fileName) {
  registerServerKeys(store_);
}

const IniItem& ServerSettings::item(ServerKey key, IniType expected) const {
  const IniItem& found = store_.item(static_cast<int>(key) + 1);
  assert(found.type() == expected);
  (void)expected;
  return found;
}

const Str& ServerSettings::string(ServerKey key) const {
  return item(key, IniType::String).stringValue();
}

int32_t ServerSettings::integer(ServerKey key) const {
  return item(key, IniType::Integer).numberValue();
}

bool ServerSettings::boolean(ServerKey key) const {
  return item(key, IniType::Boolean).booleanValue();
}

const ArrayStr& ServerSettings::list(ServerKey key) const {
  return item(key, IniType::List).listValue();
}

}  // namespace quillet
