// ThreadStart: starting a self-deleting worker thread, and waiting until a new thread has
// reported that its set-up is done. Every "start and wait for its set-up" of the programs
// goes through here: the server's start list, the POP3 inbound manager starting mailbox
// threads, and whatever starts threads later.
//
// The thread gets a reporter callback from a SetUpSignal and calls it once, with true when
// its set-up is done or false when it failed. The starter waits on the signal. A thread that
// ends, or is deleted, without reporting counts as failed, so the starter never waits for
// a report that cannot come; nor does it wait on when the run is stopping (the process
// running flag is cleared).
#pragma once

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>

#include "base/BaseThread.h"

namespace quillet {

// The report of a starting thread that its set-up is done (true) or failed (false).
class SetUpSignal {
 public:
  SetUpSignal();

  // The callback for the new thread; call it once. Only one reporter per signal. A
  // callback destroyed without being called reports a failure.
  [[nodiscard]] std::function<void(bool setUpDone)> reporter();

  // Waits for the report: true when the set-up is done; false when it failed, or when
  // the process running flag is cleared meanwhile (the run is stopping).
  [[nodiscard]] bool wait();

 private:
  struct State {
    std::mutex mutex;
    std::condition_variable reported;
    bool done = false;  // guarded by mutex
    bool ok = false;    // guarded by mutex
    void report(bool setUpDone);
  };
  struct Token;

  std::shared_ptr<State> state_;
};

// Starts a self-deleting thread (made with new) without waiting. False when it could not
// be started; the object is deleted then.
[[nodiscard]] bool startDetached(BaseThread* thread);

// Starts a self-deleting thread and waits until it reports through signal, whose reporter
// the thread was given. False when the thread could not be started (deleted then), its
// set-up failed, or the run stopped while it was waited for.
[[nodiscard]] bool startAndAwaitSetUp(BaseThread* thread, SetUpSignal& signal);

}  // namespace quillet
