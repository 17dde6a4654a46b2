// WSSMTPClient: the client side of one SMTP or ESMTP session with the mail host (RFC 5321):
// greeting, EHLO with the HELO fallback and the extensions the server advertises, STARTTLS
// (RFC 3207), AUTH LOGIN or AUTH PLAIN (RFC 4616), queued messages (MAIL FROM with SIZE,
// RET and ENVID; RCPT TO with NOTIFY and ORCPT; PIPELINING; then the compressed XBDATA
// transfer, BDAT with CHUNKING, or DATA), RSET between messages and QUIT at the end; and
// short VRFY sessions for recipient verification.
//
// Every failing reply becomes a result (50 permanent, 51 temporary, 155 for reply code 590)
// and an enhanced status code (see SmtpReplies.h), and adds two transcript lines: the
// command sent, then the reply received.
//
// What goes to the server after DATA, in the BDAT copy and in the XBDATA stream is always
// canonical, whatever bytes the stored file holds: CR LF line ends only, dot-stuffing
// exactly once, one terminating "." line and nothing after it. The stored file is read as a
// stream and never changed. One rejected recipient does not fail the others: the data goes
// to every recipient the server accepted, and each recipient's own outcome is reported.
//
// Untrusted server: a reply line is capped by the socket layer (190); a reply keeps at most
// smtp::Reply::kMaxKeptLines lines, ends with 191 (connection closed) after
// smtp::Reply::kMaxReadLines, and must be complete within its time limit however its lines
// trickle in (9). A server that closes at any point gives a connection-level code. Memory
// stays flat whatever the message size: files are streamed in 64 KB blocks, and commands,
// pipelined envelopes and data blocks go out in whole writes (TCP_NODELAY, so the last
// piece never waits for a delayed acknowledgement).
//
// A WSSMTPClient belongs to one thread and serves one connection.
#pragma once

#include <cstdint>
#include <functional>

#include "base/ArrayTmpl.h"
#include "base/Str.h"
#include "net/WSClient.h"
#include "server/queue/SMTPInfo.h"
#include "smtp/CanonicalData.h"
#include "smtp/SmtpReplies.h"

namespace quillet {

// Option bits of this client, given together with the socket layer's wsopt bits.
namespace smtpopt {
constexpr uint32_t kEsmtp = 0x100;  // greet with EHLO and use the advertised extensions
}  // namespace smtpopt

// When the session is upgraded with STARTTLS (OutboundSTARTTLS).
enum class StartTlsMode : int32_t {
  Never = 0,        // never, even when offered
  WhenOffered = 1,  // when the server offers it; the certificate is not required to be trusted
  Required = 2,     // always; a server without STARTTLS or with an untrusted certificate fails
};

// How one recipient of SendMessage fared.
struct SMTPRecipientOutcome {
  int result = 0;  // 0 delivered; otherwise the failure (50 permanent, 51/155 temporary, or
                   // the connection-level code that ended the attempt)
  Str statusCode;  // enhanced status code of the failure ("5.1.1"); empty when delivered
  Str reply;       // the failing reply line; empty when delivered or none was received
};

// What SendMessage reports besides its result.
struct SMTPSendResult {
  Str statusCode;       // the status code of the message-level failure; empty on success
  Str lastReply;        // the failing reply line
  ArrayStr transcript;  // two lines (command, reply) appended per failing reply, also for
                        // each refused recipient
  int64_t rate = 0;     // bytes per second of the data transfer
  // One outcome per recipient given to SendMessage, in the same order, always filled:
  // recipients refused at RCPT TO carry their own reply; the others carry the outcome of
  // the message (0 when the data was accepted).
  ArrayTmpl<SMTPRecipientOutcome> recipients;
};

class WSSMTPClient : public WSClient {
 public:
  static constexpr int kConnectTimeoutMs = 300000;
  static constexpr int kLongReplyTimeoutMs = 300000;  // greeting, EHLO/HELO, pipelined, after data

  // Commands, pipelined envelopes and data blocks go out whole, so no write is held back
  // waiting for the server's acknowledgement.
  WSSMTPClient() { setNoDelay(true); }

