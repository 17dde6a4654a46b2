// Transport: the byte stream of one connection, plain on the socket or through a TLS
// session on it. Callers send and receive without knowing which.
//
// It does not wait, buffer or trace; the client above it does. Closing ends a TLS session
// with its close alert (not waiting for the answer) before the socket is closed.
#pragma once

#include <memory>

#include "net/Socket.h"
#include "net/Tls.h"

namespace quillet {

class Transport {
 public:
  Socket& socket() { return socket_; }
  const Socket& socket() const { return socket_; }
  bool isOpen() const { return socket_.isOpen(); }
  int fd() const { return socket_.fd(); }

  // See Socket::open; a running TLS session is dropped.
  [[nodiscard]] int open(int family);
  // See Socket::close.
  [[nodiscard]] int close(int lingerMs);

  [[nodiscard]] IoResult send(const char* data, int length);
  [[nodiscard]] IoResult recv(char* buffer, int size);
  // Decrypted bytes waiting in the TLS session.
  [[nodiscard]] bool hasPending() const { return tls_ != nullptr && tls_->hasPending(); }

  // Puts a TLS session on the connected socket (see TlsSession::start); the handshake is
  // then driven with tls()->handshake(). 0 or the session's error code.
  [[nodiscard]] int beginTls(const Str& hostName, const TlsSettings& settings);
  TlsSession* tls() { return tls_.get(); }
  bool isTls() const { return tls_ != nullptr; }

 private:
  Socket socket_;
  std::unique_ptr<TlsSession> tls_;
};

}  // namespace quillet
