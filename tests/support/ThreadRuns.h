// Running a worker thread in a test for as long as the test needs it: started, left to work
// until a condition holds (or a time limit passes), then asked to stop and joined.
#pragma once

#include <functional>
#include <memory>

#include "base/BaseThread.h"

namespace quillet::testing {

// Starts thread (which must not delete itself), waits until done() holds or maxMs passed,
// then stops and joins it. False when it could not be started.
bool runThreadUntil(BaseThread& thread, const std::function<bool()>& done, int maxMs);

}  // namespace quillet::testing
