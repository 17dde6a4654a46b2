// The socket client: life cycle, connecting, buffers and lines (see WSClient.h). The file
// transfers are in WSClientFiles.cpp.
#include "net/WSClient.h"

#include <sched.h>

#include <vector>

#include "base/ErrorCodes.h"
#include "base/ProcessContext.h"
#include "net/Resolver.h"
#include "net/Socks.h"

namespace quillet {

uint32_t socksOptionFor(const SocksSettings& settings) {
  switch (settings.hostType) {
    case SocksSettings::kSocks4:
      return wsopt::kSocks4;
    case SocksSettings::kSocks5:
      return wsopt::kSocks5;
    default:
      return 0;
  }
}

WSClient::WSClient() = default;

WSClient::~WSClient() {
  // No one is left to tell how the close went.
  static_cast<void>(close(kCloseLingerMs));
}

int WSClient::startWinsock() { return 0; }

int WSClient::open() {
  readBuffer_.clear();
  return transport_.open(AF_INET);
}

int WSClient::close(int lingerMs) {
  readBuffer_.clear();
  return transport_.close(lingerMs);
}

void WSClient::abandonConnection() {
  // The session already failed; the close only releases the socket.
  static_cast<void>(close(kCloseLingerMs));
}

void WSClient::discoverLocalHost() {
  startWinsock();
  discoverLocalAddresses(localAddresses_);
}

int WSClient::resolve(const Str& name, Str& address) {
  std::vector<NetAddress> addresses;
  Str canonical;
  address = Str();
  const int result = resolveHost(name, 0, AddressFamilies::Any, addresses, canonical);
  if (result != 0) return result;
  address = addresses.front().text();
  return 0;
}

void WSClient::trace(TraceDirection direction, const Str& line, uint32_t options) const {
  if ((options & wsopt::kTrace) == 0) return;
  emitTrace(formatTraceLine(id_, direction, line, (options & wsopt::kTraceWithoutId) != 0,
                            (options & wsopt::kHidePassword) != 0));
}

void WSClient::traceNote(const Str& text, uint32_t options) const {
  if ((options & wsopt::kTrace) == 0) return;
  std::string line;
  if ((options & wsopt::kTraceWithoutId) == 0) line = std::to_string(id_) + ": ";
  emitTrace(line + text.toStd());
}

void WSClient::emitTrace(const std::string& text) const {
  if (traceSink_) {
    traceSink_(text);
  } else {
    ProcessContext::instance().writeMessage(text);
  }
}

// --- connecting ---

int WSClient::connect(const Str& host, int port, int timeoutMs, uint32_t options) {
  if (!isOpen()) return err::kWsaNotSocket;
  readBuffer_.clear();
  const bool socks4 = (options & wsopt::kSocks4) != 0;
  const bool socks5 = !socks4 && (options & wsopt::kSocks5) != 0;
  Str target = host;
  target.trim();
  int result = 0;
  if (socks4 || socks5) {
    traceNote(Str(socks4 ? "SOCKS4 via " : "SOCKS5 via ") + socks_.host, options);
    result = connectDirect(socks_.host, socks_.port, timeoutMs);
  } else {
    result = connectDirect(target, port, timeoutMs);
  }
  if (result != 0) return result;
  if (socks4 || socks5) {
    result = socks4 ? socks4Connect(*this, target, port, options)
                    : socks5Connect(*this, target, port, options);
    if (result != 0) {
      abandonConnection();
      return result;
    }
  }
  tlsHost_ = target;
  if (tlsSettings_.implicit) {
    result = runTlsHandshake(timeoutMs);
    if (result != 0) {
      abandonConnection();
      return result;
    }
  }
  if ((options & wsopt::kPeerName) != 0) addPeerName();
  return 0;
}

int WSClient::connectDirect(const Str& host, int port, int timeoutMs) {
  std::vector<NetAddress> addresses;
  Str canonical;
  if (resolveHost(host, port, AddressFamilies::Any, addresses, canonical) != 0) {
    return err::kResolveFailed;
  }
  Str nameUsed = host;
  nameUsed.trim();
  int result = err::kConnectFailed;
  bool socketUsed = false;
  for (const NetAddress& address : addresses) {
    hostAddresses_.add(WSInfoIP{address.text(), nameUsed});
    // A socket whose connect failed cannot be used again; a new one also fits the family.
    if (socketUsed || transport_.socket().family() != address.family()) {
      const int opened = transport_.open(address.family());
      if (opened != 0) return opened;
    }
    socketUsed = true;
    result = connectAddress(address, timeoutMs);
    if (result == 0 || result == err::kTerminated) return result;
  }
  return result;
}

int WSClient::connectAddress(const NetAddress& address, int timeoutMs) {
  // Only a speed-up: a socket without it still works.
  if (noDelay_) static_cast<void>(transport_.socket().setNoDelay());
  const int started = transport_.socket().startConnect(address);
  if (started == 0) return 0;
  if (!ProcessContext::instance().running()) return err::kTerminated;
  if (started != err::kWsaInProgress) return started;
  const int waited = waitFor(WaitKind::Writable, timeoutMs, err::kConnectFailed);
  if (waited != 0) return waited;
  return transport_.socket().connectResult();
}

void WSClient::addPeerName() {
  NetAddress peer;
  Str name;
  if (transport_.socket().peerAddress(peer) && reverseLookup(peer, name)) {
    peerNames_.add(WSInfoIP{peer.text(), name});
  }
}

int WSClient::startTls(int timeoutMs) {
  if (!isOpen()) return err::kWsaNotSocket;
  if (transport_.isTls()) return err::kTlsSetupFailed;
  // Bytes that came before the handshake were not protected by it; accepting them would
  // let an attacker on the path put his own reply ahead of the server's.
  if (!readBuffer_.empty()) {
    abandonConnection();
    return err::kTlsDataBeforeUpgrade;
  }
  const int result = runTlsHandshake(timeoutMs);
  if (result != 0) abandonConnection();
  return result;
}

int WSClient::runTlsHandshake(int timeoutMs) {
  const int begun = transport_.beginTls(tlsHost_, tlsSettings_);
  if (begun != 0) return begun;
  for (;;) {
    const IoResult step = transport_.tls()->handshake();
    int waited = 0;
    switch (step.status) {
      case IoStatus::Done:
        return 0;
      case IoStatus::WantRead:
        waited = waitFor(WaitKind::Readable, timeoutMs, err::kReadTimeout);
        break;
      case IoStatus::WantWrite:
        waited = waitFor(WaitKind::Writable, timeoutMs, err::kWriteTimeout);
        break;
      case IoStatus::Closed:
        return err::kTlsHandshakeFailed;
      case IoStatus::Failed:
        return step.error;
    }
    if (waited != 0) return waited;
  }
}

// --- transfer ---

int WSClient::waitFor(WaitKind kind, int timeoutMs, int expiryCode) {
  if (!ProcessContext::instance().running()) return err::kTerminated;
  if (!isOpen()) return err::kWsaNotSocket;
  return waitSliced(transport_.fd(), kind, timeoutMs, expiryCode, timing_);
}

int WSClient::waitSocket(int kind, int timeoutMs) {
  if (!ProcessContext::instance().running()) return err::kTerminated;
  switch (kind) {
    case 1:
      return waitFor(WaitKind::Writable, timeoutMs, err::kTimeout);
    case 2:
      if (!readBuffer_.empty() || transport_.hasPending()) return 0;
      return waitFor(WaitKind::Readable, timeoutMs, err::kTimeout);
    case 3:
      return waitFor(WaitKind::Exception, timeoutMs, err::kTimeout);
    default:
      return err::kWsaInvalidArgument;
  }
}

int WSClient::sendAll(const char* data, int length, int timeoutMs) {
  if (data == nullptr || length <= 0) return 0;
  int sent = 0;
  WaitKind wanted = WaitKind::Writable;
  while (sent < length) {
    const int waited = waitFor(wanted, timeoutMs, err::kWriteTimeout);
    if (waited != 0) return waited;
    const IoResult step = transport_.send(data + sent, length - sent);
    switch (step.status) {
      case IoStatus::Done:
        sent += step.bytes;
        wanted = WaitKind::Writable;
        break;
      case IoStatus::WantWrite:
        wanted = WaitKind::Writable;
        sched_yield();
        break;
      case IoStatus::WantRead:  // TLS needs the peer's records first
        wanted = WaitKind::Readable;
        break;
      case IoStatus::Closed:
        return err::kWsaConnectionReset;
      case IoStatus::Failed:
        if (step.error == err::kTlsConnectionFailed) abandonConnection();
        return step.error;
    }
  }
  return 0;
}

int WSClient::receiveSome(char* destination, int size, int timeoutMs, int& got) {
  got = 0;
  WaitKind wanted = WaitKind::Readable;
  for (;;) {
    if (!ProcessContext::instance().running()) return err::kTerminated;
    if (!transport_.hasPending()) {
      const int waited = waitFor(wanted, timeoutMs, err::kReadTimeout);
      if (waited != 0) return waited;
    }
    const IoResult step = transport_.recv(destination, size);
    switch (step.status) {
      case IoStatus::Done:
        got = step.bytes;
        return 0;
      case IoStatus::WantRead:
        wanted = WaitKind::Readable;
        sched_yield();
        break;
      case IoStatus::WantWrite:
        wanted = WaitKind::Writable;
        break;
      case IoStatus::Closed:
        return err::kPeerClosed;
      case IoStatus::Failed:
        if (step.error == err::kTlsConnectionFailed) abandonConnection();
        return step.error;
    }
  }
}

int WSClient::fillBuffer(int timeoutMs, int maxBytes) {
  int room = 0;
  char* space = readBuffer_.space(room);
  if (room > maxBytes) room = maxBytes;
  if (room <= 0)
    return err::kWsaNoBufferSpace;  // callers drain the buffer first; this is a safety net
  int got = 0;
  const int result = receiveSome(space, room, timeoutMs, got);
  if (result == 0) readBuffer_.commit(got);
  return result;
}

int WSClient::recvExact(char* buffer, int size, int timeoutMs, int& received) {
  received = 0;
  if (buffer == nullptr || size <= 0) return 0;
  received = readBuffer_.take(buffer, size);
  while (received < size) {
    int got = 0;
    // Straight into the caller's buffer, never past size: nothing is read ahead here.
    const int result = receiveSome(buffer + received, size - received, timeoutMs, got);
    if (result != 0) return result;
    received += got;
  }
  return 0;
}

int WSClient::sendLine(const Str& line, uint32_t options) {
  trace(TraceDirection::Sent, line, options);
  Str wire = line;
  wire.append("\r\n", 2);
  return sendAll(wire.c_str(), wire.length(), kLineSendTimeoutMs);
}

int WSClient::sendLines(const ArrayStr& lines, uint32_t options) {
  for (const Str& line : lines) {
    const int result = sendLine(line, options);
    if (result != 0) return result;
  }
  return 0;
}

int WSClient::readLine(Str& line, int timeoutMs, uint32_t options) {
  line = Str();
  for (;;) {
    switch (takeLine(readBuffer_, line, kMaxLineLength)) {
      case LineScan::Complete:
        trace(TraceDirection::Received, line, options);
        return 0;
      case LineScan::TooLong:
        line = Str();
        abandonConnection();
        return err::kLineTooLong;
      case LineScan::NeedMore:
        break;
    }
    const int result = fillBuffer(timeoutMs, ReadBuffer::kCapacity);
    if (result != 0) {
      line = Str();
      return result;
    }
  }
}

int WSClient::command(const Str& line, Str& reply, uint32_t options) {
  reply = Str();
  const int sent = sendLine(line, options);
  if (sent != 0) return sent;
  return readLine(reply, kReplyTimeoutMs, options);
}

int64_t WSClient::transferRate(int64_t bytes, int64_t elapsedMs) {
  const int64_t seconds = elapsedMs / 1000;
  return seconds < 1 ? bytes : bytes / seconds;
}

Str WSClient::errorText(int code) { return quillet::errorText(code); }

}  // namespace quillet
