// The stop sequence at the end of a run: every registered thread is asked to stop and
// waited for; threads that do not end within the time-out are given a short grace period
// and then abandoned (a thread cannot be killed safely on Linux, see BaseThread).
//
// Messages (timestamped): "Signaling threads to stop" once the first two pauses did not
// suffice; "Thread <ID> killed!" per abandoned thread; "Remaining threads killed!" when
// the late threads all ended within the grace period. A run whose threads were abandoned
// leaves ProcessContext::threadsAbandoned() set: its caller must not free what they use.
#pragma once

#include <cstdint>
#include <vector>

#include "base/ThreadRegistry.h"
#include "server/runtime/MessageOutput.h"

namespace quillet {

// T, in pauses of up to 750 ms: a service that stops for good has less time than a
// console run or a restart.
inline constexpr int kStopPausesConsole = 600;
inline constexpr int kStopPausesService = 300;

struct StopResult {
  bool timedOut = false;        // threads were still there after the time-out
  std::vector<int32_t> killed;  // ids of the abandoned threads
};

// Runs the stop sequence on registry with a time-out of timeoutPauses pauses.
StopResult runStopSequence(ThreadRegistry& registry, int timeoutPauses, MessageOutput& output);

}  // namespace quillet
