// The two renderings of one message: the log line and the screen line. Pure functions of
// the text, the time-stamp flag and the moment, so the exact bytes can be checked.
#pragma once

#include <cstdint>

#include "base/DateTime.h"
#include "base/Str.h"

namespace quillet {

// Width of the log line prefix: "YY-MM-DD HH:MM:SS " or as many blanks.
constexpr int kLogPrefixWidth = 18;
// Width of the screen line prefix: "HH:MM " or as many blanks.
constexpr int kScreenPrefixWidth = 6;

// The text with every CR and LF replaced by a blank.
[[nodiscard]] Str withoutLineBreaks(const Str& text);

// Date, time and text for a timestamped message; 18 blanks and the text for a
// continuation line. Line breaks inside the text become blanks.
[[nodiscard]] Str renderLogLine(const Timer& moment, const Str& text, bool timestamped);

// "HH:MM " and the text for a timestamped message; 6 blanks and the text otherwise.
[[nodiscard]] Str renderScreenLine(const Timer& moment, const Str& text, bool timestamped);

// A worker thread's message text: its registry number zero-padded to 4 digits, ": ",
// then the text ("0003: ..."). Numbers above 9999 keep all their digits; negative
// numbers are written as 0.
[[nodiscard]] Str threadMessageText(int32_t threadNumber, const Str& text);

}  // namespace quillet
