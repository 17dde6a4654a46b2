// Conversion between the "OEM" code page of the settings and data files (code page 850)
// and the "ANSI" text the system shows and stores (UTF-8), through iconv.
// Text without any byte of 0x80 or above passes unchanged; a character that the target
// cannot hold becomes '?', and a broken UTF-8 sequence becomes '?' too.
#pragma once

#include <string>
#include <string_view>

namespace quillet {

std::string oemToAnsi(std::string_view oem);
// Converts text between two character sets named as iconv knows them (e.g. "ISO-8859-1",
// "UTF-8"), with the same rules: 7-bit text unchanged, '?' for what cannot be converted.
std::string convertCharset(std::string_view text, const char* to, const char* from);
std::string ansiToOem(std::string_view ansi);

}  // namespace quillet
