// The session side of WSSMTPClient: connecting, greeting, STARTTLS, authentication, RSET,
// QUIT, the VRFY session and reading replies (see WSSMTPClient.h). Message transfer is in
// SmtpTransfer.cpp.
#include "smtp/WSSMTPClient.h"

#include <string>

#include "base/ErrorCodes.h"
#include "base/ProcessContext.h"
#include "base/StopWatch.h"
#include "decode/ContentEncoders.h"

namespace quillet {
namespace {

bool stopRequested() { return !ProcessContext::instance().running(); }

bool isRefusal(int code) {
  return code == err::kPermanentFailure || code == err::kTemporaryFailure || code == err::kReply590;
}

bool isSocksFailure(int code) {
  return code >= err::kSocks4ConnectFailed && code <= err::kSocks5BadAddressType;
}

// The failing reply's lines as the transcript of a refused greeting or HELO.
void replaceWithReply(ArrayStr& transcript, const smtp::Reply& reply) {
  transcript.clear();
  for (const Str& line : reply.lines) transcript.add(smtp::transcriptLine(line));
}

}  // namespace

void WSSMTPClient::setStartTls(StartTlsMode mode, const Str& trustFile) {
  startTls_ = mode;
  trustFile_ = trustFile;
}

bool WSSMTPClient::advertises(const char* keyword) const {
  return smtp::advertises(extensions_, keyword);
}

bool WSSMTPClient::AdvertisesXEXCH50() const { return advertises("XEXCH50"); }

bool WSSMTPClient::AdvertisesXXWALL30() const { return advertises("XXWALL30"); }

// --- connecting and greeting ---

int WSSMTPClient::Connect(const Str& host, int port, const Str& localHostName,
                          const Str& statusText, uint32_t options, Str& lastReply,
                          ArrayStr& transcript) {
  lastReply_ = Str();
  lastStatus_ = Str();
  extensions_.clear();
  int code = openConnection(host, port, options);
  if (code != 0) return code;
  if (!statusText.isBlank() && statusSink_) statusSink_(statusText + host);
  code = greet(localHostName, options, transcript);
  if (code == 0) code = upgradeToTls(localHostName, options, transcript);
  // A refused EHLO answered by HELO, or a refused optional STARTTLS, is no failure.
  lastReply = code == 0 ? Str() : lastReply_;
  return code;
}

int WSSMTPClient::openConnection(const Str& host, int port, uint32_t options) {
  if (isOpen()) static_cast<void>(close(kCloseLingerMs));  // a connection left from before
  (void)startWinsock();
  int code = open();
  if (code != 0) return code;
  if (stopRequested()) return err::kTerminated;
  // STARTTLS later upgrades the plain session; nothing starts TLS at once.
  setTls(TlsSettings{false, trustFile_, startTls_ == StartTlsMode::Required});
  code = connect(host, port, kConnectTimeoutMs, options);
  if (code == err::kConnectFailed) return err::kNoMailHostConnection;
  if (isSocksFailure(code)) return err::kNoPortConnection;
  if (code != 0) return code;
  if (stopRequested()) return err::kTerminated;
  return 0;
}

int WSSMTPClient::greet(const Str& localHostName, uint32_t options, ArrayStr& transcript) {
  smtp::Reply reply;
  ArrayStr refused;
  int code =
      awaitReply("(greeting)", smtp::Phase::Greeting, longReplyTimeoutMs_, options, refused, reply);
  if (code != 0) {
    if (isRefusal(code)) replaceWithReply(transcript, reply);
    return code;
  }
  return hello(localHostName, options, transcript);
}

int WSSMTPClient::hello(const Str& localHostName, uint32_t options, ArrayStr& transcript) {
  smtp::Reply reply;
  ArrayStr refused;
  int code = 0;
  if ((options & smtpopt::kEsmtp) != 0) {
    code = exchange(Str("EHLO ") + localHostName, smtp::Phase::Greeting, longReplyTimeoutMs_,
                    options, refused, reply);
    if (code == 0) {
      extensions_ = smtp::extensionsOf(reply.lines);
      return 0;
    }
    // A server that does not know EHLO answers it with an error and still takes HELO.
    if (!isRefusal(code) || !isOpen()) return code;
  }
  code = exchange(Str("HELO ") + localHostName, smtp::Phase::Greeting, longReplyTimeoutMs_, options,
                  refused, reply);
  if (isRefusal(code)) replaceWithReply(transcript, reply);
  return code;
}

int WSSMTPClient::upgradeToTls(const Str& localHostName, uint32_t options, ArrayStr& transcript) {
  switch (startTls_) {
    case StartTlsMode::Never:
      return 0;
    case StartTlsMode::WhenOffered:
      if (!advertises("STARTTLS")) return 0;
      break;
    case StartTlsMode::Required:
      if (!advertises("STARTTLS")) return err::kTlsNotOffered;
      break;
  }
  smtp::Reply reply;
  ArrayStr refused;
  int code = exchange("STARTTLS", smtp::Phase::Greeting, replyTimeoutMs_, options, refused, reply);
  if (isRefusal(code)) {
    // Offered but refused for now: an optional upgrade goes on in plain text.
    if (startTls_ == StartTlsMode::WhenOffered) return 0;
    replaceWithReply(transcript, reply);
    return code;
  }
  if (code != 0) return code;
  code = startTls(longReplyTimeoutMs_);
  if (code != 0) return code;
  traceNote("TLS started", options);
  // RFC 3207 section 4.2: the client forgets what it learnt before and greets again.
  extensions_.clear();
  return hello(localHostName, options, transcript);
}

// --- authentication ---

int WSSMTPClient::Authenticate(const Str& user, const Str& password, uint32_t options) {
  lastReply_ = Str();
  lastStatus_ = Str();
  if (smtp::offersAuthMechanism(extensions_, "LOGIN")) return authLogin(user, password, options);
  if (smtp::offersAuthMechanism(extensions_, "PLAIN")) return authPlain(user, password, options);
  return err::kNoAuthLogin;
}

int WSSMTPClient::authLogin(const Str& user, const Str& password, uint32_t options) {
  smtp::Reply reply;
  ArrayStr transcript;
  int code = exchange("AUTH LOGIN", smtp::Phase::Auth, replyTimeoutMs_, options, transcript, reply);
  if (code != 0) return code;
  code = exchange(Str(base64Encode(user.view())), smtp::Phase::Auth, replyTimeoutMs_, options,
                  transcript, reply, "(user name)");
  if (code != 0) return code;
  return exchange(Str(base64Encode(password.view())), smtp::Phase::Auth, replyTimeoutMs_, options,
                  transcript, reply, "(password)");
}

int WSSMTPClient::authPlain(const Str& user, const Str& password, uint32_t options) {
  // RFC 4616: authorization identity (empty), authentication identity, password.
  std::string credentials;
  credentials += '\0';
  credentials += user.view();
  credentials += '\0';
  credentials += password.view();
  smtp::Reply reply;
  ArrayStr transcript;
  return exchange(Str("AUTH PLAIN " + base64Encode(credentials)), smtp::Phase::Auth,
                  replyTimeoutMs_, options, transcript, reply, "AUTH PLAIN (credentials)");
}

// --- between and after messages ---

int WSSMTPClient::Reset(uint32_t options) {
  smtp::Reply reply;
  ArrayStr transcript;
  return exchange("RSET", smtp::Phase::Session, replyTimeoutMs_, options, transcript, reply);
}

int WSSMTPClient::Quit(uint32_t options) {
  smtp::Reply reply;
  ArrayStr transcript;
  return exchange("QUIT", smtp::Phase::Session, replyTimeoutMs_, options, transcript, reply);
}

void WSSMTPClient::Close() {
  // The session is over; how the close went changes nothing for the caller.
  static_cast<void>(close(kCloseLingerMs));
}

// --- verification ---

int WSSMTPClient::Verify(const Str& host, int port, const Str& localHostName, uint32_t options,
                         const ArrayStr& addresses, ArrayTmpl<int>& replyCodes) {
  Str lastReply;
  ArrayStr transcript;
  int code = Connect(host, port, localHostName, Str(), options, lastReply, transcript);
  for (int i = 1; code == 0 && i <= addresses.count(); ++i) {
    const Str& address = addresses[i];
    if (address.isBlank()) continue;
    smtp::Reply reply;
    code = sendLine(Str("VRFY ") + address, options);
    if (code == 0) code = readReply(reply, replyTimeoutMs_, options);
    if (code == 0) replyCodes.add(reply.code);
  }
  if (code == 0) code = Quit(options);
  Close();
  return code;
}

// --- replies ---

int WSSMTPClient::readReply(smtp::Reply& reply, int timeoutMs, uint32_t options) {
  smtp::ReplyAssembler assembler;
  const StopWatch watch;
  for (;;) {
    const int64_t left = static_cast<int64_t>(timeoutMs) - watch.elapsed();
    if (left <= 0) return err::kReadTimeout;
    Str line;
    const int code = readLine(line, static_cast<int>(left), options);
    if (code != 0) return code;
    switch (assembler.add(line)) {
      case smtp::ReplyAssembler::Step::NeedMore:
        break;
      case smtp::ReplyAssembler::Step::Complete:
        reply = assembler.reply();
        return 0;
      case smtp::ReplyAssembler::Step::TooLong:
        // The rest of the reply would be taken for the next command's answer.
        Close();
        return err::kBlockTooLarge;
    }
  }
}

smtp::Verdict WSSMTPClient::judge(const smtp::Reply& reply, smtp::Phase phase) {
  smtp::Verdict verdict = smtp::classify(reply.line, phase, advertises("ENHANCEDSTATUSCODES"));
  if (verdict.result != 0) {
    lastReply_ = reply.line;
    lastStatus_ = verdict.statusCode;
  }
  return verdict;
}

int WSSMTPClient::awaitReply(const Str& shown, smtp::Phase phase, int timeoutMs, uint32_t options,
                             ArrayStr& transcript, smtp::Reply& reply) {
  const int code = readReply(reply, timeoutMs, options);
  if (code != 0) return code;
  const smtp::Verdict verdict = judge(reply, phase);
  if (verdict.result != 0) {
    transcript.add(smtp::transcriptLine(shown));
    transcript.add(smtp::transcriptLine(reply.line));
  }
  return verdict.result;
}

int WSSMTPClient::exchange(const Str& command, smtp::Phase phase, int timeoutMs, uint32_t options,
                           ArrayStr& transcript, smtp::Reply& reply, const Str& shown) {
  const Str& visible = shown.empty() ? command : shown;
  int code = 0;
  if (shown.empty()) {
    code = sendLine(command, options);
  } else {
    // Credentials never reach the trace.
    trace(TraceDirection::Sent, visible, options);
    Str wire = command;
    wire.append("\r\n", 2);
    code = sendAll(wire.c_str(), wire.length(), kLineSendTimeoutMs);
  }
  if (code != 0) return code;
  return awaitReply(visible, phase, timeoutMs, options, transcript, reply);
}

}  // namespace quillet
