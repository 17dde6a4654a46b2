// WSPOPClient: one complete POP3 session against one provider mailbox (RFC 1939, with
// CAPA of RFC 2449, STLS of RFC 2595, the "XBCOMP" compressed retrieval and a work-around
// for one server implementation). It connects (directly or through the SOCKS proxy set on
// the client, plain, POP3S or upgraded with STLS), logs on with APOP or USER/PASS, walks
// the messages in order, stores each fetched message in MSG-IN with its INX index file,
// deletes what was fetched (unless messages are left on the server) and says QUIT.
//
// Nothing is acknowledged before it is durable: every message file and its index file are
// written and flushed to disk before DELE or QUIT is sent, so a crash at any point leaves
// either the message on the server or a complete queue entry that a restart picks up. On
// a failed session no QUIT is sent (the server deletes nothing) and the files of the
// session are deleted, unless they are to be kept on error.
//
// Untrusted input: every reply line is capped by the socket layer (WSClient::
// kMaxLineLength, else 190); numbers saturate; a unique id with control characters or
// longer than 70 characters counts as none; at most kMaxCapabilityLines CAPA lines are
// kept; compressed data may be at most kMaxCompressedBytes and inflate to at most
// kMaxInflatedBytes (else 59). A message body is streamed to disk as it arrives.
//
// It does not queue the entries in memory, load or save the unique-id store, bring the
// network up or log: the mailbox thread does all that with what a session returns.
#pragma once

#include <cstdint>

#include "base/ArrayTmpl.h"
#include "base/ErrorCodes.h"
#include "base/Str.h"
#include "config/DataPOP.h"
#include "net/WSClient.h"
#include "server/queue/QueueStore.h"
#include "server/queue/SMTPInfo.h"

namespace quillet {

// What one session is asked to do. The mailbox thread fills it from the mailbox and the
// settings before each session.
struct POPSessionRequest {
  Str host;  // trimmed
  int port = 110;
  Str user;      // trimmed
  Str password;  // clear text
  ConnectionSecurity security = ConnectionSecurity::Plain;
  Str trustFile;                  // CA file for TLS; empty = the system trust store
  uint32_t maxMessageSize = 0;    // InboundPOP3MaxMessageSize; 0 = no limit, no LIST
  uint32_t maxMessages = 0;       // InboundPOP3MaxMessages; 0 = no limit
  Str routeTo;                    // the recipient of every fetched message; empty = detected later
  bool trace = false;             // VerboseTransfer
  bool hidePassword = false;      // InboundPOP3HidePassword
  bool keepFilesOnError = false;  // InboundPOP3DontDeleteOnError
  bool leaveOnServer = false;     // LeaveMessagesOnServer: UIDL mode, no DELE
  bool apop = false;              // InboundAPOP
  bool capa = false;              // InboundCAPA
};

// What one session leaves behind.
struct POPSessionResult {
  // Full paths of the message files written (and kept), in message-number order.
  ArrayStr fetchedFiles;
  // One inbound entry per fetched file, its INX file already written: flags 0x08, source
  // the mailbox user, the route-to address as recipient when given.
  ArrayTmpl<SMTPInfo> entries;
  // True when the session stopped at the maximum count while more messages wait.
  bool morePending = false;
  // For each rejected command: the command line, then the reply (see transcriptLine).
  ArrayStr transcript;
};

// The port to connect to: the mailbox's own port, or when that is 0, 995 for POP3S and
// defaultPort (POPInboundPort) otherwise.
[[nodiscard]] int pop3PortFor(int mailboxPort, ConnectionSecurity security, int defaultPort);

class WSPOPClient : public WSClient {
 public:
  static constexpr int kConnectTimeoutMs = 300000;
  static constexpr int kReplyTimeoutMs = 300000;
  static constexpr int kCompressedPieceTimeoutMs = 600000;
  static constexpr int kMaxCapabilityLines = 1000;
  static constexpr int64_t kMaxCompressedBytes = 512LL * 1024 * 1024;
  static constexpr int64_t kMaxInflatedBytes = 1024LL * 1024 * 1024;
  // The largest message body stored as received (else 191): a server that never ends a
  // body cannot fill the disk.
  static constexpr int64_t kMaxMessageBytes = kMaxInflatedBytes;

  // Message files and their index files go into the inbound queue of store.
  explicit WSPOPClient(const QueueStore& store);

  // Runs one session. knownUids: the ids fetched before (in UIDL mode matching messages
  // are skipped); after a successful session in UIDL mode they are replaced, under the
  // array's lock, by the ids this session saw. Returns 0, or (base/ErrorCodes.h):
  // kTerminated (stop requested), kNoPortConnection (connected, never ready),
  // kNoPop3Connection (no connection in time), kNegativeReply (a command was rejected; see
  // the transcript), kCreateMessageFile / kCreateTempFile (no message file), kWriteTempFile
  // (a message or index file could not be written), kInflateFailed, kAuthenticationFailed
  // (the password holds CR, LF or NUL), or a code of the socket layer (time-outs, resets,
  // SOCKS, TLS, kLineTooLong).
  [[nodiscard]] int FetchMailbox(const POPSessionRequest& request, ArrayStr& knownUids,
                                 POPSessionResult& result);

 private:
  const QueueStore& store_;
};

}  // namespace quillet
