// SMTPOutConMgrThread: the SMTP outbound connection manager of a run. At start it loads
// the queued messages of MSG-OUT into the outbound queue, each with its lifetime counted
// again from its queue time with the current setting. Then, about once a second, it shows
// the queue when asked (key Q), makes every message due when asked (key R, "OSMTP.sig"),
// and starts an SMTPOutThread for the next due group.
//
// Index files found on disk are untrusted: one that is short, garbled, too large or names
// a missing message file is skipped (with a log line) and left where it is.
// It delivers nothing itself and does not own the delivery threads (they delete
// themselves).
#pragma once
#include <cstdint>
#include <functional>

#include "base/BaseThread.h"
#include "smtp/outbound/SMTPOutContext.h"

namespace quillet {

class SMTPOutConMgrThread : public BaseThread {
 public:
  // started is called once the manager runs (before it loads the queue).
  explicit SMTPOutConMgrThread(SMTPOutContext& context, std::function<void(bool)> started = {});
  ~SMTPOutConMgrThread() override;

 protected:
  int run() override;

 private:
  // Loads every ONX file of MSG-OUT into the queue; returns how many were queued.
  int reload();
  // One round: the listing and send-now requests, then the next due group.
  void round();
  // Starts the group's delivery thread and waits until it has marked the group running.
  [[nodiscard]] bool startGroup(uint32_t groupId);
  void log(const Str& text) const;

  SMTPOutContext& context_;
  std::function<void(bool)> started_;
  bool reportedStart_ = false;
};

}  // namespace quillet