  // STARTTLS behaviour and the CA file for a required upgrade (empty = system trust store).
  void setStartTls(StartTlsMode mode, const Str& trustFile);
  // Where Connect's status text goes (the status display); without a sink it is not shown.
  void setStatusSink(std::function<void(const Str&)> sink) { statusSink_ = std::move(sink); }
  // Reply time limits (tests shorten them): ordinary replies, and the greeting, EHLO/HELO,
  // pipelined replies and the reply after the data. Each limit holds for a whole reply,
  // however many lines it has.
  void setReplyTimeouts(int replyMs, int longReplyMs) {
    replyTimeoutMs_ = replyMs;
    longReplyTimeoutMs_ = longReplyMs;
  }

  // Connects to host:port (through the SOCKS proxy set with setSocks() when options select
  // one), reads the greeting, greets with EHLO (smtpopt::kEsmtp) or HELO, and upgrades with
  // STARTTLS as setStartTls() asks (then greets again; the new extensions replace the first
  // ones). statusText, when not blank, goes to the status display followed by the host.
  // On a refused greeting or HELO the failing reply's lines replace transcript. Returns 0,
  // 1 (stopped), 6 (proxy failed), 14 (no connection in time), 50/51/155 (greeting or HELO
  // refused), a TLS code (180..187) or a socket-level code.
  [[nodiscard]] int Connect(const Str& host, int port, const Str& localHostName,
                            const Str& statusText, uint32_t options, Str& lastReply,
                            ArrayStr& transcript);

  // AUTH LOGIN when the server offers LOGIN ("AUTH=LOGIN" or "AUTH ... LOGIN ..."), else
  // AUTH PLAIN when it offers PLAIN; 140 when it offers neither. 0, or the first failure.
  [[nodiscard]] int Authenticate(const Str& user, const Str& password, uint32_t options);

  // Sends one queued message file (any line ends; sent canonical). Returns 0 when the
  // server accepted the data for at least one recipient (result.recipients tells which);
  // otherwise 50/51/155 (the message or every recipient was refused; 51/155 when some
  // refusal was temporary), 19/60/54 (file problems), 16 (connection reset during the
  // data), 1, or a socket-level code. With a SIZE limit smaller than the file: 50 and
  // "5.3.4" before any command.
  [[nodiscard]] int SendMessage(const Str& messageFile, const SMTPInfoAddress& sender,
                                const ArraySMTPInfoAddress& recipients, uint32_t priority,
                                uint32_t options, SMTPSendResult& result);

  [[nodiscard]] int Reset(uint32_t options);  // RSET
  [[nodiscard]] int Quit(uint32_t options);   // QUIT
  void Close();                               // closes the connection at once

  [[nodiscard]] bool AdvertisesXEXCH50() const;
  [[nodiscard]] bool AdvertisesXXWALL30() const;
  // True when some extension line starts with keyword (case ignored).
  [[nodiscard]] bool advertises(const char* keyword) const;
  const ArrayStr& extensions() const { return extensions_; }

  // The reply line and status code of the last refused command of any operation (for the
  // log of a failed Connect, Authenticate, Reset or Quit); empty when none was refused.
  const Str& lastReply() const { return lastReply_; }
  const Str& lastStatusCode() const { return lastStatus_; }

  // A VRFY session: connects and greets as Connect does, then asks VRFY for every address
  // that is not blank and appends the value of each reply's code to replyCodes. QUIT and
  // close at the end. 0 or the first connection-level error.
  [[nodiscard]] int Verify(const Str& host, int port, const Str& localHostName, uint32_t options,
                           const ArrayStr& addresses, ArrayTmpl<int>& replyCodes);

