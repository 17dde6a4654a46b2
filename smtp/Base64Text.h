// Base64 encoding (RFC 4648 section 4, the alphabet of RFC 2045) of short texts for one
// protocol line, such as the AUTH LOGIN and AUTH PLAIN credentials: no line breaks.
#pragma once

#include <string_view>

#include "base/Str.h"

namespace quillet::smtp {

// The Base64 form of bytes, padded with "=" to a multiple of four characters.
[[nodiscard]] Str base64Encode(std::string_view bytes);

}  // namespace quillet::smtp
