// The few process-wide values that the base library needs from the program's runtime:
// the running flag every long loop polls, the file-open policy, the program directory
// that holds lock files, and where messages such as "Signaling threads to stop" go.
//
// The server's process runtime fills this in at start-up; a program or test that never
// does gets the defaults below (running, two open attempts, the current directory, and
// messages on standard error). It deliberately holds no settings or mail state.
#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <string>

namespace quillet {

class ProcessContext {
 public:
  // The one context of the process.
  static ProcessContext& instance();

  // 1 while the process shall run; any thread clears it to ask every loop to stop.
  bool running() const { return running_.load(std::memory_order_relaxed); }
  void setRunning(bool on) { running_.store(on, std::memory_order_relaxed); }

  // With this flag the retrying file open fails at once when the file does not exist.
  bool checkBeforeFileOpen() const { return checkBeforeFileOpen_.load(std::memory_order_relaxed); }
  void setCheckBeforeFileOpen(bool on) {
    checkBeforeFileOpen_.store(on, std::memory_order_relaxed);
  }

  // How many times the retrying file open tries before it gives up (at least 1).
  int fileOpenAttempts() const { return fileOpenAttempts_.load(std::memory_order_relaxed); }
  void setFileOpenAttempts(int n) {
    fileOpenAttempts_.store(n < 1 ? 1 : n, std::memory_order_relaxed);
  }

  // Pauses a worker thread waits before its first pass (the ThreadStartupDelay setting).
  int threadStartupDelay() const { return threadStartupDelay_.load(std::memory_order_relaxed); }
  void setThreadStartupDelay(int pauses) {
    threadStartupDelay_.store(pauses < 0 ? 0 : pauses, std::memory_order_relaxed);
  }

  // Set when a thread that ignored its stop request had to be abandoned: what it uses can
  // no longer be freed safely, so the program must end (or re-execute) rather than go on.
  bool threadsAbandoned() const { return threadsAbandoned_.load(std::memory_order_relaxed); }
  void markThreadsAbandoned() { threadsAbandoned_.store(true, std::memory_order_relaxed); }

  // Directory of lock and signal files, ending in '/' (empty = the current directory).
  std::string programDirectory() const;
  void setProgramDirectory(const std::string& dir);

  // Writes one line of program output (console and log in the server).
  void writeMessage(const std::string& line) const;
  // Replaces the message sink; an empty function restores the default (standard error).
  void setMessageSink(std::function<void(const std::string&)> sink);

 private:
  ProcessContext() = default;

  std::atomic<bool> running_{true};
  std::atomic<bool> checkBeforeFileOpen_{false};
  std::atomic<int> fileOpenAttempts_{2};
  std::atomic<int> threadStartupDelay_{0};
  std::atomic<bool> threadsAbandoned_{false};
  mutable std::mutex mutex_;
  std::string programDirectory_;                  // guarded by mutex_
  std::function<void(const std::string&)> sink_;  // guarded by mutex_
};

}  // namespace quillet
