// One delivery run of one outbound group (see SMTPOutThread.h).
#include "smtp/outbound/SMTPOutThread.h"

#include "base/Clock.h"
#include "base/ErrorCodes.h"

namespace quillet {

bool isPostmasterSender(const Str& address) { return address.startsWith("POSTMASTER@", true); }

SMTPOutThread::SMTPOutThread(SMTPOutContext& context, uint32_t groupId,
                             std::function<void(bool)> started)
    : BaseThread(context.threads),
      context_(context),
      groupId_(groupId),
      started_(std::move(started)) {}

SMTPOutThread::~SMTPOutThread() {
  if (!reportedStart_ && started_) started_(false);
}

void SMTPOutThread::log(const Str& text) const {
  if (context_.write) context_.write(id(), text);
}

void SMTPOutThread::verboseLog(const Str& text) const {
  if (context_.settings.verbose) log(text);
}

uint32_t SMTPOutThread::options() const {
  uint32_t bits = context_.settings.verboseTransfer ? wsopt::kTrace : 0;
  if (context_.settings.esmtp) bits |= smtpopt::kEsmtp;
  return bits;
}

int SMTPOutThread::run() {
  if (!context_.queue.setRunning(groupId_, true)) return 0;  // the group is gone
  context_.counters.connections.fetch_add(1, std::memory_order_relaxed);
  reportedStart_ = true;
  if (started_) started_(true);

  std::unique_ptr<OutboundSession> session;
  if (context_.sessions) session = context_.sessions(id());
  if (session) deliver(*session);
  expire();

  context_.counters.connections.fetch_sub(1, std::memory_order_relaxed);
  static_cast<void>(context_.queue.setRunning(groupId_, false));
  return 0;
}

bool SMTPOutThread::openSession(OutboundSession& session) {
  const SMTPOutSettings& settings = context_.settings;
  const Str& host = settings.smartHost;
  verboseLog("Connecting with " + host);
  Str reply;
  ArrayStr transcript;
  int code = session.connect(host, settings.port, settings.localHostName,
                             "Connection established with ", options(), reply, transcript);
  if (code != 0) {
    log(errorText(code));
    failSession(code, Str(), ArrayStr());
    session.close();
    return false;
  }
  if (settings.esmtp && settings.checkExchange && !session.advertises("XEXCH50") &&
      !session.advertises("XXWALL30")) {
    log("Error: No Exchange server found at " + host + "!");
    log("No message will be sent to this host to prevent infinite loops");
    log("Either you have a proxy server with a virtual port mapping or the name or IP address "
        "is wrong");
    log("You can disable the checking in Helmcrest if your host is not an Exchange server");
    failSession(0, Str(), ArrayStr());
    verboseLog("Connection closed with " + host);
    session.close();
    return false;
  }
  if (settings.authenticate) {
    code = session.authenticate(settings.user, settings.password, options());
    if (code != 0) {
      log(errorText(code));
      failSession(code, Str(), ArrayStr());
      verboseLog("Connection closed with " + host);
      session.close();
      return false;
    }
  }
  return true;
}

void SMTPOutThread::deliver(OutboundSession& session) {
  if (!openSession(session)) return;
  bool quit = true;
  bool anyDelivered = false;
  bool first = true;
  uint32_t after = 0;
  SMTPInfo entry;
  while (keepRunning() && context_.queue.nextMessage(groupId_, after, entry)) {
    after = entry.queueId;
    if (!first) {
      const int code = session.reset(options());
      if (code != 0) {
        log(errorText(code));
        if (anyDelivered) {
          // The rest stay due and go with the next session.
          quit = !isConnectionLevel(code);
          break;
        }
        if (isConnectionLevel(code)) {
          failSession(code, Str(), ArrayStr());
          quit = false;
          break;
        }
        static_cast<void>(context_.queue.rescheduleMessage(
            groupId_, entry.queueId, code, Str(), ArrayStr(), context_.settings.retrySeconds));
        continue;
      }
    }
    first = false;
    bool delivered = false;
    if (!sendOne(session, entry, delivered)) {
      quit = false;
      break;
    }
    anyDelivered = anyDelivered || delivered;
  }
  if (quit) {
    const int code = session.quit(options());
    if (code != 0) log(errorText(code));
  }
  session.close();
  verboseLog("Connection closed with " + context_.settings.smartHost);
}

bool SMTPOutThread::sendOne(OutboundSession& session, const SMTPInfo& entry, bool& delivered) {
  SMTPInfoAddress sender = entry.sender;
  if (isPostmasterSender(sender.address)) sender.address = Str();  // the null reverse-path
  SMTPSendResult result;
  const int code = session.sendMessage(entry.messageFile, sender, entry.recipients, entry.priority,
                                       options(), result);
  const RecipientOutcomes outcomes = splitRecipients(code, entry.recipients, result);
  if (code != 0 && !isPermanent(code)) log(errorText(code));
  if (code == 0 && outcomes.pending.count() > 0) log(errorText(outcomes.pendingError));

  delivered = outcomes.delivered.count() > 0;
  if (delivered) {
    logSent(entry, result.rate);
    context_.counters.sent.fetch_add(1, std::memory_order_relaxed);
  }
  if (outcomes.refused.count() > 0) notifyRefused(entry, outcomes, result.transcript);

  const bool connectionLost = isConnectionLevel(code);
  if (outcomes.pending.count() == 0) {
    static_cast<void>(context_.queue.removeMessage(groupId_, entry.queueId));
  } else {
    bool written = true;
    if (outcomes.pending.count() != entry.recipients.count()) {
      written = context_.queue.keepOnlyRecipients(groupId_, entry.queueId, outcomes.pending);
    }
    // With the connection lost the whole group is rescheduled below, this entry with it.
    if (!connectionLost) {
      written = context_.queue.rescheduleMessage(groupId_, entry.queueId, outcomes.pendingError,
                                                 outcomes.pendingReply, result.transcript,
                                                 context_.settings.retrySeconds) &&
                written;
    }
    if (!written) log(errorText(err::kWriteTempFile) + " " + entry.indexFile);
  }
  if (connectionLost) {
    failSession(code, result.lastReply, result.transcript);
    return false;
  }
  return true;
}

void SMTPOutThread::failSession(int code, const Str& reply, const ArrayStr& transcript) {
  if (!context_.queue.rescheduleAll(groupId_, code, reply, transcript,
                                    context_.settings.retrySeconds)) {
    log(errorText(err::kWriteTempFile));
  }
}

void SMTPOutThread::notifyRefused(const SMTPInfo& entry, const RecipientOutcomes& outcomes,
                                  const ArrayStr& transcript) {
  if (!context_.notifyFailure) return;
  SMTPInfo failed = entry;
  failed.recipients = outcomes.refused;
  DeliveryFailure failure;
  failure.error = err::kPermanentFailure;
  failure.statusCode = outcomes.refusedStatus[1];
  failure.reply = outcomes.refusedReply;
  failure.transcript = transcript;
  failure.recipientStatus = outcomes.refusedStatus;
  context_.notifyFailure(id(), failed, failure);
}

void SMTPOutThread::logSent(const SMTPInfo& entry, int64_t rate) {
  if (!context_.settings.verbose) return;
  log(Str::fromInt(queuedFileKilobytes(entry.messageFile)) + " K sent (" + Str::fromInt(rate) +
      " cps)");
}

void SMTPOutThread::expire() {
  const uint32_t now = currentTimestamp();
  uint32_t after = 0;
  SMTPInfo entry;
  while (context_.queue.nextExpiredMessage(groupId_, after, now, entry)) {
    after = entry.queueId;
    if (context_.notifyFailure) {
      DeliveryFailure failure;
      failure.error = static_cast<int>(entry.lastError);
      failure.reply = entry.lastReply;
      failure.transcript = entry.transcript;
      failure.expired = true;
      context_.notifyFailure(id(), entry, failure);
    }
    static_cast<void>(context_.queue.removeMessage(groupId_, entry.queueId));
  }
}

}  // namespace quillet
