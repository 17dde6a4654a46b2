// TLS client sessions with OpenSSL (see Tls.h).
#include "net/Tls.h"

#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstdint>
#include <mutex>

#include "base/ErrorCodes.h"
#include "net/Resolver.h"
#include "net/WinsockCodes.h"

namespace quillet {
namespace {

// A socket BIO of our own: OpenSSL's writes with write(), which raises SIGPIPE when the
// peer has gone; ours sends with MSG_NOSIGNAL.
int bioWrite(BIO* bio, const char* data, int length) {
  const int fd = static_cast<int>(reinterpret_cast<intptr_t>(BIO_get_data(bio)));
  BIO_clear_retry_flags(bio);
  const ssize_t sent = ::send(fd, data, static_cast<size_t>(length), MSG_NOSIGNAL);
  if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) {
    BIO_set_retry_write(bio);
  }
  return static_cast<int>(sent);
}

int bioRead(BIO* bio, char* buffer, int size) {
  const int fd = static_cast<int>(reinterpret_cast<intptr_t>(BIO_get_data(bio)));
  BIO_clear_retry_flags(bio);
  const ssize_t got = ::recv(fd, buffer, static_cast<size_t>(size), 0);
  if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) {
    BIO_set_retry_read(bio);
  }
  return static_cast<int>(got);
}

long bioControl(BIO*, int command, long, void*) { return command == BIO_CTRL_FLUSH ? 1 : 0; }

int bioCreate(BIO* bio) {
  BIO_set_init(bio, 1);
  return 1;
}

BIO_METHOD* socketMethod() {
  static BIO_METHOD* method = nullptr;
  static std::once_flag once;
  std::call_once(once, [] {
    method = BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, "quillet socket");
    if (method == nullptr) return;
    BIO_meth_set_write(method, bioWrite);
    BIO_meth_set_read(method, bioRead);
    BIO_meth_set_ctrl(method, bioControl);
    BIO_meth_set_create(method, bioCreate);
  });
  return method;
}

}  // namespace

TlsSession::~TlsSession() {
  if (ssl_ != nullptr) SSL_free(ssl_);
  if (context_ != nullptr) SSL_CTX_free(context_);
}

int TlsSession::start(int fd, const Str& hostName, const TlsSettings& settings) {
  ERR_clear_error();
  Str host = hostName;
  host.trim();
  if (host.empty() || ssl_ != nullptr) return err::kTlsSetupFailed;
  context_ = SSL_CTX_new(TLS_client_method());
  if (context_ == nullptr) return err::kTlsSetupFailed;
  SSL_CTX_set_min_proto_version(context_, TLS1_2_VERSION);
  verifyPeer_ = settings.verifyPeer;
  SSL_CTX_set_verify(context_, verifyPeer_ ? SSL_VERIFY_PEER : SSL_VERIFY_NONE, nullptr);
  // A peer that drops the connection without the close alert ends the stream like a
  // plain close; the protocols above detect truncation by their own terminators.
  SSL_CTX_set_options(context_, SSL_OP_IGNORE_UNEXPECTED_EOF);
  SSL_CTX_set_mode(context_, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
  if (!verifyPeer_) {
    // Nothing to load: no certificate is checked.
  } else if (!settings.caFile.empty()) {
    if (SSL_CTX_load_verify_locations(context_, settings.caFile.c_str(), nullptr) != 1) {
      return err::kTlsCaFileFailed;
    }
  } else if (SSL_CTX_set_default_verify_paths(context_) != 1) {
    return err::kTlsSetupFailed;
  }
  ssl_ = SSL_new(context_);
  BIO_METHOD* method = socketMethod();
  if (ssl_ == nullptr || method == nullptr) return err::kTlsSetupFailed;
  BIO* bio = BIO_new(method);
  if (bio == nullptr) return err::kTlsSetupFailed;
  // The data slot carries the descriptor itself and is never dereferenced.
  // NOLINTNEXTLINE(performance-no-int-to-ptr)
  BIO_set_data(bio, reinterpret_cast<void*>(static_cast<intptr_t>(fd)));
  SSL_set_bio(ssl_, bio, bio);
  NetAddress literal;
  if (!verifyPeer_) {
    if (!parseLiteralAddress(host, literal)) SSL_set_tlsext_host_name(ssl_, host.c_str());
  } else if (parseLiteralAddress(host, literal)) {
    const Str ip = literal.text();
    if (X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(ssl_), ip.c_str()) != 1) {
      return err::kTlsSetupFailed;
    }
  } else {
    if (SSL_set1_host(ssl_, host.c_str()) != 1) return err::kTlsSetupFailed;
    SSL_set_tlsext_host_name(ssl_, host.c_str());
  }
  SSL_set_connect_state(ssl_);
  return 0;
}

