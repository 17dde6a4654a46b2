// The delivery status notifications: the failure notification to the sender of a message
// that could not be delivered (a permanent refusal or an expiry), the forward notification
// that encapsulates a diverted message for an administrator, and the status notification
// to the postmaster after a failed POP3 mailbox session.
//
// Each is composed by SMTPEncode from "System Administrator" <postmaster@host>: a report
// text; for a failure also a machine-readable delivery-status part (RFC 3464) and the
// original's header; for a forward the complete original. Failure and status
// notifications are queued here (null envelope sender, priority 5); a forward is composed
// only, its caller queues it like a decoded message.
//
// Loops are prevented by NotificationRecipients.h: no failure notification goes to a
// blank, placeholder, postmaster or our own sender address, or to one that is not valid.
// Everything taken from the failed message or a server reply is untrusted: the composer
// and the report's builders keep it from breaking or adding a header line.
//
// Safe to call from several threads at once: it holds only settings and callbacks, and
// every call works on files of its own. The header names no parser type, so the server,
// whose data-file address list has the parser's list name, can hold one.
#pragma once

#include <cstdint>
#include <functional>

#include "base/ArrayTmpl.h"
#include "base/Str.h"
#include "server/queue/QueueStore.h"
#include "server/queue/SMTPInfo.h"
#include "smtp/ComposedQueueing.h"
#include "smtp/DeliveryFailure.h"
#include "smtp/UniqueSource.h"

namespace quillet {

// The settings and host facts the notifications use.
struct NotificationSettings {
  Str programDirectory;               // where "smtpdsn.txt" is; '/'-terminated or empty
  Str localHostName;                  // the domain of the sender postmaster@host
  Str postmaster;                     // Postmaster
  bool postmasterAsCc = true;         // PostmasterAsCCInNDR
  uint32_t lifetimeSeconds = 259200;  // SMTPOutboundNormalExpire
  Str programText = "Runnel";         // the reporting program in status notifications
  Str mailer;                         // the X-Mailer text
};

// A message the decode thread diverts to administrators.
struct ForwardRequest {
  Str messageFile;              // the stored message, attached complete
  ArrayStr originalRecipients;  // whom it was meant for
  ArrayStr recipients;          // the administrators it goes to
  Str statusCode;               // e.g. "5.9.2" for a virus
  ArrayStr reasonLines;         // shown as "Additional info:"
};

class DeliveryNotifications {
 public:
  static constexpr const char* kSenderName = "System Administrator";

  // One log line of a thread ("0003: " + text).
  using LogLine = std::function<void(int32_t threadId, const Str& text)>;

  DeliveryNotifications(NotificationSettings settings, const QueueStore& store, LogLine log,
                        OutboundHandOver handOver, UniqueSource& unique = systemUniqueSource());

  // The failure notification about failed (a queue entry whose recipients are the failed
  // ones; its message file still exists). True when a notification was queued; false for
  // a loop-prevention case (nothing logged) or a failure ("Failed to send DSN" logged).
  bool sendFailure(int32_t threadId, const SMTPInfo& failed, const DeliveryFailure& failure) const;

  // Composes the forward notification into a new file of MSG-OUT and sets path; the caller
  // queues it (priority 3, the request's recipients). False, with nothing written, when a
  // recipient may not receive a notification or composing failed ("Failed to send DSN").
  bool composeForward(int32_t threadId, const ForwardRequest& request, Str& path) const;

  // The status notification to the Postmaster address: lines as "Additional info:" and the
  // session's transcript. True when queued; false when there is no valid Postmaster address
  // or it failed ("Failed to send DSN" logged).
  bool sendStatus(int32_t threadId, const ArrayStr& lines, const ArrayStr& transcript) const;

  const NotificationSettings& settings() const { return settings_; }

 private:
  void log(int32_t threadId, const Str& text) const;

  NotificationSettings settings_;
  const QueueStore& store_;
  LogLine log_;
  OutboundHandOver handOver_;
  UniqueSource& unique_;
  Str sender_;  // postmaster@host
};

}  // namespace quillet
