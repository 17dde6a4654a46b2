// The break time: the moment at which the server stops by itself, from BreakTime (a time
// of day, "HH:MM" or "HH:MM:SS") and BreakRelative ("days:hours:minutes" or
// "hours:minutes" from the start of the run). Computed once per run.
//
// Settings text is untrusted: a BreakTime without digits where the hours, minutes (and
// seconds) are read or not a valid time of day, and a BreakRelative without a colon, with
// a part that is not a decimal number of at most 9 digits, or reaching past the end of
// the timestamp scale, set no break (the value is ignored, never guessed).
#pragma once

#include <cstdint>

#include "base/Str.h"

namespace quillet {

// The next moment (timestamp seconds) at the time of day given by text: today, or
// tomorrow when today's has already come (at or before now). 0 for a blank or invalid
// text.
[[nodiscard]] uint32_t absoluteBreakTime(const Str& text, uint32_t now);

// now plus the relative text: with two or more colons the part before the first colon
// counts as days, the next parts as hours and minutes, each a decimal number of at most
// 9 digits. 0 for a blank or unusable text (see above).
[[nodiscard]] uint32_t relativeBreakTime(const Str& text, uint32_t now);

// The earlier of both when both are set, else the one set, else 0 (no break).
[[nodiscard]] uint32_t computeBreakTime(const Str& breakTime, const Str& breakRelative,
                                        uint32_t now);

}  // namespace quillet
