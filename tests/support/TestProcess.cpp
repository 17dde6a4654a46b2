// Child processes of tests (see TestProcess.h).
#include "tests/support/TestProcess.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <sstream>
#include <thread>

extern char** environ;

namespace quillet::testing {

std::string findProgram(const std::string& name) {
  std::string path = std::getenv("PATH") != nullptr ? std::getenv("PATH") : "";
  path += ":/usr/sbin:/sbin:/usr/bin:/bin";
  std::stringstream parts(path);
  std::string dir;
  while (std::getline(parts, dir, ':')) {
    if (dir.empty()) continue;
    std::string candidate = dir;
    candidate.append("/").append(name);
    if (access(candidate.c_str(), X_OK) == 0) return candidate;
  }
  return "";
}

TestProcess::TestProcess(const std::vector<std::string>& argv, const std::string& logFile,
                         const std::vector<std::string>& environment) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, logFile.c_str(), O_WRONLY | O_CREAT | O_APPEND,
                                   0600);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  std::vector<char*> args;
  args.reserve(argv.size() + 1);
  for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  std::vector<char*> variables;
  variables.reserve(environment.size() + 1);
  for (const std::string& variable : environment) {
    variables.push_back(const_cast<char*>(variable.c_str()));
  }
  variables.push_back(nullptr);
  char** childEnvironment = environment.empty() ? environ : variables.data();
  pid_t pid = -1;
  if (posix_spawn(&pid, args[0], &actions, nullptr, args.data(), childEnvironment) == 0) pid_ = pid;
  posix_spawn_file_actions_destroy(&actions);
}

bool TestProcess::reapIfEnded() {
  if (reaped_) return true;
  int status = 0;
  if (waitpid(pid_, &status, WNOHANG) != pid_) return false;
  reaped_ = true;
  exitCode_ = WIFEXITED(status) ? WEXITSTATUS(status) : -2;
  return true;
}

bool TestProcess::running() { return pid_ > 0 && !reapIfEnded(); }

void TestProcess::signal(int number) {
  if (running()) kill(pid_, number);
}

int TestProcess::waitExit(int timeoutMs) {
  if (pid_ <= 0) return -1;
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!reapIfEnded()) {
    if (std::chrono::steady_clock::now() >= end) return -1;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return exitCode_;
}

TestProcess::~TestProcess() {
  if (pid_ <= 0 || reaped_) return;
  kill(pid_, SIGTERM);
  for (int i = 0; i < 40; ++i) {
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) == pid_) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  kill(pid_, SIGKILL);
  int status = 0;
  waitpid(pid_, &status, 0);
}

bool runCommand(const std::string& commandLine) { return std::system(commandLine.c_str()) == 0; }

}  // namespace quillet::testing
