// Network up and down around a mailbox fetch (see NetworkUpDown.h).
#include "net/NetworkUpDown.h"

#include <algorithm>
#include <chrono>
#include <thread>

#include "base/Clock.h"
#include "base/ProcessContext.h"

namespace quillet {
namespace {

Str entryAndAddress(const DialUp& dialUp) {
  Str text = dialUp.entryNameOem();
  text += " ";
  text += Str::encloseSquare(dialUp.localAddress());
  return text;
}

}  // namespace

NetworkUpDown::NetworkUpDown(DialUp* dialUp, RouterWakeUp* wakeUp, MessageSink sink,
                             Options options)
    : dialUp_(dialUp), wakeUp_(wakeUp), sink_(std::move(sink)), options_(std::move(options)) {
  if (!options_.running) options_.running = [] { return ProcessContext::instance().running(); };
}

void NetworkUpDown::message(int32_t threadId, const Str& text) const {
  if (options_.verbose && sink_) sink_(threadId, text);
}

int NetworkUpDown::networkUp(DialUpSession& holder, int32_t threadId) {
  if (dialUp_ != nullptr) {
    const int rc = dialUp_->enter(holder);
    if (rc == err::kOk) {
      Str text("Connected using Dial-up network using ");
      text += entryAndAddress(*dialUp_);
      message(threadId, text);
      return 0;
    }
    if (rc == err::kDialUpShared) {
      Str text("Entering existing Dial-up connection using ");
      text += entryAndAddress(*dialUp_);
      message(threadId, text);
      return 0;
    }
    return rc;
  }
  if (wakeUp_ == nullptr || !wakeUp_->enabled()) return 0;
  message(threadId, "Starting ICMPEcho to wake up router");
  (void)wakeUp_->run();  // its outcome shows in the fetch that follows
  return 0;
}

void NetworkUpDown::waitKeepOpen(const DialUpSession& holder) const {
  // Other threads may join the connection meanwhile and so keep it up. The wait is slept
  // in short slices so that a stop ends it at once.
  const WaitDeadline until(
      std::chrono::milliseconds(int64_t{dialUp_->keepOpen()} * options_.keepOpenStepMs));
  while (holder.entered && options_.running()) {
    const int sleepMs = until.sliceMs(250);
    if (sleepMs <= 0) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(sleepMs));
  }
}

int NetworkUpDown::networkDown(DialUpSession& holder, int32_t threadId) {
  if (dialUp_ == nullptr) return 0;
  waitKeepOpen(holder);
  const int rc = dialUp_->leave(holder);
  if (rc == err::kOk) {
    message(threadId, "Dial-up connection closed");
  } else if (rc == err::kDialUpShared) {
    message(threadId, "Leaving existing Dial-up connection");
  }
  return rc == err::kDialUpShared ? 0 : rc;
}

}  // namespace quillet
