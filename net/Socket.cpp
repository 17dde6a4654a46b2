// One non-blocking TCP socket (see Socket.h).
#include "net/Socket.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

#include "base/ErrorCodes.h"
#include "net/WinsockCodes.h"

namespace quillet {
namespace {

bool setBlocking(int fd, bool blocking) {
  const int flags = fcntl(fd, F_GETFL, 0);
  if (flags < 0) return false;
  const int wanted = blocking ? (flags & ~O_NONBLOCK) : (flags | O_NONBLOCK);
  return fcntl(fd, F_SETFL, wanted) == 0;
}

}  // namespace

Socket::~Socket() {
  if (fd_ >= 0) ::close(fd_);
}

int Socket::open(int family) {
  // The previous connection is dropped at once; how its close went no longer matters.
  if (fd_ >= 0) static_cast<void>(close(0));
  const int fd = ::socket(family, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
  if (fd < 0) return winsockCodeFromErrno(errno);
  if (!setBlocking(fd, false)) {
    ::close(fd);
    return -1;
  }
  fd_ = fd;
  family_ = family;
  return 0;
}

int Socket::close(int lingerMs) {
  if (fd_ < 0) return 0;
  const int fd = fd_;
  fd_ = -1;
  family_ = 0;
  // Blocking with linger: the close waits (up to the linger time) until queued bytes are
  // delivered, so a final QUIT is not cut off by a reset.
  setBlocking(fd, true);
  linger option{};
  option.l_onoff = 1;
  option.l_linger = lingerMs / 1000;
  setsockopt(fd, SOL_SOCKET, SO_LINGER, &option, sizeof option);
  if (::close(fd) != 0 && errno != EINTR) return winsockCodeFromErrno(errno);
  return 0;
}

bool Socket::setNoDelay() {
  const int on = 1;
  return fd_ >= 0 && setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on) == 0;
}

int Socket::startConnect(const NetAddress& address) {
  if (fd_ < 0) return err::kWsaNotSocket;
  if (::connect(fd_, address.get(), address.length) == 0) return 0;
  switch (errno) {
    case EINPROGRESS:
    case EALREADY:
    case EINTR:
      return err::kWsaInProgress;
    case EISCONN:
      return 0;
    default:
      return winsockCodeFromErrno(errno);
  }
}

int Socket::connectResult() const {
  if (fd_ < 0) return err::kWsaNotSocket;
  int error = 0;
  socklen_t length = sizeof error;
  if (getsockopt(fd_, SOL_SOCKET, SO_ERROR, &error, &length) != 0) {
    return winsockCodeFromErrno(errno);
  }
  if (error != 0) return winsockCodeFromErrno(error);
  NetAddress peer;
  // Writable without an error but not connected: the connect has not really finished.
  return peerAddress(peer) ? 0 : err::kConnectUnexpected;
}

bool Socket::peerAddress(NetAddress& address) const {
  address = NetAddress{};
  address.length = sizeof address.storage;
  if (fd_ < 0) return false;
  if (getpeername(fd_, reinterpret_cast<sockaddr*>(&address.storage), &address.length) != 0) {
    address = NetAddress{};
    return false;
  }
  return true;
}

IoResult Socket::send(const char* data, int length) {
  if (fd_ < 0) return {IoStatus::Failed, 0, err::kWsaNotSocket};
  const ssize_t sent = ::send(fd_, data, static_cast<size_t>(length), MSG_NOSIGNAL);
  if (sent > 0) return {IoStatus::Done, static_cast<int>(sent), 0};
  if (sent == 0) return {IoStatus::WantWrite, 0, 0};
  if (errno == EWOULDBLOCK || errno == EAGAIN || errno == EINTR) return {IoStatus::WantWrite, 0, 0};
  return {IoStatus::Failed, 0, winsockCodeFromErrno(errno)};
}

IoResult Socket::recv(char* buffer, int size) {
  if (fd_ < 0) return {IoStatus::Failed, 0, err::kWsaNotSocket};
  const ssize_t got = ::recv(fd_, buffer, static_cast<size_t>(size), 0);
  if (got > 0) return {IoStatus::Done, static_cast<int>(got), 0};
  if (got == 0) return {IoStatus::Closed, 0, 0};
  if (errno == EWOULDBLOCK || errno == EAGAIN || errno == EINTR) return {IoStatus::WantRead, 0, 0};
  return {IoStatus::Failed, 0, winsockCodeFromErrno(errno)};
}

}  // namespace quillet
