// TlsSession: TLS (OpenSSL) on an already connected non-blocking socket, for implicit TLS
// right after connecting and for upgrading a plain session (STLS, STARTTLS).
//
// The peer's certificate is verified unless the settings say otherwise: against the system
// trust store, or against the CA certificates of a named file instead, and the certificate
// must name the host (DNS name, or IP address for a literal address). Without verification
// (an opportunistic upgrade to a local server with a self-signed certificate) the session
// is encrypted but the peer is not authenticated. TLS 1.2 is the lowest version offered.
// The session never waits: every call does what it can and says whether it needs the
// socket readable or writable; the caller waits in slices (SliceWait.h). It does not keep
// sessions for resumption and offers no client certificate.
#pragma once

#include "base/Str.h"
#include "net/Socket.h"

typedef struct ssl_st SSL;
typedef struct ssl_ctx_st SSL_CTX;

namespace quillet {

struct TlsSettings {
  bool implicit = false;   // start TLS at once after connecting (POP3S, SMTPS)
  Str caFile;              // PEM file of trusted CA certificates; empty = system trust store
  bool verifyPeer = true;  // false: accept any certificate (encryption without authentication)
};

class TlsSession {
 public:
  TlsSession() = default;
  ~TlsSession();
  TlsSession(const TlsSession&) = delete;
  TlsSession& operator=(const TlsSession&) = delete;

  // Prepares a client session on fd for hostName (a name or a literal address). Returns 0,
  // 184 when the CA file cannot be loaded, or 180 for any other set-up failure (also an
  // empty host name, which could not be checked).
  [[nodiscard]] int start(int fd, const Str& hostName, const TlsSettings& settings);

  // One handshake step: Done when the handshake is complete; WantRead/WantWrite to be
  // called again when the socket is ready; Failed with 182 (certificate not trusted),
  // 183 (certificate does not name the host), 181 (any other handshake failure) or the
  // WinSock code of a socket failure.
  [[nodiscard]] IoResult handshake();

  // Reads or writes decrypted bytes. Closed when the peer ended the session; Failed with
  // 185 for a TLS protocol error or the WinSock code of a socket failure.
  [[nodiscard]] IoResult read(char* buffer, int size);
  [[nodiscard]] IoResult write(const char* data, int length);

  // True when decrypted bytes wait inside the session (no socket wait needed to read them).
  [[nodiscard]] bool hasPending() const;

  // Sends the close alert once, without waiting for the peer's answer.
  void shutdown();

 private:
  IoResult classify(int result, int failureCode);

  SSL_CTX* context_ = nullptr;
  SSL* ssl_ = nullptr;
  bool verifyPeer_ = true;
};

}  // namespace quillet
