// Dates of header fields in RFC 822 form: "Tue, 8 Dec 2026 14:05:09 +0100".
#pragma once

#include <string>

#include "base/DateTime.h"

namespace quillet {

// The date and time: English weekday abbreviation, ", ", day of the month, the English
// month abbreviation, the four-digit year, hours:minutes:seconds and the zone: "GMT" when
// universal is set (the time is then UTC), else the system zone's offset from UTC at that
// local time as a sign and four digits.
[[nodiscard]] std::string rfc822Date(const Timer& when, bool universal);

}  // namespace quillet
