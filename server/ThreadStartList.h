// ThreadStartList: the worker threads of a run in the order they are started, each with
// the message written when its start fails. The supervisor starts the list once per run;
// at the first failure it writes that entry's message (none when it is blank) and starts
// none of the later entries, and the run goes on with what started.
//
// Most threads are started in the waiting mode: the start returns only when the new thread
// has reported that its set-up is done (SetUpSignal). The list itself does not know which
// threads exist; the server's assembly (ServerThreads) fills it.
#pragma once

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "base/BaseThread.h"
#include "base/Str.h"
#include "server/runtime/MessageOutput.h"

namespace quillet {

// The report of a starting thread that its set-up is done (true) or failed (false). The
// starter waits for it; the thread gets the callback from reporter(). A callback that is
// destroyed without being called (the thread ended before it reported) counts as failed.
class SetUpSignal {
 public:
  SetUpSignal();

  // The callback for the new thread; call it once. Only one reporter per signal.
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
// the thread was given. False when the thread could not be started (deleted then) or its
// set-up failed.
[[nodiscard]] bool startAndAwaitSetUp(BaseThread* thread, SetUpSignal& signal);

class ThreadStartList {
 public:
  // One entry: start returns true when the thread runs.
  struct Entry {
    Str failureMessage;
    std::function<bool()> start;
  };

  void add(Str failureMessage, std::function<bool()> start);
  int count() const { return static_cast<int>(entries_.size()); }

  // Starts the entries in order (see above); returns how many started. A start that fails
  // while the running flag is cleared ends the sequence without a message.
  int startAll(MessageOutput& output) const;

 private:
  std::vector<Entry> entries_;
};

}  // namespace quillet
