// WSClient: the socket client under the POP3 and SMTP clients. One TCP connection (IPv4 or
// IPv6, direct or through a SOCKS4/SOCKS5 proxy, plain or TLS), sending and receiving
// buffers, CR LF lines and whole files with time-outs cut into 10-second slices, the
// transfer trace.
//
// Every operation returns 0 or an error code (base/ErrorCodes.h): a code of the system's table or
// a WinSock code. Every wait ends with err::kTerminated soon after the process's running flag is
// cleared. Errors leave the connection open for the caller to close, except those after which the
// byte stream cannot be trusted any more (failed SOCKS or TLS start, an over-long line,
// TLS protocol errors): then the socket is closed here.
//
// Received bytes go through one shared buffer, so nothing that follows a line or a message
// terminator is lost to the next operation. Limits for peers: one line holds at most
// kMaxLineLength bytes (else 190), buffers never grow with the peer's data.
// A WSClient belongs to one thread and is never shared.
#pragma once

#include <cstdint>

#include "base/ArrayTmpl.h"
#include "base/Str.h"
#include "net/LocalHost.h"
#include "net/ReadBuffer.h"
#include "net/SliceWait.h"
#include "net/SocksSettings.h"
#include "net/Tls.h"
#include "net/Trace.h"
#include "net/Transport.h"

namespace quillet {

class File;

// Bits of the first option word given with each call.
namespace wsopt {
constexpr uint32_t kTrace = 0x1;              // trace sent ("> ") and received ("< ") lines
constexpr uint32_t kPeerName = 0x2;           // after connecting, look up the peer's name
constexpr uint32_t kTraceWithoutId = 0x4;     // trace lines without the id prefix
constexpr uint32_t kSocks4 = 0x20;            // connect through the SOCKS4 proxy
constexpr uint32_t kSocks5 = 0x40;            // connect through the SOCKS5 proxy
constexpr uint32_t kHidePassword = 1u << 29;  // trace "PASS ..." as "PASS *****"
// Bit of the second option word read here: sendFile sends an empty body for a missing file.
constexpr uint32_t kSendEmptyBody = 0x4;
}  // namespace wsopt

// The option bit (kSocks4, kSocks5 or 0) that selects the proxy of the settings.
[[nodiscard]] uint32_t socksOptionFor(const SocksSettings& settings);

class WSClient {
 public:
  static constexpr int kMaxLineLength = 65536;
  static constexpr int kLineSendTimeoutMs = 60000;
  static constexpr int kReplyTimeoutMs = 300000;
  static constexpr int kFileBlockSize = 8192;
  static constexpr int kFileSendTimeoutMs = 300000;
  static constexpr int kCloseLingerMs = 60000;

  WSClient();
  ~WSClient();  // close(60000)
  WSClient(const WSClient&) = delete;
  WSClient& operator=(const WSClient&) = delete;

  // --- life cycle ---
  // Kept for the callers' start-up sequence: sockets need no start-up on Linux. Always 0.
  int startWinsock();
  // Creates a TCP socket (IPv4; connect() makes one of the target's family as needed) in
  // non-blocking mode: 0, the WinSock code, or -1 when the mode switch failed.
  [[nodiscard]] int open();
  // Closes the connection (ending TLS) with SO_LINGER of lingerMs / 1000 seconds; 0 or the
  // WinSock code of the close. A closed client needs open() before the next connect().
  [[nodiscard]] int close(int lingerMs = kCloseLingerMs);
  bool isOpen() const { return transport_.isOpen(); }
  // Fills localAddresses() (see LocalHost.h).
  void discoverLocalHost();

  // --- connecting ---
  // The first address of name as text (no resolver for a literal address): 0 or 3.
  [[nodiscard]] int resolve(const Str& name, Str& address);
  // Connects to host:port, trying each address of the name in order, each within
  // timeoutMs (sliced). With kSocks4/kSocks5 the connection goes to the proxy of
  // setSocks() and the handshake asks it for host:port; with implicit TLS the TLS
  // handshake follows. Returns 0, 1 (stopped), 3 (host or proxy name unknown), 4 (connect
  // ended without a connection), 5 (no connection in time), a SOCKS code 111..133, a TLS
  // code 180..185, or the WinSock code of the last failed attempt (10061 refused, ...).
  // The socket is closed when the SOCKS or TLS start fails.
  [[nodiscard]] int connect(const Str& host, int port, int timeoutMs, uint32_t options);
  // Starts TLS on the connected plain session (after the peer agreed to STLS/STARTTLS),
  // checking the certificate against the host given to connect(). 0, 1, 9/10 (no answer
  // in time), 186 when the peer sent bytes ahead of the handshake, or a TLS code; the
  // socket is closed on failure.
  [[nodiscard]] int startTls(int timeoutMs = kReplyTimeoutMs);
  bool isTls() const { return transport_.isTls(); }

