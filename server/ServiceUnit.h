// The systemd unit of a Runnel service: its file name from the service name and its text.
// Pure functions, so the exact unit can be checked without systemd.
//
// The service name comes from a file in the program directory and may hold any byte from
// 0x21 to 0x79, among them '/', '\' and '@', which must not reach a unit file name: every
// byte outside letters, digits, ':', '_', '.' and '-' is written as "\xNN" (as
// systemd-escape does), and a name longer than systemd's limit is refused. Paths written
// into the unit are quoted where systemd unquotes them, with '%' doubled (systemd specifiers);
// paths holding control characters are refused.
#pragma once

#include <optional>
#include <string>

#include "base/Str.h"

namespace quillet {

// Longest unit file name systemd accepts, suffix included.
inline constexpr size_t kMaxUnitNameLength = 255;

// serviceName escaped (see above) + ".service"; nothing when it would be too long.
[[nodiscard]] std::optional<std::string> unitNameFor(const Str& serviceName);

// The unit text: Type=notify, ExecStart = programPath, WorkingDirectory and QUILLET_HOME =
// programDirectory, enabled for multi-user.target. Nothing when a path cannot be written.
[[nodiscard]] std::optional<std::string> unitFileText(const Str& serviceName,
                                                      const std::string& programPath,
                                                      const std::string& programDirectory);

}  // namespace quillet
