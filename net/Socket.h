// Socket: owns one non-blocking TCP socket descriptor (IPv4 or IPv6): creation, the
// non-blocking connect, single send and recv calls, and closing with linger.
//
// It does not wait (see SliceWait.h), retry, buffer or encrypt; every failure comes back as
// a WinSock code. Sends never raise SIGPIPE.
#pragma once

#include "net/Resolver.h"

namespace quillet {

// Outcome of one send or receive attempt on a socket or a TLS session.
enum class IoStatus {
  Done,       // bytes moved (bytes > 0)
  WantRead,   // nothing moved; retry when the socket is readable
  WantWrite,  // nothing moved; retry when the socket is writable
  Closed,     // the peer ended the stream
  Failed,     // error holds the code
};

struct IoResult {
  IoStatus status = IoStatus::Failed;
  int bytes = 0;
  int error = 0;
};

class Socket {
 public:
  Socket() = default;
  ~Socket();  // closes without linger wait
  Socket(const Socket&) = delete;
  Socket& operator=(const Socket&) = delete;

  // Creates a TCP socket of the family (AF_INET or AF_INET6) in non-blocking mode, closing
  // an open one first. 0, the WinSock code when no socket can be made, or -1 when the mode
  // switch fails (no socket is left open then).
  [[nodiscard]] int open(int family);
  // Switches back to blocking mode, sets SO_LINGER to lingerMs / 1000 seconds and closes.
  // 0 (also when nothing was open) or the WinSock code of the close.
  [[nodiscard]] int close(int lingerMs);

  bool isOpen() const { return fd_ >= 0; }
  int fd() const { return fd_; }
  int family() const { return family_; }

  // Sends every write at once instead of holding a small one back until earlier data is
  // acknowledged (Nagle's algorithm, TCP_NODELAY). Right for a client that writes whole
  // commands and large blocks: a held-back last piece would wait for the peer's delayed
  // acknowledgement. False when the option cannot be set.
  [[nodiscard]] bool setNoDelay();

  // Starts connecting: 0 when connected at once, err::kWsaInProgress while the connect
  // goes on (wait for writable, then ask connectResult()), or the WinSock code.
  [[nodiscard]] int startConnect(const NetAddress& address);
  // The result of a finished non-blocking connect: 0 or the WinSock code.
  [[nodiscard]] int connectResult() const;
  // The connected peer's address; false when not connected.
  [[nodiscard]] bool peerAddress(NetAddress& address) const;

  [[nodiscard]] IoResult send(const char* data, int length);
  [[nodiscard]] IoResult recv(char* buffer, int size);

 private:
  int fd_ = -1;
  int family_ = 0;
};

}  // namespace quillet