  // --- transfer ---
  // Sends every byte: 0, 1, 10 (not writable in time) or the WinSock code.
  [[nodiscard]] int sendAll(const char* data, int length, int timeoutMs);
  // Receives exactly size bytes (received counts those that came): 0, 1, 9 (nothing in
  // time), 11 (peer closed) or the error code.
  [[nodiscard]] int recvExact(char* buffer, int size, int timeoutMs, int& received);
  // Waits until writable (kind 1), readable (2) or an exception (3): 0, 1, 7 or the
  // WinSock code. Buffered received bytes count as readable.
  [[nodiscard]] int waitSocket(int kind, int timeoutMs);
  // Traces the line and sends it with CR LF within 60 s: codes of sendAll.
  [[nodiscard]] int sendLine(const Str& line, uint32_t options);
  // sendLine for each element in order, stopping at the first error.
  [[nodiscard]] int sendLines(const ArrayStr& lines, uint32_t options);
  // Reads one CR LF line (without CR LF, zero bytes dropped) and traces it: 0, 1, 9, 11,
  // 190 (longer than kMaxLineLength; the socket is closed) or the error code. The line is
  // empty after any error.
  [[nodiscard]] int readLine(Str& line, int timeoutMs, uint32_t options);
  // sendLine, then readLine of the reply with 300 s.
  [[nodiscard]] int command(const Str& line, Str& reply, uint32_t options);

  // --- files ---
  // Sends the file: as raw 8192-byte blocks when maxBodyLines is 0; else line by line,
  // stopping with a "." line after maxBodyLines lines following the first empty line. A
  // file that cannot be opened gives 19, or with kSendEmptyBody in options2 an empty line
  // and "." are sent instead. 0 or the first error; 192 when reading the file fails.
  [[nodiscard]] int sendFile(const Str& fileName, uint32_t options, uint32_t options2,
                             int maxBodyLines);
  // sendFile for a file already open for reading, from its current position. A read error
  // gives 192 at once (what was read before it may have been sent; the caller must not end
  // the transfer as if the message were complete).
  [[nodiscard]] int sendOpenFile(File& file, uint32_t options, int maxBodyLines);
  // Receives exactly total bytes in pieces of at most chunk bytes and appends them to the
  // open file: 0, 18 (file write failed) or the codes of recvExact.
  [[nodiscard]] int recvToFile(File& file, int64_t total, int chunk, int timeoutMs);
  // Receives a dot-terminated block up to and including its "." line into the open file:
  // 0, 1, 7 (no data for more than timeoutMs), 9, 11, 55 (file write failed) or the error
  // code. Bytes after the terminating line stay for the next read. With maxBytes above 0 a
  // block growing past it ends with 191, so a peer that never ends a block cannot fill the
  // disk.
  [[nodiscard]] int recvDotTerminatedToFile(File& file, int timeoutMs, int64_t maxBytes = 0);

  // Bytes per second: bytes divided by the whole seconds in elapsedMs, or bytes when less
  // than a second has passed.
  [[nodiscard]] static int64_t transferRate(int64_t bytes, int64_t elapsedMs);
  // "Error: <text> [<code>]".
  [[nodiscard]] static Str errorText(int code);

  // --- settings and results ---
  void setId(uint32_t id) { id_ = id; }
  uint32_t id() const { return id_; }
  void setSocks(const SocksSettings& settings) { socks_ = settings; }
  const SocksSettings& socks() const { return socks_; }
  void setTls(const TlsSettings& settings) { tlsSettings_ = settings; }
  // Where trace lines go; without a sink they go to the process's message output.
  void setTraceSink(TraceSink sink) { traceSink_ = std::move(sink); }
  // Sockets of later connects send every write at once (see Socket::setNoDelay): for
  // clients that write whole commands and large blocks only.
  void setNoDelay(bool on) { noDelay_ = on; }
  // Slice length (tests shorten it); the slice count rule stays.
  void setSliceTiming(const SliceTiming& timing) { timing_ = timing; }

  const ArrayTmpl<WSInfoIP>& hostAddresses() const { return hostAddresses_; }
  const ArrayTmpl<WSInfoIP>& peerNames() const { return peerNames_; }
  const ArrayTmpl<WSInfoIP>& localAddresses() const { return localAddresses_; }

  // Writes one trace line for line when options has kTrace.
  void trace(TraceDirection direction, const Str& line, uint32_t options) const;
  // Writes a note (such as "SOCKS5 via host") to the trace when options has kTrace.
  void traceNote(const Str& text, uint32_t options) const;

 private:
  void emitTrace(const std::string& text) const;
  [[nodiscard]] int sendFileBlocks(File& file);
  [[nodiscard]] int sendFileLines(File& file, uint32_t options, int maxBodyLines);
  [[nodiscard]] int connectDirect(const Str& host, int port, int timeoutMs);
  [[nodiscard]] int connectAddress(const NetAddress& address, int timeoutMs);
  [[nodiscard]] int runTlsHandshake(int timeoutMs);
  // Waits for the socket itself (received bytes in the buffer do not count).
  [[nodiscard]] int waitFor(WaitKind kind, int timeoutMs, int expiryCode);
  // Receives once (at most size bytes, got > 0 on success), waiting as needed; decrypted
  // bytes already inside a TLS session need no wait. 0, 1, 9, 11 or the error code.
  [[nodiscard]] int receiveSome(char* destination, int size, int timeoutMs, int& got);
  // receiveSome into the free space of the shared buffer.
  [[nodiscard]] int fillBuffer(int timeoutMs, int maxBytes);
  void addPeerName();
  // Closes the socket at once after a failure that leaves the stream unusable.
  void abandonConnection();

  Transport transport_;
  ReadBuffer readBuffer_;
  uint32_t id_ = 0;
  ArrayTmpl<WSInfoIP> hostAddresses_;
  ArrayTmpl<WSInfoIP> peerNames_;
  ArrayTmpl<WSInfoIP> localAddresses_;
  SocksSettings socks_;
  TlsSettings tlsSettings_;
  Str tlsHost_;  // the host the certificate must name
  TraceSink traceSink_;
  SliceTiming timing_;
  bool noDelay_ = false;
};

}  // namespace quillet
