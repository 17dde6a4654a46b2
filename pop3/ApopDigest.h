// The APOP digest of RFC 1939, section 7: MD5 of the greeting's timestamp followed by the
// password, as 32 lower-case hexadecimal digits. Pure; nothing is sent or stored here.
#pragma once

#include "base/Str.h"

namespace quillet {

// The digest of timestamp + password (both taken as bytes).
[[nodiscard]] Str apopDigest(const Str& timestamp, const Str& password);

}  // namespace quillet
