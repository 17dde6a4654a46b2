// The stop sequence (see StopSequence.h).
#include "server/StopSequence.h"

#include "base/ArrayTmpl.h"

namespace quillet {

namespace {

constexpr const char* kSignalingMessage = "Signaling threads to stop";

}  // namespace

StopResult runStopSequence(ThreadRegistry& registry, int timeoutPauses, MessageOutput& output) {
  StopResult result;
  // stopAll writes its message through the process context's sink (the run's output) only
  // when the first two pauses were not enough; a time-out below 2 would suppress it.
  const int rounds = timeoutPauses < 2 ? 2 : timeoutPauses;
  if (registry.stopAll(kSignalingMessage, rounds)) return result;
  result.timedOut = true;
  ArrayTmpl<int32_t> killedIds;
  registry.stopAllOrKill(killedIds);
  for (int i = 1; i <= killedIds.count(); ++i) {
    result.killed.push_back(killedIds[i]);
    output.write(Str("Thread ") + Str::fromInt(killedIds[i]) + " killed!", true);
  }
  if (killedIds.count() == 0) output.write("Remaining threads killed!", true);
  return result;
}

}  // namespace quillet
