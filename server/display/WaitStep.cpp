// WaitStep: keys, signal files and the break time during one Interval.
#include "server/display/WaitStep.h"

#include <thread>
#include <utility>

#include "base/Clock.h"
#include "base/DateTime.h"
#include "base/FileNames.h"
#include "base/ProcessContext.h"

namespace quillet {

WaitStep::WaitStep(WaitTimings timings, KeySource* keys, RunRequests& requests,
                   MessageOutput& output, Str signalDirectory, uint32_t breakAt,
                   std::function<void()> mailLog)
    : timings_(timings),
      keys_(keys),
      requests_(requests),
      output_(output),
      signalDirectory_(std::move(signalDirectory)),
      breakAt_(breakAt),
      mailLog_(std::move(mailLog)) {}

WaitResult WaitStep::run() {
  // The Interval runs on the monotonic clock, so setting the wall clock cannot stretch it;
  // the break time is a wall-clock moment.
  const WaitDeadline end(timings_.interval);
  // At least one poll per call, so an Interval of 0 cannot make the supervisor spin.
  for (bool polled = false;; polled = true) {
    if (!ProcessContext::instance().running()) return WaitResult::Continue;
    if (paused_ && paused_()) return WaitResult::Continue;
    if (polled && end.reached()) return WaitResult::Continue;
    if (breakAt_ != 0 && currentTimestamp() >= breakAt_) return WaitResult::Stop;
    if (keys_ != nullptr) {
      if (const std::optional<int> key = keys_->nextKey()) {
        if (handleKey(*key) == WaitResult::Stop) return WaitResult::Stop;
      }
    }
    checkSignalFiles();
    std::this_thread::sleep_for(timings_.poll);
  }
}

WaitResult WaitStep::handleKey(int key) {
  switch (key) {
    case KeySource::kEscape:
      return askToTerminate();
    case 'P':
      requests_.inboundRun.set();
      break;
    case 'Q':
      requests_.queueListing.set();
      break;
    case 'R':
      requests_.outboundRun.set();
      break;
    default:
      break;
  }
  return WaitResult::Continue;
}

WaitResult WaitStep::askToTerminate() {
  output_.write("", false);
  output_.write("Terminate Quillet ? (Yes/No)", false);
  // While the question is open only the keys count: not the running flag, the signal
  // files or the end of the Interval.
  const WaitDeadline end(timings_.question);
  while (!end.reached()) {
    bool answeredNo = false;
    while (const std::optional<int> key = keys_->nextKey()) {
      if (*key == 'Y' || *key == 'J' || *key == 'O') return WaitResult::Stop;
      if (*key == 'N') {
        answeredNo = true;
        break;
      }
    }
    if (answeredNo) break;
    std::this_thread::sleep_for(timings_.poll);
  }
  output_.write("Quillet resumes", false);
  return WaitResult::Continue;
}

void WaitStep::checkSignalFiles() {
  if (takeSignalFile(kInboundSignal, inboundReported_)) {
    requests_.inboundRun.set();
  } else if (takeSignalFile(kOutboundSignal, outboundReported_)) {
    requests_.outboundRun.set();
  } else if (takeSignalFile(kSendLogSignal, sendLogReported_)) {
    if (mailLog_) mailLog_();
  }
}

bool WaitStep::takeSignalFile(const char* name, bool& reported) {
  const Str path = signalDirectory_ + name;
  if (!fileExists(path)) {
    reported = false;
    return false;
  }
  if (removeFile(path)) {
    reported = false;
    return true;
  }
  if (!reported) {
    reported = true;
    output_.write(Str("Unable to delete signal file ") + path, true);
  }
  return false;
}

}  // namespace quillet
