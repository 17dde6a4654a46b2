// SMTPOutThread: one delivery run of one outbound group. It marks the group running,
// opens one SMTP session with the mail host (connect, the Exchange check, authentication),
// sends every message of the group over it with RSET between messages, applies the retry
// rule to what failed, removes what was delivered or refused for good, QUITs, and finally
// gives up the group's expired messages.
//
// A message's files are removed only when no recipient of it is left pending and the
// server's final reply accepted the data; recipients refused for good get one failure
// notification, recipients refused for now stay on the entry (its index rewritten with
// just them) and follow the retry rule. A connection-level failure reschedules the whole
// group and ends the session without QUIT.
//
// It works on copies of the queue's entries and changes the queue only through its
// operations; it decides nothing about when a group is due (the manager does).
#pragma once
#include <cstdint>
#include <functional>
#include <memory>

#include "base/BaseThread.h"
#include "base/Str.h"
#include "smtp/outbound/OutboundSession.h"
#include "smtp/outbound/RecipientOutcomes.h"
#include "smtp/outbound/SMTPOutContext.h"

namespace quillet {

class SMTPOutThread : public BaseThread {
 public:
  // A thread for the group with groupId. started is called once the group is marked
  // running (true), or with false when the thread ends without having done so.
  SMTPOutThread(SMTPOutContext& context, uint32_t groupId, std::function<void(bool)> started = {});
  ~SMTPOutThread() override;

 protected:
  int run() override;

 private:
  // Steps 2 to 7: the session. Returns when it is over and closed.
  void deliver(OutboundSession& session);
  // Connect, the Exchange check and authentication; false when the session is over.
  [[nodiscard]] bool openSession(OutboundSession& session);
  // Sends one message and handles its outcome; returns false when the session cannot go on
  // (the group has been rescheduled).
  [[nodiscard]] bool sendOne(OutboundSession& session, const SMTPInfo& entry, bool& delivered);
  // A failure that concerns the whole session: the group is rescheduled.
  void failSession(int code, const Str& reply, const ArrayStr& transcript);
  void notifyRefused(const SMTPInfo& entry, const RecipientOutcomes& outcomes,
                     const ArrayStr& transcript);
  void logSent(const SMTPInfo& entry, int64_t rate);
  void expire();
  void log(const Str& text) const;
  void verboseLog(const Str& text) const;
  [[nodiscard]] uint32_t options() const;

  SMTPOutContext& context_;
  uint32_t groupId_;
  std::function<void(bool)> started_;
  bool reportedStart_ = false;
};

// True for a sender that goes out with the null reverse-path: "POSTMASTER@..." in any case.
[[nodiscard]] bool isPostmasterSender(const Str& address);

}  // namespace quillet
