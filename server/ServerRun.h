// The server's runs: one run builds the Kernel and AppData, prints the banner, opens the
// display, reports the start, supervises, stops the threads and tears everything down; a
// run that ends with a restart (QUILLET.INI or a data file changed) is followed by a new
// one, without the start-up delay, until a run ends with stop.
//
// A run that had to abandon threads cannot free what they may still use: it then ends the
// process (stop) or replaces it by a fresh copy of the program (restart) instead of going
// on. QUILLET_RESTARTED tells that copy that it continues a process, so it skips the
// start-up delay.
#pragma once

#include <string>
#include <vector>

#include "base/Str.h"

namespace quillet {

// Environment variable set for a re-executed program: the start-up delay is over.
inline constexpr const char* kRestartedEnvironment = "QUILLET_RESTARTED";

struct ServerRunOptions {
  Str programDirectory;                // ending in '/'
  Str serviceName;                     // syslog ident
  bool serviceMode = false;            // started by systemd
  bool startupDelay = true;            // false: this process continues an earlier one
  std::string programPath;             // the program file, for a re-execution
  std::vector<std::string> arguments;  // the command line, argv[0] included
};

// Runs the server until a run ends with stop; returns the process exit code (0).
[[nodiscard]] int runServer(const ServerRunOptions& options);

}  // namespace quillet
