// The start sequence of a run's worker threads (see ThreadStartList.h).
#include "server/ThreadStartList.h"

#include <utility>

#include "base/ProcessContext.h"

namespace quillet {

void ThreadStartList::add(Str failureMessage, std::function<bool()> start) {
  entries_.push_back({std::move(failureMessage), std::move(start)});
}

int ThreadStartList::startAll(MessageOutput& output) const {
  int started = 0;
  for (const Entry& entry : entries_) {
    if (!entry.start()) {
      // A start cut short by a stop request is no failure worth reporting.
      const bool stopping = !ProcessContext::instance().running();
      if (!stopping && !entry.failureMessage.isBlank()) output.write(entry.failureMessage, true);
      break;
    }
    ++started;
  }
  return started;
}

}  // namespace quillet
