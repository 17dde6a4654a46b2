// Name resolution for the socket client (see Resolver.h).
#include "net/Resolver.h"

#include <arpa/inet.h>
#include <netdb.h>

#include <cstring>
#include <memory>

#include "base/ErrorCodes.h"

namespace quillet {
namespace {

constexpr int kMaxHostNameLength = 255;

Str withoutBrackets(const Str& text) {
  Str copy = text;
  copy.trim();
  if (copy.length() >= 2 && copy.at(0) == '[' && copy.at(copy.length() - 1) == ']') {
    return Str(copy.c_str() + 1, copy.length() - 2);
  }
  return copy;
}

}  // namespace

Str NetAddress::text() const {
  char buffer[INET6_ADDRSTRLEN] = {};
  if (family() == AF_INET) {
    const auto* in = reinterpret_cast<const sockaddr_in*>(&storage);
    inet_ntop(AF_INET, &in->sin_addr, buffer, sizeof buffer);
  } else if (family() == AF_INET6) {
    const auto* in6 = reinterpret_cast<const sockaddr_in6*>(&storage);
    inet_ntop(AF_INET6, &in6->sin6_addr, buffer, sizeof buffer);
  }
  return Str(buffer);
}

int NetAddress::port() const {
  if (family() == AF_INET) return ntohs(reinterpret_cast<const sockaddr_in*>(&storage)->sin_port);
  if (family() == AF_INET6) {
    return ntohs(reinterpret_cast<const sockaddr_in6*>(&storage)->sin6_port);
  }
  return 0;
}

void NetAddress::setPort(int port) {
  const uint16_t network = htons(static_cast<uint16_t>(port));
  if (family() == AF_INET) reinterpret_cast<sockaddr_in*>(&storage)->sin_port = network;
  if (family() == AF_INET6) reinterpret_cast<sockaddr_in6*>(&storage)->sin6_port = network;
}

uint32_t NetAddress::ipv4NetworkOrder() const {
  if (family() != AF_INET) return 0;
  return reinterpret_cast<const sockaddr_in*>(&storage)->sin_addr.s_addr;
}

bool isDottedIPv4(const Str& text) {
  Str trimmed = text;
  trimmed.trim();
  in_addr address{};
  return trimmed.length() == static_cast<int>(std::strlen(trimmed.c_str())) &&
         inet_pton(AF_INET, trimmed.c_str(), &address) == 1;
}

bool isIPv6Literal(const Str& text) {
  const Str bare = withoutBrackets(text);
  in6_addr address{};
  return bare.length() == static_cast<int>(std::strlen(bare.c_str())) &&
         inet_pton(AF_INET6, bare.c_str(), &address) == 1;
}

bool parseLiteralAddress(const Str& text, NetAddress& address) {
  address = NetAddress{};
  const Str bare = withoutBrackets(text);
  if (bare.length() != static_cast<int>(std::strlen(bare.c_str()))) return false;
  auto* in = reinterpret_cast<sockaddr_in*>(&address.storage);
  if (inet_pton(AF_INET, bare.c_str(), &in->sin_addr) == 1) {
    in->sin_family = AF_INET;
    address.length = sizeof(sockaddr_in);
    return true;
  }
  auto* in6 = reinterpret_cast<sockaddr_in6*>(&address.storage);
  if (inet_pton(AF_INET6, bare.c_str(), &in6->sin6_addr) == 1) {
    in6->sin6_family = AF_INET6;
    address.length = sizeof(sockaddr_in6);
    return true;
  }
  address = NetAddress{};
  return false;
}

int resolveHost(const Str& name, int port, AddressFamilies families,
                std::vector<NetAddress>& addresses, Str& canonicalName) {
  addresses.clear();
  canonicalName = Str();
  Str host = name;
  host.trim();
  NetAddress literal;
  if (parseLiteralAddress(host, literal)) {
    if (families == AddressFamilies::IPv4Only && literal.family() != AF_INET) {
      return err::kResolveFailed;
    }
    literal.setPort(port);
    addresses.push_back(literal);
    canonicalName = host;
    return 0;
  }
  if (host.empty() || host.length() > kMaxHostNameLength ||
      host.length() != static_cast<int>(std::strlen(host.c_str()))) {
    return err::kResolveFailed;
  }
  addrinfo hints{};
  hints.ai_family = families == AddressFamilies::IPv4Only ? AF_INET : AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_CANONNAME;
  addrinfo* list = nullptr;
  if (getaddrinfo(host.c_str(), nullptr, &hints, &list) != 0 || list == nullptr) {
    return err::kResolveFailed;
  }
  std::unique_ptr<addrinfo, decltype(&freeaddrinfo)> owner(list, freeaddrinfo);
  canonicalName = list->ai_canonname != nullptr ? Str(list->ai_canonname) : host;
  for (const addrinfo* entry = list; entry != nullptr; entry = entry->ai_next) {
    if (entry->ai_family != AF_INET && entry->ai_family != AF_INET6) continue;
    if (entry->ai_addrlen > sizeof(sockaddr_storage)) continue;
    NetAddress address;
    std::memcpy(&address.storage, entry->ai_addr, entry->ai_addrlen);
    address.length = entry->ai_addrlen;
    address.setPort(port);
    bool seen = false;
    for (const NetAddress& known : addresses) {
      seen = seen || (known.length == address.length &&
                      std::memcmp(&known.storage, &address.storage, address.length) == 0);
    }
    if (!seen) addresses.push_back(address);
  }
  return addresses.empty() ? err::kResolveFailed : 0;
}

bool reverseLookup(const NetAddress& address, Str& name) {
  char host[NI_MAXHOST] = {};
  if (getnameinfo(address.get(), address.length, host, sizeof host, nullptr, 0, NI_NAMEREQD) != 0) {
    return false;
  }
  name = Str(host);
  return true;
}

}  // namespace quillet
