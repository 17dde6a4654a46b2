// ICMP echo over a datagram or raw socket (see IcmpEcho.h).
#include "platform/IcmpEcho.h"

#include <netinet/in.h>
#include <netinet/ip.h>
#include <netinet/ip_icmp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>

#include "base/Clock.h"

namespace quillet {
namespace {

constexpr size_t kHeaderSize = 8;        // ICMP echo header
constexpr size_t kMaxPayload = 1024;     // longer payloads are cut
constexpr size_t kReceiveBuffer = 2048;  // IP header (up to 60) + header + payload
constexpr int kPollSliceMs = 250;

// RFC 1071 one's-complement sum.
uint16_t checksum(const uint8_t* data, size_t size) {
  uint32_t sum = 0;
  for (size_t i = 0; i + 1 < size; i += 2) sum += (uint32_t{data[i]} << 8) | data[i + 1];
  if (size % 2 != 0) sum += uint32_t{data[size - 1]} << 8;
  while (sum >> 16) sum = (sum & 0xffff) + (sum >> 16);
  return static_cast<uint16_t>(~sum);
}

void put16(uint8_t* at, uint16_t value) {
  at[0] = static_cast<uint8_t>(value >> 8);
  at[1] = static_cast<uint8_t>(value);
}

uint16_t get16(const uint8_t* at) { return static_cast<uint16_t>((at[0] << 8) | at[1]); }

}  // namespace

IcmpEcho::~IcmpEcho() { close(); }

int IcmpEcho::open() {
  close();
  fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_ICMP);
  if (fd_ < 0) {
    fd_ = ::socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_ICMP);
    if (fd_ < 0) return errno;
    raw_ = true;
  }
  identifier_ = static_cast<uint16_t>(::getpid() ^ reinterpret_cast<uintptr_t>(this));
  return 0;
}

void IcmpEcho::close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  raw_ = false;
}

bool IcmpEcho::isOurReply(const uint8_t* packet, size_t size, uint16_t sequence) const {
  if (raw_) {
    // A raw socket hands over the IP header too and sees every ICMP packet of the host.
    if (size < 20) return false;
    const size_t ipHeader = size_t{packet[0] & 0x0fu} * 4;
    if (ipHeader < 20 || size < ipHeader + kHeaderSize) return false;
    packet += ipHeader;
    size -= ipHeader;
    if (get16(packet + 4) != identifier_) return false;
  } else if (size < kHeaderSize) {
    return false;
  }
  return packet[0] == ICMP_ECHOREPLY && packet[1] == 0 && get16(packet + 6) == sequence;
}

int IcmpEcho::echo(uint32_t target, const std::vector<uint8_t>& payload, int timeoutMs,
                   uint32_t& replier, const std::function<bool()>& keepWaiting) {
  if (fd_ < 0) return EBADF;
  const uint16_t sequence = ++sequence_;
  const size_t payloadSize = std::min(payload.size(), kMaxPayload);
  std::vector<uint8_t> request(kHeaderSize + payloadSize, 0);
  request[0] = ICMP_ECHO;
  put16(&request[4], identifier_);  // replaced by the kernel on a datagram socket
  put16(&request[6], sequence);
  std::copy_n(payload.begin(), payloadSize, request.begin() + kHeaderSize);
  put16(&request[2], checksum(request.data(), request.size()));

  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_addr.s_addr = target;
  if (::sendto(fd_, request.data(), request.size(), 0, reinterpret_cast<sockaddr*>(&to),
               sizeof to) < 0) {
    return errno;
  }

  const WaitDeadline deadline{std::chrono::milliseconds(timeoutMs)};
  uint8_t packet[kReceiveBuffer];
  while (true) {
    if (keepWaiting && !keepWaiting()) return ECANCELED;
    const int pollMs = deadline.sliceMs(kPollSliceMs);
    if (pollMs <= 0) return ETIMEDOUT;
    pollfd waitFor{fd_, POLLIN, 0};
    const int ready = ::poll(&waitFor, 1, pollMs);
    if (ready < 0 && errno != EINTR) return errno;
    if (ready <= 0) continue;
    sockaddr_in from{};
    socklen_t fromLength = sizeof from;
    const ssize_t n = ::recvfrom(fd_, packet, sizeof packet, MSG_DONTWAIT,
                                 reinterpret_cast<sockaddr*>(&from), &fromLength);
    if (n < 0) {
      if (errno == EAGAIN || errno == EINTR) continue;
      return errno;
    }
    if (isOurReply(packet, static_cast<size_t>(n), sequence)) {
      replier = from.sin_addr.s_addr;
      return 0;
    }
  }
}

}  // namespace quillet