IoResult TlsSession::classify(int result, int failureCode) {
  const int error = SSL_get_error(ssl_, result);
  const int savedErrno = errno;
  switch (error) {
    case SSL_ERROR_WANT_READ:
      return {IoStatus::WantRead, 0, 0};
    case SSL_ERROR_WANT_WRITE:
      return {IoStatus::WantWrite, 0, 0};
    case SSL_ERROR_ZERO_RETURN:
      return {IoStatus::Closed, 0, 0};
    case SSL_ERROR_SYSCALL:
      if (ERR_peek_error() == 0) {
        if (savedErrno == 0) return {IoStatus::Closed, 0, 0};
        return {IoStatus::Failed, 0, winsockCodeFromErrno(savedErrno)};
      }
      break;
    default:
      break;
  }
  ERR_clear_error();
  return {IoStatus::Failed, 0, failureCode};
}

IoResult TlsSession::handshake() {
  if (ssl_ == nullptr) return {IoStatus::Failed, 0, err::kTlsSetupFailed};
  ERR_clear_error();
  errno = 0;
  const int result = SSL_do_handshake(ssl_);
  if (result == 1) return {IoStatus::Done, 0, 0};
  const long verify = verifyPeer_ ? SSL_get_verify_result(ssl_) : X509_V_OK;
  if (verify != X509_V_OK) {
    ERR_clear_error();
    const bool nameMismatch =
        verify == X509_V_ERR_HOSTNAME_MISMATCH || verify == X509_V_ERR_IP_ADDRESS_MISMATCH;
    return {IoStatus::Failed, 0, nameMismatch ? err::kTlsHostMismatch : err::kTlsUntrusted};
  }
  IoResult outcome = classify(result, err::kTlsHandshakeFailed);
  // A peer that hangs up in the middle of the handshake did not speak TLS with us.
  if (outcome.status == IoStatus::Closed) return {IoStatus::Failed, 0, err::kTlsHandshakeFailed};
  return outcome;
}

IoResult TlsSession::read(char* buffer, int size) {
  if (ssl_ == nullptr) return {IoStatus::Failed, 0, err::kTlsSetupFailed};
  ERR_clear_error();
  errno = 0;
  size_t got = 0;
  const int result = SSL_read_ex(ssl_, buffer, static_cast<size_t>(size), &got);
  if (result == 1) return {IoStatus::Done, static_cast<int>(got), 0};
  return classify(result, err::kTlsConnectionFailed);
}

IoResult TlsSession::write(const char* data, int length) {
  if (ssl_ == nullptr) return {IoStatus::Failed, 0, err::kTlsSetupFailed};
  ERR_clear_error();
  errno = 0;
  size_t sent = 0;
  const int result = SSL_write_ex(ssl_, data, static_cast<size_t>(length), &sent);
  if (result == 1) return {IoStatus::Done, static_cast<int>(sent), 0};
  IoResult outcome = classify(result, err::kTlsConnectionFailed);
  if (outcome.status == IoStatus::Closed) return {IoStatus::Failed, 0, err::kWsaConnectionReset};
  return outcome;
}

bool TlsSession::hasPending() const { return ssl_ != nullptr && SSL_pending(ssl_) > 0; }

void TlsSession::shutdown() {
  if (ssl_ == nullptr || !SSL_is_init_finished(ssl_)) return;
  ERR_clear_error();
  SSL_shutdown(ssl_);
  ERR_clear_error();
}

}  // namespace quillet
