// ThreadStartList: the worker threads of a run in the order they are started, each with
// the message written when its start fails. The supervisor starts the list once per run;
// at the first failure it writes that entry's message (none when it is blank) and starts
// none of the later entries, and the run goes on with what started.
//
// Most threads are started in the waiting mode: the start returns only when the new thread
// has reported that its set-up is done (base/ThreadStart.h). The list itself does not know
// which threads exist; the server's assembly (ServerThreads) fills it.
#pragma once

#include <functional>
#include <vector>

#include "base/Str.h"
#include "base/ThreadStart.h"
#include "server/runtime/MessageOutput.h"

namespace quillet {

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
