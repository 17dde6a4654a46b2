// The dial-up settings of a run: filled by the configuration from the DialUpOutbound...
// keys (text in UTF-8, password descrambled to plain text), taken by DialUp as they are.
#pragma once

#include <cstdint>

#include "base/Str.h"

namespace quillet {

struct DialUpSettings {
  Str phoneBookEntry;  // the connection to bring up
  Str user;
  Str password;  // plain text
  Str domain;
  int32_t keepOpen = 0;  // seconds to keep the connection after the last holder is done
};

}  // namespace quillet
