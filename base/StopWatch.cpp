// The millisecond tick count behind StopWatch (see StopWatch.h).
#include "base/StopWatch.h"

#include <chrono>

#include "base/Clock.h"

namespace quillet {

uint32_t StopWatch::tickCount() {
  auto sinceBoot = MonotonicClock::now().time_since_epoch();
  auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(sinceBoot).count();
  return static_cast<uint32_t>(static_cast<uint64_t>(ms));
}

}  // namespace quillet
