// Host names and addresses: literal IPv4 and IPv6 addresses are taken as they are, other
// names go to the system resolver, which gives all their addresses (IPv6 and IPv4, in the
// resolver's order of preference). Reverse look-ups for the peer and local names.
//
// It does not cache answers and never talks to a name server itself; the resolver's own
// limits apply. Names longer than 255 bytes or holding a 0 byte are refused unasked.
#pragma once

#include <netinet/in.h>
#include <sys/socket.h>

#include <cstdint>
#include <vector>

#include "base/Str.h"

namespace quillet {

// One socket address (IPv4 or IPv6) with its port.
struct NetAddress {
  sockaddr_storage storage{};
  socklen_t length = 0;

  int family() const { return storage.ss_family; }
  const sockaddr* get() const { return reinterpret_cast<const sockaddr*>(&storage); }
  // The address as text: dotted decimal for IPv4, RFC 5952 form for IPv6.
  Str text() const;
  // The port in host byte order.
  int port() const;
  void setPort(int port);
  // For IPv4 addresses: the address in network byte order.
  uint32_t ipv4NetworkOrder() const;
};

// A literal address parsed without the resolver (port 0); false when text is neither a
// dotted IPv4 address nor an IPv6 address (brackets allowed: "[::1]").
[[nodiscard]] bool parseLiteralAddress(const Str& text, NetAddress& address);
[[nodiscard]] bool isDottedIPv4(const Str& text);
[[nodiscard]] bool isIPv6Literal(const Str& text);

// Which address families a look-up may return.
enum class AddressFamilies { Any, IPv4Only };

// Resolves name (trimmed) to its addresses with the given port. Returns 0 with at least
// one address, or 3 when the name has no address (also for an empty or unusable name).
// canonicalName receives the resolver's official name, or the name itself for a literal.
[[nodiscard]] int resolveHost(const Str& name, int port, AddressFamilies families,
                              std::vector<NetAddress>& addresses, Str& canonicalName);

// The name registered for an address; false when there is none.
[[nodiscard]] bool reverseLookup(const NetAddress& address, Str& name);

}  // namespace quillet
