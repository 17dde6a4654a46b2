// Scripted loopback peer for tests (see ScriptedPeer.h).
#include "tests/support/ScriptedPeer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <stdexcept>

namespace quillet::testing {
namespace {

constexpr int kSilenceMs = 5000;

bool readable(int fd) {
  pollfd entry{fd, POLLIN, 0};
  return ::poll(&entry, 1, kSilenceMs) > 0;
}

}  // namespace

ScriptedPeer::ScriptedPeer(Script script, int family, int connections) {
  listener_ = ::socket(family, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (listener_ < 0) throw std::runtime_error("socket");
  const int on = 1;
  setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  sockaddr_storage storage{};
  socklen_t length = 0;
  if (family == AF_INET6) {
    auto* in6 = reinterpret_cast<sockaddr_in6*>(&storage);
    in6->sin6_family = AF_INET6;
    in6->sin6_addr = in6addr_loopback;
    length = sizeof *in6;
  } else {
    auto* in = reinterpret_cast<sockaddr_in*>(&storage);
    in->sin_family = AF_INET;
    in->sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    length = sizeof *in;
  }
  if (::bind(listener_, reinterpret_cast<sockaddr*>(&storage), length) != 0 ||
      ::listen(listener_, 4) != 0 ||
      getsockname(listener_, reinterpret_cast<sockaddr*>(&storage), &length) != 0) {
    ::close(listener_);
    throw std::runtime_error("bind/listen");
  }
  port_ = family == AF_INET6 ? ntohs(reinterpret_cast<sockaddr_in6*>(&storage)->sin6_port)
                             : ntohs(reinterpret_cast<sockaddr_in*>(&storage)->sin_port);
  thread_ = std::thread([this, connections, script = std::move(script)] {
    for (int served = 0; served < connections; ++served) {
      pollfd entry{listener_, POLLIN, 0};
      if (::poll(&entry, 1, 20000) <= 0) return;
      const int fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
      if (fd < 0) return;
      script(fd);
      ::close(fd);
    }
  });
}

ScriptedPeer::~ScriptedPeer() {
  join();
  if (listener_ >= 0) ::close(listener_);
}

void ScriptedPeer::join() {
  if (thread_.joinable()) thread_.join();
}

void ScriptedPeer::send(int fd, std::string_view bytes) {
  size_t sent = 0;
  while (sent < bytes.size()) {
    const ssize_t n = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) return;
    sent += static_cast<size_t>(n);
  }
}

void ScriptedPeer::sendSlowly(int fd, std::string_view bytes, int pauseMs) {
  for (char c : bytes) {
    send(fd, std::string_view(&c, 1));
    sleepMs(pauseMs);
  }
}

std::string ScriptedPeer::read(int fd, size_t n) {
  std::string bytes;
  char buffer[4096];
  while (bytes.size() < n && readable(fd)) {
    const size_t want = std::min(sizeof buffer, n - bytes.size());
    const ssize_t got = ::recv(fd, buffer, want, 0);
    if (got <= 0) break;
    bytes.append(buffer, static_cast<size_t>(got));
  }
  return bytes;
}

std::string ScriptedPeer::readLine(int fd) {
  std::string line;
  char c = 0;
  while (readable(fd) && ::recv(fd, &c, 1, 0) == 1) {
    line += c;
    if (c == '\n') break;
  }
  return line;
}

std::string ScriptedPeer::readToEnd(int fd) {
  std::string bytes;
  char buffer[4096];
  while (readable(fd)) {
    const ssize_t got = ::recv(fd, buffer, sizeof buffer, 0);
    if (got <= 0) break;
    bytes.append(buffer, static_cast<size_t>(got));
  }
  return bytes;
}

void ScriptedPeer::sleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

ScriptedPeer::Script ScriptedPeer::listensSilently() {
  return [](int fd) { readToEnd(fd); };
}

ScriptedPeer::Script ScriptedPeer::saysThenListens(std::string bytes) {
  return [bytes = std::move(bytes)](int fd) {
    send(fd, bytes);
    readToEnd(fd);
  };
}

ScriptedPeer::Script ScriptedPeer::holdsUntil(const std::atomic<bool>& release) {
  return [&release](int) {
    while (!release) sleepMs(5);
  };
}

}  // namespace quillet::testing
