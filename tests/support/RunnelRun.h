// The runnel program started by a test as a console run without a terminal: QUILLET_HOME
// names the program directory, standard output and error go to a file (so runnel writes
// plain lines), and the run is stopped by signals. Killed when the object goes if it still
// runs. The program's path is given by the test (its RUNNEL_PROGRAM compile definition).
#pragma once

#include <chrono>
#include <string>
#include <vector>

#include "tests/support/TestProcess.h"

namespace quillet::testing {

class RunnelRun {
 public:
  // Starts program in home with the arguments; extraEnvironment ("NAME=value" entries) is
  // added to the console run's environment. The output is appended to outputFile.
  RunnelRun(const std::string& program, const std::string& home, const std::string& outputFile,
            std::vector<std::string> arguments = {},
            const std::vector<std::string>& extraEnvironment = {});

  bool started() const { return process_.started(); }
  // Everything the run wrote to standard output and error so far.
  [[nodiscard]] std::string output() const;
  // How often text occurs in the output so far.
  [[nodiscard]] int occurrences(const std::string& text) const;
  // True once text appeared times times in the output (within limit).
  bool waitFor(const std::string& text, int times = 1,
               std::chrono::milliseconds limit = std::chrono::seconds(20)) const;
  void signal(int number) { process_.signal(number); }
  // Waits up to limit for the end: the exit code, -1 when it still runs, -2 when a signal
  // ended it.
  int waitExit(std::chrono::milliseconds limit = std::chrono::seconds(30));
  // SIGTERM, then waitExit(limit).
  int stop(std::chrono::milliseconds limit = std::chrono::seconds(60));

 private:
  std::string outputFile_;
  TestProcess process_;
};

}  // namespace quillet::testing
