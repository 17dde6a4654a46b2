// Where the running program file lies, read from /proc/self/exe. The server derives its
// program directory and its service name file from it, and writes it into the systemd unit.
//
// It does not look at QUILLET_HOME (the process runtime decides which directory wins).
#pragma once

#include <string>

namespace quillet {

// The absolute path of the running program file; empty when the system cannot tell.
[[nodiscard]] std::string executablePath();

}  // namespace quillet
