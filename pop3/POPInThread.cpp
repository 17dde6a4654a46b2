// One run of one mailbox (see POPInThread.h).
#include "pop3/POPInThread.h"

#include <cstdio>

#include "base/DateTime.h"
#include "base/ErrorCodes.h"
#include "base/Password.h"
#include "net/DialUp.h"

namespace quillet {

uint32_t pop3EventIdFor(int code) {
  if (code == err::kConnectFailed) return pop3event::kProgramError;
  if (code == err::kNegativeReply) return pop3event::kNegativeReply;
  if (isRetryLater(code)) return pop3event::kNetworkError;
  return pop3event::kOtherError;
}

Str pop3ServerText(const Str& host, int32_t port) {
  if (port == 110) return host;
  return host + ":" + Str::fromInt(port);
}

Str pop3MailboxText(const Str& user, const Str& comment) {
  if (comment.empty()) return user;
  return user + " (" + comment + ")";
}

POPInThread::POPInThread(POPInContext& context, int mailboxNumber,
                         std::function<void(bool)> started)
    : BaseThread(context.threads),
      context_(context),
      mailboxNumber_(mailboxNumber),
      started_(std::move(started)) {
  BaseObj::Guard guard(context_.mailboxes);
  if (mailboxNumber_ < 1 || mailboxNumber_ > context_.mailboxes.count()) return;
  const POPItem& item = context_.mailboxes.item(mailboxNumber_);
  host_ = item.host;
  security_ = item.security;
  port_ = pop3PortFor(item.port, item.security, context_.settings.defaultPort);
  user_ = item.user;
  comment_ = item.comment;
  password_ = descramble(item.password, kPOP3MailboxPasswordKey);
  routeTo_ = item.routeTo;
  serverText_ = pop3ServerText(host_, port_);
  mailboxText_ = pop3MailboxText(user_, comment_);
}

POPInThread::~POPInThread() {
  if (!reportedStart_ && started_) started_(false);
}

void POPInThread::log(const Str& text) const {
  if (context_.write) context_.write(id(), text);
}

void POPInThread::event(uint32_t eventId, const Str& text) const {
  if (context_.event) context_.event(eventId, text);
}

void POPInThread::notify(const Str& errorLine, const ArrayStr& transcript) const {
  if (!context_.settings.statusNotification || !context_.statusNotifier) return;
  ArrayStr lines;
  lines.add("POP3 MailBox: " + mailboxText_);
  lines.add("POP3 Server: " + serverText_);
  lines.add(errorLine);
  context_.statusNotifier(id(), lines, transcript);
}

void POPInThread::networkFailure(int code) const {
  const Str failure = context_.dialUp ? context_.dialUp->errorText(code) : errorText(code);
  log(failure);
  event(pop3event::kDialUpError, failure);
  notify(failure, ArrayStr());
}

void POPInThread::setBusy(bool busy) {
  BaseObj::Guard guard(context_.mailboxes);
  if (mailboxNumber_ < 1 || mailboxNumber_ > context_.mailboxes.count()) return;
  context_.mailboxes.item(mailboxNumber_).busy = busy ? 1 : 0;
}

POPSessionRequest POPInThread::sessionRequest() const {
  const POPInSettings& settings = context_.settings;
  POPSessionRequest request;
  request.host = host_;
  request.port = port_;
  request.user = user_;
  request.password = password_;
  request.security = security_;
  request.trustFile = settings.trustFile;
  request.maxMessageSize = settings.maxMessageSize;
  request.maxMessages = settings.maxMessages;
  request.routeTo = routeTo_;
  request.trace = settings.verboseTransfer;
  request.hidePassword = settings.hidePassword;
  request.keepFilesOnError = settings.keepFilesOnError;
  request.leaveOnServer = settings.leaveOnServer;
  request.apop = settings.apop;
  request.capa = settings.capa;
  return request;
}

void POPInThread::fetchAll(ArrayTmpl<SMTPInfo>& fetched) {
  const bool leaveOnServer = context_.settings.leaveOnServer;
  if (leaveOnServer && !context_.uidl.ensureLoaded()) {
    // Without the ids every message left on the server would be fetched and delivered
    // again, and saving would replace the other mailboxes' ids: nothing is fetched.
    const Str failure = "Error: Unable to read " + context_.uidl.filePath();
    log(failure);
    event(pop3event::kOtherError, failure);
    notify(failure, ArrayStr());
    return;
  }
  WSPOPClient client(context_.store);
  client.setId(static_cast<uint32_t>(id()));  // the transfer trace names this thread
  client.setSocks(context_.settings.socks);
  for (;;) {
    ArrayStr knownIds;
    if (leaveOnServer) context_.uidl.knownIds(host_, user_, knownIds);
    log("Connection opened with " + serverText_ + " for " + mailboxText_);
    POPSessionResult result;
    const int code = client.FetchMailbox(sessionRequest(), knownIds, result);
    for (int i = 1; i <= result.entries.count(); ++i) fetched.add(result.entries[i]);
    const Str failure = code != 0 ? errorText(code) : Str();
    if (code != 0) log(failure);
    log("Connection closed with " + serverText_ + " for " + mailboxText_);
    if (code != 0) {
      event(pop3EventIdFor(code), failure);
      notify(failure, result.transcript);
      return;
    }
    if (leaveOnServer && !context_.uidl.saveIds(host_, user_, knownIds)) {
      log("Error: Unable to save the unique ids to " + context_.uidl.filePath());
    }
    if (!result.morePending || !keepRunning()) return;
  }
}

int POPInThread::run() {
  setBusy(true);
  context_.counters.connections.fetch_add(1, std::memory_order_relaxed);
  context_.runningMailboxThreads.fetch_add(1, std::memory_order_relaxed);
  reportedStart_ = true;
  if (started_) started_(true);

  ArrayTmpl<SMTPInfo> fetched;
  DialUpSession holder;
  NetworkUpDown* network = context_.network;
  const int upCode = network ? network->networkUp(holder, id()) : 0;
  if (upCode != 0) {
    networkFailure(upCode);
  } else {
    fetchAll(fetched);
  }
  // Taken down in any case: a failed "up" may still hold a half-made connection.
  const int downCode = network ? network->networkDown(holder, id()) : 0;
  if (downCode != 0) networkFailure(downCode);

  if (fetched.count() > 0) {
    context_.inbound.appendRun(fetched);
    context_.counters.received.fetch_add(static_cast<uint32_t>(fetched.count()),
                                         std::memory_order_relaxed);
  }
  context_.runningMailboxThreads.fetch_sub(1, std::memory_order_relaxed);
  context_.counters.connections.fetch_sub(1, std::memory_order_relaxed);
  setBusy(false);
  return 0;
}

}  // namespace quillet
