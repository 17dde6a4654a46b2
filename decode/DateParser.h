// Reads the value of a Date header field (RFC 822/5322 form):
//   [day-name ","] day month-name year hh:mm[:ss] [zone]
// Month names "Jan" to "Dec" (case ignored, longer names accepted by their first three
// letters); two-digit years are read as 2000-2049 and 1950-1999. Zones: "+hhmm"/"-hhmm",
// EST/EDT/CST/CDT/MST/MDT/PST/PDT, the one-letter military zones (Z is GMT, A to I and K to
// M are 1 to 12 hours behind, N to Y 1 to 12 hours ahead), anything else (or none) GMT.
// Anything malformed leaves the date unset (valid false); nothing is guessed.
#pragma once

#include <string_view>

#include "decode/ParseResult.h"

namespace quillet {

[[nodiscard]] MessageDate parseMessageDate(std::string_view text);

}  // namespace quillet
