// Running a worker thread in a test (see ThreadRuns.h).
#include "tests/support/ThreadRuns.h"

#include "tests/support/Waiting.h"

namespace quillet::testing {

bool runThreadUntil(BaseThread& thread, const std::function<bool()>& done, int maxMs) {
  thread.setAutoDelete(false);
  if (!thread.start()) return false;
  (void)waitUntil(done, maxMs);
  thread.requestStop();
  thread.join();
  return true;
}

}  // namespace quillet::testing