 private:
  // --- session steps (WSSMTPClient.cpp) ---
  [[nodiscard]] int openConnection(const Str& host, int port, uint32_t options);
  // Reads the greeting, then hello().
  [[nodiscard]] int greet(const Str& localHostName, uint32_t options, ArrayStr& transcript);
  // EHLO (filling the extensions) or HELO, with the HELO fallback.
  [[nodiscard]] int hello(const Str& localHostName, uint32_t options, ArrayStr& transcript);
  [[nodiscard]] int upgradeToTls(const Str& localHostName, uint32_t options, ArrayStr& transcript);
  [[nodiscard]] int authLogin(const Str& user, const Str& password, uint32_t options);
  [[nodiscard]] int authPlain(const Str& user, const Str& password, uint32_t options);

  // --- replies (WSSMTPClient.cpp) ---
  // Reads one complete reply within timeoutMs: 0, 191 (a reply of too many lines; the
  // connection is closed), 9 (the time ran out) or the socket layer's code.
  [[nodiscard]] int readReply(smtp::Reply& reply, int timeoutMs, uint32_t options);
  // Reads a reply and classifies it in phase: 0, 50/51/155 (refused: shown, the line
  // standing for the command, and the reply go to transcript, lastReply_ and lastStatus_),
  // or the code of readReply.
  [[nodiscard]] int awaitReply(const Str& shown, smtp::Phase phase, int timeoutMs, uint32_t options,
                               ArrayStr& transcript, smtp::Reply& reply);
  // Sends command, then awaitReply. shown is what the trace and the transcript show for
  // the command (command itself when empty).
  [[nodiscard]] int exchange(const Str& command, smtp::Phase phase, int timeoutMs, uint32_t options,
                             ArrayStr& transcript, smtp::Reply& reply, const Str& shown = Str());
  // The verdict of a refused reply, remembered for lastReply()/lastStatusCode().
  smtp::Verdict judge(const smtp::Reply& reply, smtp::Phase phase);

  // --- message transfer (SmtpTransfer.cpp) ---
  // MAIL FROM and the RCPT TO lines (commands[1] and the rest): 0 with accepted counting
  // the recipients taken (each refusal in result.recipients and the transcript), the MAIL
  // FROM refusal, or a connection-level code.
  [[nodiscard]] int sendEnvelope(const ArrayStr& commands, uint32_t options, SMTPSendResult& result,
                                 int& accepted);
  [[nodiscard]] int transferData(const Str& messageFile, uint32_t priority, uint32_t options,
                                 SMTPSendResult& result);
  [[nodiscard]] int sendXbdata(const Str& messageFile, uint32_t priority, uint32_t options,
                               SMTPSendResult& result);
  [[nodiscard]] int sendBdat(const Str& messageFile, uint32_t options, SMTPSendResult& result);
  [[nodiscard]] int sendData(const Str& messageFile, uint32_t options, SMTPSendResult& result);
  // Streams the canonical form of the file to the server; bytes counts what was sent.
  // 0, 19 (cannot open), 192 (read failed), 16 (connection reset) or the socket's code.
  [[nodiscard]] int streamCanonical(const Str& messageFile, smtp::DataForm form, int64_t& bytes);
  // Sends raw bytes of an open file (the XBDATA stream): 0, 192, 16 or the socket's code.
  [[nodiscard]] int streamFile(File& file, int64_t& bytes);
  // Sends a data command (DATA, XBDATA) and classifies its reply (phase 6).
  [[nodiscard]] int dataCommand(const Str& command, uint32_t options, SMTPSendResult& result);
  // A refusal (50/51/155) becomes the message's status code and last reply; code returned.
  [[nodiscard]] int messageRefusal(int code, SMTPSendResult& result) const;
  // Reads the reply after the data and classifies it (phase 6).
  [[nodiscard]] int finishTransfer(const Str& shown, int64_t bytes, uint32_t elapsedMs,
                                   uint32_t options, SMTPSendResult& result);

  ArrayStr extensions_;
  StartTlsMode startTls_ = StartTlsMode::WhenOffered;
  Str trustFile_;
  std::function<void(const Str&)> statusSink_;
  int replyTimeoutMs_ = kReplyTimeoutMs;
  int longReplyTimeoutMs_ = kLongReplyTimeoutMs;
  Str lastReply_;
  Str lastStatus_;
};

}  // namespace quillet
