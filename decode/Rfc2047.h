// Decoding of RFC 2047 encoded words ("=?charset?B?...?=" and "=?charset?Q?...?=") in
// header text such as Subject and display names, to UTF-8 text.
//
// Text outside encoded words is kept as it is; white space between two adjacent encoded
// words is dropped (RFC 2047 section 6.2). An encoded word with an encoding letter other
// than B or Q contributes nothing. The character set selects how 8-bit characters are
// read: us-ascii, iso-8859-1, -2, -3, -5, -7, -9, windows-1250, windows-1252 and utf-8;
// any other name counts as us-ascii, whose 8-bit characters become '?'.
// Control characters produced by decoding (CR, LF, NUL, ...) become blanks, so decoded text
// can go into log lines and addresses safely. The output is never much longer than the
// input (at most three bytes per input byte), so no limit beyond the input's is needed.
#pragma once

#include <string>
#include <string_view>

namespace quillet {

// Decodes every encoded word of text.
[[nodiscard]] std::string decodeRfc2047(std::string_view text);

// The Subject rule: decode only when text is at least 6 characters long, holds at least
// four '?' and both "=?" and "?="; otherwise text unchanged.
[[nodiscard]] std::string decodeHeaderText(std::string_view text);

// Converts bytes in the named character set to UTF-8 (rules above).
[[nodiscard]] std::string charsetToUtf8(std::string_view bytes, std::string_view charset);

}  // namespace quillet
