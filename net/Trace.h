// The transfer trace: the lines a connection sends ("> ") and receives ("< "), written to
// a sink the owner of the connection gives (the server's message output).
//
// formatTraceLine is pure. It masks passwords (with the hide-password option, a line of at
// least 6 characters starting with "PASS ", case ignored, shows as "PASS *****") and shows
// control characters of a peer's line as '?', so a hostile server cannot drive the
// operator's terminal. It does not decide whether to trace; the caller checks the option.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "base/Str.h"

namespace quillet {

using TraceSink = std::function<void(const std::string&)>;

enum class TraceDirection { Sent, Received };

// The trace line for one line: id + ": " + marker + line, without the id part when
// withoutId is set.
[[nodiscard]] std::string formatTraceLine(uint32_t id, TraceDirection direction, const Str& line,
                                          bool withoutId, bool hidePassword);

}  // namespace quillet
