// Header text of composed messages: values taken from outside (subjects, display names,
// addresses, file names, server replies) made safe for one header field, RFC 2047 encoded
// words for text that is not plain 7-bit, address lists, and folding of long fields.
//
// Safety: CR, LF and NUL in a value become blanks before anything else, so no value can
// end a header line or add one. A field is folded at blanks to lines of at most
// kFoldLength characters where it can be; a line that has no blank to fold at is cut at
// kMaxHeaderLineLength characters, so no header line ever exceeds the limit of RFC 5322.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "decode/ParseResult.h"

namespace quillet {

inline constexpr size_t kFoldLength = 78;
inline constexpr size_t kMaxHeaderLineLength = 998;
// RFC 2047: an encoded word is at most 75 characters long.
inline constexpr size_t kMaxEncodedWordLength = 75;

// value with CR, LF and NUL replaced by blanks.
[[nodiscard]] std::string headerSafe(std::string_view value);

// A host name for a header field (trace field, Message-ID): without blanks, control
// characters and angle brackets; "localhost" when nothing is left.
[[nodiscard]] std::string hostText(std::string_view host);

// True when text is well-formed UTF-8 (7-bit text is).
[[nodiscard]] bool isValidUtf8(std::string_view text);

// The character set name to label 8-bit text with: "utf-8" when it is well-formed UTF-8
// (the programs' own text), else fallback, or "iso-8859-1" (where every byte is a
// character) when fallback is empty or "us-ascii".
[[nodiscard]] std::string charsetForText(std::string_view text, std::string_view fallback);

// The text as encoded words "=?charset?Q?...?=" of at most kMaxEncodedWordLength
// characters each, separated by blanks (where the field may be folded). A UTF-8 character
// is never split between two words.
[[nodiscard]] std::string encodedWords(std::string_view text, std::string_view charset);

// An unstructured value (Subject): made safe, then as it is when it is 7-bit and every
// run without blanks fits a folded line; otherwise as encoded words, labelled by
// charsetForText(text, fallbackCharset).
[[nodiscard]] std::string unstructuredValue(std::string_view text,
                                            std::string_view fallbackCharset);

// One address for an address-list field: the address alone without a display name;
// with one, the name (in double quotes, or as encoded words under the rule of
// unstructuredValue) followed by a blank and the address in angle brackets. Empty when
// the address is not a valid one (decode/AddressParser.h): it could not be delivered to,
// and its text could break the field's syntax.
[[nodiscard]] std::string formatAddress(const MailAddress& address,
                                        std::string_view fallbackCharset);
// The valid addresses joined by ", " (empty when there are none).
[[nodiscard]] std::string formatAddressList(const AddressList& addresses,
                                            std::string_view fallbackCharset);

// A MIME parameter value: as it is when it is a token of RFC 2045, else in double quotes
// (with '"' and '\' escaped); made safe first, with 8-bit bytes replaced by '_'.
[[nodiscard]] std::string parameterValue(std::string_view value);

// The physical lines of one header field "Name: value": folded before a blank so that
// lines keep within kFoldLength characters where the value allows it, and cut (the rest
// continuing after a blank) where a line would exceed kMaxHeaderLineLength. Continuation lines
// start with the blank or TAB they were folded at. A field that is itself a continuation
// line (starting with a blank or TAB) may fold at its first blank after the first word;
// a field "Name: value" folds only after the first word of its value.
[[nodiscard]] std::vector<std::string> foldField(std::string_view field);

}  // namespace quillet
