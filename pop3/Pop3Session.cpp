// The dialogue steps of one POP3 session (see Pop3Session.h and WSPOPClient.h).
#include "pop3/Pop3Session.h"

#include "base/ErrorCodes.h"
#include "base/ProcessContext.h"
#include "pop3/ApopDigest.h"

namespace quillet {

Pop3Session::Pop3Session(WSPOPClient& client, const QueueStore& store,
                         const POPSessionRequest& request, ArrayStr& knownUids,
                         POPSessionResult& result)
    : client_(client), store_(store), request_(request), knownUids_(knownUids), result_(result) {
  if (request.trace) wireOptions_ |= wsopt::kTrace;
  if (request.hidePassword) wireOptions_ |= wsopt::kHidePassword;
  uidlMode_ = request.leaveOnServer;
}

int Pop3Session::run() {
  result_.fetchedFiles.clear();
  result_.entries.clear();
  result_.morePending = false;
  // Checked before anything is sent: such a byte would end the PASS line early and let
  // the rest of the password reach the server as a command of its own.
  if (!pop3::isSendablePassword(request_.password)) return err::kAuthenticationFailed;

  int code = connect();
  Str greeting;
  if (code == 0) code = readGreeting(greeting);
  if (code == 0 && request_.security == ConnectionSecurity::StartTls) code = startTls();
  if (code == 0) code = logOn(greeting);
  if (code == 0) code = stat();
  if (code == 0 && request_.capa && messageCount_ > 0) code = readCapabilities();
  if (code == 0) code = walkMessages();
  if (code == 0 && !uidlMode_) code = deleteMessages();
  if (code == 0) code = quit();
  if (code == 0) {
    if (uidlMode_) knownUids_ = sessionUids_;
    return 0;
  }
  // Without QUIT the server deletes nothing (RFC 1939, section 6); the session failed
  // already, so how the close goes changes nothing.
  static_cast<void>(client_.close(WSClient::kCloseLingerMs));
  cleanUpAfterFailure();
  return code;
}

int Pop3Session::connect() {
  // A connection left from before is dropped; its close result belongs to no one.
  if (client_.isOpen()) static_cast<void>(client_.close(WSClient::kCloseLingerMs));
  (void)client_.startWinsock();
  int code = client_.open();
  if (code != 0) return code;
  if (stopRequested()) return err::kTerminated;
  client_.setTls(TlsSettings{request_.security == ConnectionSecurity::Tls, request_.trustFile});
  code = client_.connect(request_.host, request_.port, WSPOPClient::kConnectTimeoutMs,
                         wireOptions_ | socksOptionFor(client_.socks()));
  if (code == err::kConnectFailed) return err::kNoPop3Connection;
  if (code != 0) return code;
  if (stopRequested()) return err::kTerminated;
  if (client_.waitSocket(1, WSPOPClient::kConnectTimeoutMs) != 0) return err::kNoPortConnection;
  return 0;
}

int Pop3Session::readGreeting(Str& greeting) {
  // The greeting's text is not judged: some servers greet without "+OK".
  return client_.readLine(greeting, WSPOPClient::kReplyTimeoutMs, wireOptions_);
}

int Pop3Session::startTls() {
  Str reply;
  const int code = command("STLS", reply);
  if (code != 0) return code;
  if (!pop3::isPositiveReply(reply)) return rejected("STLS", reply);
  return client_.startTls(WSPOPClient::kReplyTimeoutMs);
}

int Pop3Session::logOn(const Str& greeting) {
  if (request_.apop) {
    bool loggedOn = false;
    const int code = tryApop(greeting, loggedOn);
    if (code != 0 || loggedOn) return code;
  }
  return userPass();
}

int Pop3Session::tryApop(const Str& greeting, bool& loggedOn) {
  const Str timestamp = pop3::apopTimestamp(greeting);
  if (timestamp.empty()) return 0;
  const Str line = Str("APOP ") + request_.user + " " + apopDigest(timestamp, request_.password);
  Str reply;
  const int code = command(line, reply);
  if (code != 0) return code;
  if (pop3::isPositiveReply(reply)) {
    loggedOn = true;
    return 0;
  }
  (void)rejected(line, reply);  // recorded; USER/PASS follows
  return 0;
}

int Pop3Session::userPass() {
  const Str userLine = Str("USER ") + request_.user;
  Str reply;
  int code = command(userLine, reply);
  if (code != 0) return code;
  if (!pop3::isPositiveReply(reply)) return rejected(userLine, reply);
  const Str passLine = Str("PASS ") + request_.password;
  code = command(passLine, reply);
  if (code != 0) return code;
  if (!pop3::isPositiveReply(reply)) return rejected(passLine, reply);
  return 0;
}

int Pop3Session::stat() {
  Str reply;
  const int code = command("STAT", reply);
  if (code != 0) return code;
  if (!pop3::isPositiveReply(reply)) return rejected("STAT", reply);
  messageCount_ = pop3::statMessageCount(reply);
  return 0;
}

int Pop3Session::readCapabilities() {
  const int sent = client_.sendLine("CAPA", wireOptions_);
  if (sent != 0) return isRetryLater(sent) ? sent : 0;
  // A server without CAPA, or one that garbles it, is used without capabilities.
  Str line;
  if (client_.readLine(line, WSPOPClient::kReplyTimeoutMs, wireOptions_) != 0 ||
      !pop3::isPositiveReply(line)) {
    return 0;
  }
  ArrayStr lines;
  for (;;) {
    if (client_.readLine(line, WSPOPClient::kReplyTimeoutMs, wireOptions_) != 0) return 0;
    if (line.equals(".")) break;
    if (lines.count() < WSPOPClient::kMaxCapabilityLines) lines.add(line);
  }
  capabilities_ = pop3::capabilitiesOf(lines);
  return 0;
}

int Pop3Session::walkMessages() {
  for (uint32_t number = 1; number <= messageCount_ && number != 0; ++number) {
    bool done = false;
    const int code = handleMessage(number, done);
    if (code != 0) return code;
    if (done) break;
  }
  return 0;
}

int Pop3Session::handleMessage(uint32_t number, bool& done) {
  if (stopRequested()) return err::kTerminated;
  if (uidlMode_) {
    bool known = false;
    const int code = uniqueIdKnown(number, known);
    if (code != 0) return code;
    if (known) return 0;
  }
  if (request_.maxMessageSize != 0) {
    bool allowed = true;
    const int code = sizeAllowed(number, allowed);
    if (code != 0) return code;
    if (!allowed) {
      deleteList_.push_back(number);  // too large: removed from the server unread
      return 0;
    }
  }
  const int code = retrieve(number);
  if (code == err::kNegativeReply && recoveredByNoop()) {
    deleteList_.push_back(number);
    return 0;
  }
  if (code != 0) return code;
  deleteList_.push_back(number);
  ++fetchedCount_;
  if (request_.maxMessages != 0 && fetchedCount_ >= request_.maxMessages) {
    result_.morePending = fetchedCount_ < messageCount_;
    done = true;
  }
  return 0;
}

int Pop3Session::uniqueIdKnown(uint32_t number, bool& known) {
  const Str line = Str("UIDL ") + Str::fromUInt(number);
  Str reply;
  const int code = command(line, reply);
  // A transport failure is fatal, unlike a rejection: after a time-out the late reply
  // would be read as the answer to the next command.
  if (code != 0) return code;
  if (!pop3::isPositiveReply(reply)) {
    (void)rejected(line, reply);
    uidlMode_ = false;  // without ids, leaving messages would fetch them again and again
    return 0;
  }
  const Str id = pop3::uniqueIdOf(reply);
  sessionUids_.add(id);
  if (id.empty()) return 0;
  for (const Str& knownId : knownUids_) {
    if (id.equalsIgnoreCase(knownId)) {
      known = true;
      break;
    }
  }
  return 0;
}

int Pop3Session::sizeAllowed(uint32_t number, bool& allowed) {
  const Str line = Str("LIST ") + Str::fromUInt(number);
  Str reply;
  const int code = command(line, reply);
  if (code != 0) return code;
  if (!pop3::isPositiveReply(reply)) return rejected(line, reply);
  allowed = pop3::listSize(reply) <= request_.maxMessageSize;
  return 0;
}

int Pop3Session::deleteMessages() {
  for (const uint32_t number : deleteList_) {
    if (stopRequested()) return err::kTerminated;
    const Str line = Str("DELE ") + Str::fromUInt(number);
    Str reply;
    const int code = command(line, reply);
    if (code != 0) return code;
    if (pop3::isPositiveReply(reply)) continue;
    const int rejection = rejected(line, reply);
    if (!recoveredByNoop()) return rejection;
  }
  return 0;
}

int Pop3Session::quit() {
  const int code = client_.sendLine("QUIT", wireOptions_);
  if (code != 0) return code;
  Str reply;
  if (client_.readLine(reply, WSPOPClient::kReplyTimeoutMs, wireOptions_) != 0 ||
      !pop3::isPositiveReply(reply)) {
    // The messages are safe on disk whatever the server did; only noted.
    result_.transcript.add(Str("QUIT"));
    result_.transcript.add(pop3::transcriptLine(reply, false));
  }
  // QUIT has been answered or not: what the server commits no longer depends on the close.
  static_cast<void>(client_.close(WSClient::kCloseLingerMs));
  return 0;
}

void Pop3Session::cleanUpAfterFailure() {
  if (request_.keepFilesOnError) return;
  for (SMTPInfo& entry : result_.entries) entry.clear(true);
  result_.entries.clear();
  result_.fetchedFiles.clear();
}

int Pop3Session::command(const Str& line, Str& reply) {
  return client_.command(line, reply, wireOptions_);
}

int Pop3Session::rejected(const Str& line, const Str& reply) {
  result_.transcript.add(pop3::transcriptLine(line, request_.hidePassword));
  result_.transcript.add(pop3::transcriptLine(reply, false));
  return err::kNegativeReply;
}

bool Pop3Session::recoveredByNoop() {
  if (!capabilities_.noopRecovery) return false;
  Str reply;
  return command("NOOP", reply) == 0 && pop3::isPositiveReply(reply);
}

bool Pop3Session::stopRequested() const { return !ProcessContext::instance().running(); }

}  // namespace quillet
