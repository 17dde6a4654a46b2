// Reading POP3 server replies and preparing the lines the client sends or records: the
// positive reply test, the numbers of STAT, LIST and XBCOMPSIZE, the unique id of a UIDL
// reply, the APOP timestamp of the greeting, the capability flags of a CAPA listing, and
// the transcript form of a line.
//
// Pure: lines in, values out; no sockets or files. Every reply is untrusted: numbers are
// read as unsigned decimals that saturate instead of overflowing (a sign or junk gives 0),
// and a unique id that could not be stored safely (control characters, or longer than the
// 70 characters RFC 1939 allows) counts as no id at all.
#pragma once

#include <cstdint>

#include "base/ArrayTmpl.h"
#include "base/Str.h"

namespace quillet::pop3 {

inline constexpr int kMaxUniqueIdLength = 70;  // RFC 1939, section 7

// True when the reply, after leading white space, begins with "+OK" (case ignored).
[[nodiscard]] bool isPositiveReply(const Str& reply);

// The leading unsigned decimal of text after white space, saturated at UINT64_MAX; 0 when
// text does not start with a digit.
[[nodiscard]] uint64_t leadingDecimal(const Str& text);

// The message count of a positive STAT reply: the text after the first four characters,
// cut at its first blank. 0 when no blank follows the count, or the count is no number.
[[nodiscard]] uint32_t statMessageCount(const Str& reply);

// The third word of a reply of exactly three blank-separated words (white space around
// the reply trimmed, exactly two blanks); empty for any other shape.
[[nodiscard]] Str thirdWord(const Str& reply);

// The unique id of a positive "UIDL n" reply: its third word when it is a usable id, else
// empty.
[[nodiscard]] Str uniqueIdOf(const Str& reply);
// True for a non-empty id of at most kMaxUniqueIdLength characters without control
// characters (such an id can be stored as one line and compared).
[[nodiscard]] bool isUsableUniqueId(const Str& id);

// The size of a positive "LIST n" reply: the third word as a number, 0 for another shape.
[[nodiscard]] uint64_t listSize(const Str& reply);

// The compressed size of a positive "XBCOMPSIZE n" reply: the number after its first
// three characters.
[[nodiscard]] uint64_t compressedSize(const Str& reply);

// The APOP timestamp of a greeting: from its first '<' to the first '>' after it,
// inclusive; empty when there is none.
[[nodiscard]] Str apopTimestamp(const Str& greeting);

// The flags a CAPA listing (the lines between "+OK" and ".") sets.
struct Capabilities {
  bool compressedRetrieval = false;  // a line "XBCOMP"
  bool noopRecovery = false;         // a line "IMPLEMENTATION Ipswitch_IMail_5.0"
};
[[nodiscard]] Capabilities capabilitiesOf(const ArrayStr& lines);

// A line as the transcript keeps it: CR and LF as blanks, blanks trimmed at both ends,
// and with hidePassword a line of at least 6 characters beginning with "PASS " (case
// ignored) shown as "PASS *****".
[[nodiscard]] Str transcriptLine(const Str& line, bool hidePassword);

// True when the password can be sent in one command line: no CR, LF or NUL (a descrambled
// password may hold any byte, and such a byte would end the line early).
[[nodiscard]] bool isSendablePassword(const Str& password);

}  // namespace quillet::pop3
