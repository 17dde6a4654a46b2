// A console run of runnel started by a test (see RunnelRun.h).
#include "tests/support/RunnelRun.h"

#include <csignal>

#include "tests/support/ConsoleRunEnvironment.h"
#include "tests/support/FileBytes.h"
#include "tests/support/Waiting.h"

namespace quillet::testing {
namespace {

std::vector<std::string> withProgram(const std::string& program,
                                     std::vector<std::string> arguments) {
  arguments.insert(arguments.begin(), program);
  return arguments;
}

std::vector<std::string> runEnvironment(const std::string& home,
                                        const std::vector<std::string>& extraEnvironment) {
  std::vector<std::string> environment = consoleRunEnvironment(home);
  environment.insert(environment.end(), extraEnvironment.begin(), extraEnvironment.end());
  return environment;
}

}  // namespace

RunnelRun::RunnelRun(const std::string& program, const std::string& home,
                     const std::string& outputFile, std::vector<std::string> arguments,
                     const std::vector<std::string>& extraEnvironment)
    : outputFile_(outputFile),
      process_(withProgram(program, std::move(arguments)), outputFile,
               runEnvironment(home, extraEnvironment)) {}

std::string RunnelRun::output() const { return readBytes(outputFile_); }

int RunnelRun::occurrences(const std::string& text) const {
  return testing::occurrences(output(), text);
}

bool RunnelRun::waitFor(const std::string& text, int times, std::chrono::milliseconds limit) const {
  return waitUntil([&] { return occurrences(text) >= times; }, static_cast<int>(limit.count()));
}

int RunnelRun::waitExit(std::chrono::milliseconds limit) {
  return process_.waitExit(static_cast<int>(limit.count()));
}

int RunnelRun::stop(std::chrono::milliseconds limit) {
  process_.signal(SIGTERM);
  return waitExit(limit);
}

}  // namespace quillet::testing
