// BaseThread: the base of every worker thread. A derived class implements run(); start()
// registers it in a ThreadRegistry and launches it on its own std::thread, which leaves
// the registry when run() has returned, and polls keepRunning() between rounds of work
// through pause().
//
// Stopping is cooperative: requestStop() clears keepRunning and wakes a pausing thread at
// once. A thread cannot be terminated safely on Linux, so kill() abandons a thread that
// ignores its stop request instead: the thread is detached and left to run, removed from
// its registry, and the process is marked (ProcessContext::markThreadsAbandoned) so that it
// ends or re-executes rather than frees what the abandoned thread may still use.
//
// Ownership: with autoDelete (the default) the object deletes itself when its thread ends,
// so such objects must be made with new and, once started, are referred to only through
// non-owning pointers. An abandoned autoDelete object is never deleted by kill(); it deletes
// itself if its thread ever ends. Without autoDelete the owner calls join() before it deletes
// the object: the destructor runs after the derived part is gone, so a run() still going at
// that point would use a half-destroyed object.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>

#include "base/ThreadRegistry.h"

namespace quillet {

class BaseThread {
 public:
  // A thread that enters registry (may be null: then it is never registered) while it runs.
  explicit BaseThread(ThreadRegistry* registry);
  virtual ~BaseThread();

  BaseThread(const BaseThread&) = delete;
  BaseThread& operator=(const BaseThread&) = delete;

  // Registers the thread and launches it; it is in the registry when start() returns.
  // False when the thread cannot be created or was started before; then nothing is
  // registered. With wait, returns only after run() has returned (or the
  // thread was abandoned by kill()). With autoDelete the object may be gone when start()
  // returns: do not touch it afterwards except through the registry.
  [[nodiscard]] bool start(bool wait = false);

  // Asks the thread to stop: clears keepRunning and wakes it if it pauses.
  void requestStop();

  // Waits until the thread of an object without autoDelete has ended. Returns at once when
  // it was never started, has been joined before or was abandoned by kill(), and when called
  // from the thread itself.
  void join();

  // Ends the thread at once as far as the program is concerned: a thread whose run() has
  // not returned is abandoned (detached, unregistered, running cleared, process marked).
  // A thread that already ended or was never started is left alone. Returns 0.
  // With autoDelete, call it only while the object is known to exist (its registry's locks
  // held, as stopAllOrKill does); the object may be gone when kill() returns.
  int kill();

  // Waits while keepRunning is set, at most 750 ms (three 250 ms slices); returns
  // keepRunning. Returns at once after a stop request.
  [[nodiscard]] bool pause();
  // Waits while keepRunning is set, at most length; returns keepRunning. Returns at once
  // after a stop request.
  [[nodiscard]] bool pauseFor(std::chrono::milliseconds length);
  // n rounds of pause(); returns keepRunning, at once when it is cleared.
  [[nodiscard]] bool pauseRounds(int n);
  // The pause a worker makes before its first pass: ThreadStartupDelay rounds.
  [[nodiscard]] bool startupDelay();

  bool keepRunning() const { return keepRunning_.load(std::memory_order_relaxed); }
  // True while run() executes.
  bool running() const { return running_.load(std::memory_order_relaxed); }
  // The registry's number for this thread, 0 before it registered (or without registry).
  int32_t id() const { return id_.load(std::memory_order_relaxed); }
  bool autoDelete() const;
  // Changes autoDelete; takes effect only before start().
  void setAutoDelete(bool on);
  // run()'s result once it has returned (0 before).
  int exitCode() const { return exitCode_.load(std::memory_order_relaxed); }

 protected:
  // The thread's work; its result becomes exitCode().
  virtual int run() = 0;

 private:
  enum class Phase { Made, Starting, Started, RunReturned };

  void body();
  // After run(): unregisters unless abandoned, clears running, deletes itself with
  // autoDelete once start(wait) no longer looks at the object.
  void finish(bool abandoned);

  std::shared_ptr<ThreadRegistry::Members> registry_;
  std::thread thread_;
  mutable std::mutex stateMutex_;
  std::condition_variable stateChanged_;  // go signal, end of run(), stop request, waiter left
  Phase phase_ = Phase::Made;             // guarded by stateMutex_
  bool goSignalled_ = false;              // guarded by stateMutex_
  bool abandoned_ = false;                // guarded by stateMutex_
  bool waiterPresent_ = false;            // guarded by stateMutex_: start(wait) is waiting
  bool autoDelete_ = true;                // guarded by stateMutex_
  // Written under stateMutex_ (so a pause cannot miss the wake-up), read without it.
  std::atomic<bool> keepRunning_{true};
  std::atomic<bool> running_{false};
  std::atomic<int32_t> id_{0};
  std::atomic<int> exitCode_{0};
};

}  // namespace quillet
