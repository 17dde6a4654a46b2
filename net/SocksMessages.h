// The SOCKS4 and SOCKS5 messages of a client (RFC 1928, RFC 1929, and the SOCKS4
// protocol): pure request builders and reply readers, no sockets.
//
// Limits: a SOCKS5 user name, password or target name must fit its one-byte length field
// (255 bytes); longer values are refused, never cut. A SOCKS4 user id ends at its first
// zero byte.
#pragma once

#include <cstdint>
#include <vector>

#include "base/Str.h"

namespace quillet {

using Bytes = std::vector<uint8_t>;

constexpr int kSocks4ReplyLength = 8;
constexpr int kSocks5MethodReplyLength = 2;
constexpr int kSocks5AuthReplyLength = 2;
constexpr int kSocks5ReplyHeadLength = 4;
constexpr int kSocks5MaxFieldLength = 255;

constexpr uint8_t kSocks5MethodNone = 0;
constexpr uint8_t kSocks5MethodUserPassword = 2;

constexpr uint8_t kSocks5AddressIPv4 = 1;
constexpr uint8_t kSocks5AddressName = 3;
constexpr uint8_t kSocks5AddressIPv6 = 4;

// SOCKS4 connect request: 4, 1, port, IPv4 address (network order), user id, 0.
[[nodiscard]] Bytes buildSocks4Request(uint32_t ipv4NetworkOrder, int port, const Str& user);
// The result of a SOCKS4 reply's status byte: 0 (90), 113 (91), 114 (92), 115 (93), else 116.
[[nodiscard]] int socks4StatusResult(uint8_t status);

// SOCKS5 greeting offering one method: none when user is blank, else user/password.
[[nodiscard]] Bytes buildSocks5Greeting(const Str& user);
// User/password sub-negotiation; 0, or 132 when a value is longer than 255 bytes.
[[nodiscard]] int buildSocks5Auth(const Str& user, const Str& password, Bytes& request);
// Connect request for host (trimmed): address type 1 for a dotted IPv4 address, 4 for an
// IPv6 address, else 3 with the name. 0, or 3 when the name is empty or too long.
[[nodiscard]] int buildSocks5Connect(const Str& host, int port, Bytes& request);
// Bytes that follow the 4-byte reply head for its address type: 6 (IPv4 and port), 18
// (IPv6 and port), 1 for a name (its length byte; then length + 2 more), or -1 when the
// type is not valid.
[[nodiscard]] int socks5BoundAddressLength(uint8_t addressType);
// The result of a SOCKS5 reply code: 0, 122..129 for 1..8, else 130.
[[nodiscard]] int socks5ReplyResult(uint8_t reply);

}  // namespace quillet
