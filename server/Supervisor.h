// Supervisor: the loop that runs a server run once it is set up. Until the threads are
// started it tries, once per wait step, to take the instance lock "QUILLETSVC.LCK", to
// load the data files under the data lock, and to pass the configuration check; then it
// starts the thread list once. Every pass it ends the run with Restart when QUILLET.INI
// or a data file has changed, and with Stop when the running flag is cleared or the wait
// step answers stop. While paused (SIGUSR1 in service mode) it stands still, but a stop
// still ends it.
//
// It does not stop the threads (the stop sequence does) and does not own the locks'
// lifetime beyond the run: the instance lock belongs to the run, the data lock is taken
// and released inside each load. The wait step, the pause state and the status reports
// come in as functions, so tests drive the loop with short waits.
#pragma once

#include <chrono>
#include <functional>

#include "base/Sema.h"
#include "base/Str.h"
#include "config/ServerSettings.h"
#include "server/AppData.h"
#include "server/ThreadStartList.h"
#include "server/display/WaitStep.h"

namespace quillet {

inline constexpr const char* kInstanceLockName = "QUILLETSVC.LCK";

// The configuration problem that keeps the threads from starting, as its message; empty
// when SmartHost is set and Postmaster is a valid address.
[[nodiscard]] Str configurationError(const ServerSettings& settings);

class Supervisor {
 public:
  enum class Outcome { Stop, Restart };

  struct Hooks {
    // One wait step (one Interval): Stop or Continue.
    std::function<WaitResult()> wait;
    // True while the loop shall stand still (default: never).
    std::function<bool()> paused;
    // Receives a short status text when the loop's state changes (default: nowhere).
    std::function<void(const Str&)> status;
    // How often a paused loop looks at the pause state and the running flag.
    std::chrono::milliseconds pausePoll{250};
  };

  Supervisor(AppData& app, Sema& instanceLock, const ThreadStartList& threads, Hooks hooks);

  // Runs the loop until it ends (see above).
  [[nodiscard]] Outcome run();

  // True once the thread list was started in this run.
  bool started() const { return started_; }

 private:
  // The steps of a pass before the threads run; true when they were started now.
  bool tryToStart();
  // Stands still while paused; returns when continued or the running flag was cleared.
  void standStillWhilePaused();
  void reportStatus(const Str& text);

  AppData& app_;
  Sema& instanceLock_;
  const ThreadStartList& threads_;
  Hooks hooks_;
  bool started_ = false;
};

}  // namespace quillet
