// The one way tests start another program (a real server, or runnel itself): a child
// process whose standard output and error go to a log file, stopped and reaped when the
// object goes, whatever happens in the test. Also finding a program and running a set-up
// command line.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace quillet::testing {

// The full path of a program found in PATH or in /usr/sbin, /sbin; empty when missing.
std::string findProgram(const std::string& name);

class TestProcess {
 public:
  // Starts argv[0] (a full path) with the arguments; standard input is /dev/null, standard
  // output and error are appended to logFile. environment ("NAME=value" entries) is the
  // child's whole environment; empty = this process's. started() tells whether it runs.
  TestProcess(const std::vector<std::string>& argv, const std::string& logFile,
              const std::vector<std::string>& environment = {});
  ~TestProcess();  // SIGTERM, then SIGKILL after 2 s, and reaps the child
  TestProcess(const TestProcess&) = delete;
  TestProcess& operator=(const TestProcess&) = delete;

  bool started() const { return pid_ > 0; }
  // True while the child has not exited.
  bool running();
  // Sends the signal to the child while it runs.
  void signal(int number);
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

}  // namespace quillet::testing
