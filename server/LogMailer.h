// The log mailing: on request (the signal file "SendLog.sig") the current log file,
// packed into "strandel.zip" in the program directory, is mailed to the receivers of
// SendLogFileTo, or to the Postmaster when that list is empty. The mail is composed into
// the outbound queue and delivered later like any other outbound message.
//
// When the archive cannot be made the plain log is attached instead. The receivers come
// from settings: each entry is read as an address list, and only valid addresses are
// used; with none at all nothing is mailed and an error line says why.
#pragma once

#include <cstdint>
#include <functional>

#include "base/ArrayTmpl.h"
#include "base/Str.h"
#include "server/queue/QueueStore.h"
#include "smtp/ComposedQueueing.h"
#include "smtp/UniqueSource.h"

namespace quillet {

struct LogMailSettings {
  ArrayStr sendTo;                    // SendLogFileTo
  Str postmaster;                     // Postmaster: the sender, and the receiver by default
  uint32_t lifetimeSeconds = 259200;  // SMTPOutboundNormalExpire
  Str programDirectory;               // where strandel.zip goes; '/'-terminated or empty
  Str localHostName;                  // for the Message-ID
  Str mailer;                         // the X-Mailer text
};

class LogMailer {
 public:
  // One line of the message output as thread number 0.
  using LogLine = std::function<void(const Str& text)>;

  LogMailer(LogMailSettings settings, const QueueStore& store, LogLine log,
            OutboundHandOver handOver, UniqueSource& unique = systemUniqueSource());

  // Mails the log file at logPath: "Sending logfile to " + the first receiver, the archive
  // (or "Error: Failed to create zip file from logfile" and the plain log), the message
  // queued, "Logfile sent to " + the first receiver. True when the message was queued.
  bool mail(const Str& logPath) const;

  // The valid receivers, in order (SendLogFileTo, else Postmaster).
  [[nodiscard]] ArrayStr receivers() const;

 private:
  LogMailSettings settings_;
  const QueueStore& store_;
  LogLine log_;
  OutboundHandOver handOver_;
  UniqueSource& unique_;
};

}  // namespace quillet
