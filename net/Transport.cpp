// Plain or TLS byte stream of a connection (see Transport.h).
#include "net/Transport.h"

namespace quillet {

int Transport::open(int family) {
  tls_.reset();
  return socket_.open(family);
}

int Transport::close(int lingerMs) {
  if (tls_ != nullptr) {
    tls_->shutdown();
    tls_.reset();
  }
  return socket_.close(lingerMs);
}

IoResult Transport::send(const char* data, int length) {
  if (tls_ != nullptr) return tls_->write(data, length);
  return socket_.send(data, length);
}

IoResult Transport::recv(char* buffer, int size) {
  if (tls_ != nullptr) return tls_->read(buffer, size);
  return socket_.recv(buffer, size);
}

int Transport::beginTls(const Str& hostName, const TlsSettings& settings) {
  tls_ = std::make_unique<TlsSession>();
  const int result = tls_->start(socket_.fd(), hostName, settings);
  if (result != 0) tls_.reset();
  return result;
}

}  // namespace quillet
