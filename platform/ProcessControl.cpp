// Helper programs, re-execution and immediate exit (see ProcessControl.h).
#include "platform/ProcessControl.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "platform/Terminal.h"

extern char** environ;

namespace quillet {

namespace {

std::vector<char*> argumentPointers(const std::vector<std::string>& argv) {
  std::vector<char*> pointers;
  pointers.reserve(argv.size() + 1);
  for (const std::string& argument : argv) pointers.push_back(const_cast<char*>(argument.c_str()));
  pointers.push_back(nullptr);
  return pointers;
}

// Reads the pipe to its end, keeping at most kMaxCommandOutput bytes.
std::string drain(int fd) {
  std::string output;
  char buffer[4096];
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    const size_t room = kMaxCommandOutput - output.size();
    output.append(buffer, std::min(room, static_cast<size_t>(n)));
  }
  return output;
}

}  // namespace

CommandResult runCommand(const std::vector<std::string>& argv) {
  CommandResult result;
  if (argv.empty()) return result;
  int pipeFds[2];
  if (::pipe2(pipeFds, O_CLOEXEC) != 0) return result;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  std::vector<char*> pointers = argumentPointers(argv);
  pid_t pid = 0;
  const int spawned =
      ::posix_spawnp(&pid, pointers[0], &actions, nullptr, pointers.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(pipeFds[1]);
  if (spawned != 0) {
    ::close(pipeFds[0]);
    return result;
  }
  result.output = drain(pipeFds[0]);
  ::close(pipeFds[0]);
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return result;
  }
  result.started = true;
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

void reexecuteProgram(const std::string& path, const std::vector<std::string>& argv) {
  std::fflush(stdout);
  std::fflush(stderr);
  std::vector<char*> pointers = argumentPointers(argv);
  ::execv(path.c_str(), pointers.data());
}

void setEnvironmentVariable(const char* name, const char* value) {
  if (value != nullptr) {
    ::setenv(name, value, 1);
  } else {
    ::unsetenv(name);
  }
}

void exitImmediately(int code) {
  std::fflush(stdout);
  std::fflush(stderr);
  restoreTerminalFromSignal();
  ::_exit(code);
}

}  // namespace quillet
