// POPInThread: one run of one mailbox. It marks the mailbox busy, brings the network up,
// fetches until the mailbox is drained (a new connection while the server reports more
// pending) or a fetch fails, keeps the mailbox's known unique ids, reports failures to the
// log and the event log (and the status notifier when set), takes the network down and
// finally appends every fetched entry to the inbound queue in one step.
//
// The client has already written and flushed each message file and its index file; this
// thread only queues the entries in memory. It does not decide when a mailbox is due (the
// manager does) and sends no notification itself.
#pragma once
#include <cstdint>
#include <functional>

#include "base/BaseThread.h"
#include "base/Str.h"
#include "config/MailboxTable.h"
#include "pop3/POPInContext.h"
#include "pop3/WSPOPClient.h"

namespace quillet {

// Event ids of the mailbox thread's error entries.
namespace pop3event {
constexpr uint32_t kOtherError = 0xC0000004;
constexpr uint32_t kNegativeReply = 0xC0000005;
constexpr uint32_t kNetworkError = 0xC0000006;
constexpr uint32_t kProgramError = 0xC0000007;  // err::kConnectFailed
constexpr uint32_t kDialUpError = 0xC0000008;
}  // namespace pop3event

// The event id for a failed fetch's code.
[[nodiscard]] uint32_t pop3EventIdFor(int code);
// "host", or "host:port" when the port is not 110.
[[nodiscard]] Str pop3ServerText(const Str& host, int32_t port);
// "user", or "user (comment)" when there is a comment.
[[nodiscard]] Str pop3MailboxText(const Str& user, const Str& comment);

class POPInThread : public BaseThread {
 public:
  // A thread for mailbox number (1-based) of context's table; it copies the entry at
  // once, under the table lock. started is called once the entry is marked busy (true),
  // or with false when the thread ends without having done so.
  POPInThread(POPInContext& context, int mailboxNumber, std::function<void(bool)> started = {});
  ~POPInThread() override;

 protected:
  int run() override;

 private:
  void log(const Str& text) const;
  void event(uint32_t eventId, const Str& text) const;
  void notify(const Str& errorLine, const ArrayStr& transcript) const;
  // Logs a failure of bringing the network up or down and reports it.
  void networkFailure(int code) const;
  [[nodiscard]] POPSessionRequest sessionRequest() const;
  // The fetch loop; appends the entries of every fetch to fetched.
  void fetchAll(ArrayTmpl<SMTPInfo>& fetched);
  void setBusy(bool busy);

  POPInContext& context_;
  int mailboxNumber_;
  std::function<void(bool)> started_;
  bool reportedStart_ = false;
  // The copy of the mailbox entry.
  Str host_;
  int32_t port_ = 0;
  Str user_;
  Str comment_;
  Str password_;  // clear text
  Str routeTo_;
  ConnectionSecurity security_ = ConnectionSecurity::Plain;
  Str serverText_;
  Str mailboxText_;
};

}  // namespace quillet
