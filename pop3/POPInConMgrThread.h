// POPInConMgrThread: the POP3 inbound connection manager of a run. After every pause it
// walks the mailbox table in order and starts a POPInThread for each mailbox that is due
// (by its schedule, or every mailbox when a fetch-all request is pending), never one for a
// busy mailbox and never more at a time than the connection limit (0 = no limit). Each
// started mailbox has its schedule marked as run, also when its thread could not start.
//
// It fetches nothing itself and does not own the mailbox threads (they delete themselves).
#pragma once
#include <cstdint>
#include <functional>

#include "base/BaseThread.h"
#include "pop3/POPInContext.h"

namespace quillet {

class POPInConMgrThread : public BaseThread {
 public:
  // started is called once the manager runs (its set-up needs nothing else).
  explicit POPInConMgrThread(POPInContext& context, std::function<void(bool)> started = {});
  ~POPInConMgrThread() override;

 protected:
  int run() override;

 private:
  // One pass over the table; fetchAll makes every idle mailbox due.
  void pass(bool fetchAll);
  [[nodiscard]] bool isDue(int mailboxNumber, bool fetchAll, uint32_t now) const;
  // Waits in rounds of pauseRounds(1) while the limit is reached; false on a stop.
  [[nodiscard]] bool waitForFreeConnection();
  // Starts the mailbox's thread and waits until it has marked the mailbox busy (or the
  // run is stopping).
  [[nodiscard]] bool startMailbox(int mailboxNumber);
  void log(const Str& text) const;

  POPInContext& context_;
  std::function<void(bool)> started_;
  bool reportedStart_ = false;
};

}  // namespace quillet
