// IcmpEcho: ICMP echo requests to one IPv4 address, to wake a router that opens an
// on-demand line. It opens an unprivileged ICMP datagram socket and falls back to a raw
// ICMP socket (which needs root or CAP_NET_RAW).
//
// It does not resolve names and does not measure round trips. Replies are untrusted: a
// packet counts only when it is an echo reply of at least the header's size carrying
// our identifier (raw socket) and sequence number; everything else is ignored.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

namespace quillet {

class IcmpEcho {
 public:
  IcmpEcho() = default;
  ~IcmpEcho();
  IcmpEcho(const IcmpEcho&) = delete;
  IcmpEcho& operator=(const IcmpEcho&) = delete;

  // Opens the socket: datagram first, then raw. Returns 0, or the errno of the last try.
  [[nodiscard]] int open();
  [[nodiscard]] bool isOpen() const { return fd_ >= 0; }
  [[nodiscard]] bool isRaw() const { return raw_; }
  void close();

  // Sends one echo request with payload to target (IPv4, network byte order) and waits up
  // to timeoutMs for its reply, asking keepWaiting (when set) at least every 250 ms.
  // Returns 0 with replier set (network byte order), ETIMEDOUT when no reply came,
  // ECANCELED when keepWaiting said no, or the errno of a failed send or receive.
  [[nodiscard]] int echo(uint32_t target, const std::vector<uint8_t>& payload, int timeoutMs,
                         uint32_t& replier, const std::function<bool()>& keepWaiting = {});

 private:
  // True when packet (as received) is the reply to our request with sequence.
  [[nodiscard]] bool isOurReply(const uint8_t* packet, size_t size, uint16_t sequence) const;

  int fd_ = -1;
  bool raw_ = false;
  uint16_t identifier_ = 0;  // ours on a raw socket; the kernel's on a datagram socket
  uint16_t sequence_ = 0;
};

}  // namespace quillet
