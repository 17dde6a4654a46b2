// Helpers for integration tests: a child process (a real server) that is stopped by its PID
// when the test ends, whatever happens; a temporary directory removed at the end; and
// waiting for a port or a log text.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

#include "tests/support/TempDir.h"

namespace quillet::testing {

// The full path of a program found in PATH or in /usr/sbin, /sbin; empty when missing.
std::string findProgram(const std::string& name);

class TestProcess {
 public:
  // Starts argv[0] (a full path) with the arguments; standard output and error go to
  // logFile. environment ("NAME=value" entries) is the child's whole environment; empty =
  // this process's. started() tells whether it runs.
  TestProcess(const std::vector<std::string>& argv, const std::string& logFile,
              const std::vector<std::string>& environment = {});
  ~TestProcess();  // SIGTERM, then SIGKILL after 2 s, and reaps the child
  TestProcess(const TestProcess&) = delete;
  TestProcess& operator=(const TestProcess&) = delete;

  bool started() const { return pid_ > 0; }
  // True while the child has not exited.
  bool running();
  // Waits up to timeoutMs for the child to end: its exit code, -2 when a signal ended it,
  // -1 when it still runs.
  int waitExit(int timeoutMs);
  pid_t pid() const { return pid_; }

 private:
  // True once the child has ended (reaped now or before); sets exitCode_.
  bool reapIfEnded();

  pid_t pid_ = -1;
  bool reaped_ = false;
  int exitCode_ = -1;
};

// Servers started by these tests drop to an unprivileged user that must read their files.
inline constexpr unsigned kServerDirMode = 0755;

// Runs a shell command line (test set-up only: certificates); true on exit code 0.
bool runCommand(const std::string& commandLine);

// Moves the whole test process into a private network namespace with its own loopback
// (once per process), so fixed ports such as the SOCKS port are free and nothing leaves
// the machine. Empty when done; otherwise the reason it is impossible (to skip with).
std::string enterPrivateNetwork();
// True when a TCP connection to host:port succeeds within timeoutMs (retried).
bool waitForPort(const std::string& host, int port, int timeoutMs);
// True when the file contains text within timeoutMs.
bool waitForText(const std::string& file, const std::string& text, int timeoutMs);
std::string readFile(const std::string& file);
void writeFile(const std::string& file, const std::string& text);
// A TCP port on 127.0.0.1 that was free a moment ago.
int freePort();

}  // namespace quillet::testing
