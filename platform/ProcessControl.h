// Process steps of the server that only Linux offers in this form: running a helper
// program (systemctl) and reading its output, replacing the running program by a fresh
// copy of itself, and ending the process at once.
//
// Commands run from an argument vector through posix_spawnp, never through a shell.
// At most kMaxCommandOutput bytes of a command's standard output are kept.
#pragma once

#include <string>
#include <vector>

namespace quillet {

inline constexpr size_t kMaxCommandOutput = 64 * 1024;

struct CommandResult {
  bool started = false;  // false: the program could not be run at all
  int exitCode = -1;     // its exit code; -1 when it ended by a signal
  std::string output;    // its standard output (standard error is passed through)
};

// Runs argv[0] (looked up in PATH when it holds no '/') with the arguments and waits for
// it to end.
[[nodiscard]] CommandResult runCommand(const std::vector<std::string>& argv);

// Replaces the process by a new run of the program file at path with the given arguments
// (argv[0] included) and the current environment. Returns only when that failed.
void reexecuteProgram(const std::string& path, const std::vector<std::string>& argv);

// Sets (value not null) or removes (value null) a variable of the process environment,
// which later commands and re-executions inherit. Not thread-safe: call it while no
// other thread reads the environment.
void setEnvironmentVariable(const char* name, const char* value);

// Flushes standard output and error, restores the terminal and ends the process with code
// without running destructors or exit handlers (threads that could not be stopped may
// still use what those would free).
[[noreturn]] void exitImmediately(int code);

}  // namespace quillet
