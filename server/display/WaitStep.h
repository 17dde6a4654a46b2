// WaitStep: how the supervising thread spends one Interval. It polls the operator's keys
// and the signal files of the program directory every poll period and answers whether the
// server goes on or stops:
//   Escape  asks "Terminate Quillet ? (Yes/No)"; Y, J or O stop, N or the end of the
//           question time resume ("Quillet resumes").
//   P, Q, R set the inbound run, queue listing and outbound run requests.
//   "IPOP3.sig", "OSMTP.sig", "SendLog.sig": deleted when seen, at most one per poll, and
//           acted on like P, like R, or by mailing the log.
// The break time stops the server once it has come; a cleared running flag ends the wait.
//
// It does not mail the log itself (a callback does), and never reads a signal file's
// contents. A signal file that cannot be deleted is not acted on (it would act again on
// every poll); it is reported once.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>

#include "base/Str.h"
#include "server/display/KeySource.h"
#include "server/runtime/MessageOutput.h"
#include "server/runtime/RunState.h"

namespace quillet {

struct WaitTimings {
  std::chrono::milliseconds interval{60000};  // Interval
  std::chrono::milliseconds poll{300};        // between looks at keys and signal files
  std::chrono::milliseconds question{60000};  // how long the terminate question waits
};

enum class WaitResult { Continue, Stop };

class WaitStep {
 public:
  static constexpr const char* kInboundSignal = "IPOP3.sig";
  static constexpr const char* kOutboundSignal = "OSMTP.sig";
  static constexpr const char* kSendLogSignal = "SendLog.sig";

  // keys may be null (no terminal: no key handling). signalDirectory ends in '/' or is
  // empty (the current directory). breakAt is a timestamp, 0 = no break. mailLog runs on
  // the calling thread when "SendLog.sig" was seen; it may be empty.
  WaitStep(WaitTimings timings, KeySource* keys, RunRequests& requests, MessageOutput& output,
           Str signalDirectory, uint32_t breakAt, std::function<void()> mailLog);

  // One Interval of waiting (at least one poll): Stop when the operator confirmed the
  // terminate question or the break time has come; Continue at the end of the Interval or
  // when the process running flag is cleared.
  [[nodiscard]] WaitResult run();

  // A pause request (service pause) ends the wait at the next poll with Continue, so the
  // supervisor stands still at once instead of after the rest of the Interval.
  void setPauseCheck(std::function<bool()> paused) { paused_ = std::move(paused); }

 private:
  // Handles one key press; Stop only from a confirmed terminate question.
  [[nodiscard]] WaitResult handleKey(int key);
  [[nodiscard]] WaitResult askToTerminate();
  // Looks for the signal files in order and acts on the first one present.
  void checkSignalFiles();
  // Deletes the signal file if present; true when it was there and is gone now.
  [[nodiscard]] bool takeSignalFile(const char* name, bool& reported);

  WaitTimings timings_;
  KeySource* keys_;
  RunRequests& requests_;
  MessageOutput& output_;
  Str signalDirectory_;
  uint32_t breakAt_;
  std::function<void()> mailLog_;
  std::function<bool()> paused_;
  bool inboundReported_ = false;
  bool outboundReported_ = false;
  bool sendLogReported_ = false;
};

}  // namespace quillet
