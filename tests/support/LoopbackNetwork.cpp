// Loopback networking helpers for tests (see LoopbackNetwork.h).
#include "tests/support/LoopbackNetwork.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sched.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "tests/support/TestProcess.h"

namespace quillet::testing {

std::string enterPrivateNetwork() {
  static const std::string failure = []() -> std::string {
    if (geteuid() != 0) return "a private network namespace needs root";
    if (unshare(CLONE_NEWNET) != 0) return "unshare(CLONE_NEWNET) was refused";
    const std::string ip = findProgram("ip");
    if (ip.empty()) return "the ip program (iproute2) is missing";
    if (!runCommand(ip + " link set lo up")) return "cannot bring up lo";
    return "";
  }();
  return failure;
}

bool waitForPort(const std::string& host, int port, int timeoutMs) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (std::chrono::steady_clock::now() < end) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    inet_pton(AF_INET, host.c_str(), &address.sin_addr);
    const bool ok = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    close(fd);
    if (ok) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return false;
}

int freePort() {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  int port = 0;
  if (bind(fd, reinterpret_cast<sockaddr*>(&address), length) == 0 &&
      getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
    port = ntohs(address.sin_port);
  }
  close(fd);
  return port;
}

}  // namespace quillet::testing
