// SOCKS request builders and reply readers (see SocksMessages.h).
#include "net/SocksMessages.h"

#include <arpa/inet.h>

#include <cstring>

#include "base/ErrorCodes.h"
#include "net/Resolver.h"

namespace quillet {
namespace {

void appendPort(Bytes& bytes, int port) {
  bytes.push_back(static_cast<uint8_t>((port >> 8) & 0xff));
  bytes.push_back(static_cast<uint8_t>(port & 0xff));
}

void appendText(Bytes& bytes, const char* text, size_t length) {
  bytes.insert(bytes.end(), text, text + length);
}

}  // namespace

Bytes buildSocks4Request(uint32_t ipv4NetworkOrder, int port, const Str& user) {
  const size_t userLength = std::strlen(user.c_str());
  Bytes request(8 + userLength + 1, 0);
  request[0] = 4;
  request[1] = 1;
  request[2] = static_cast<uint8_t>((port >> 8) & 0xff);
  request[3] = static_cast<uint8_t>(port & 0xff);
  std::memcpy(request.data() + 4, &ipv4NetworkOrder, 4);
  if (userLength > 0) std::memcpy(request.data() + 8, user.c_str(), userLength);
  return request;
}

int socks4StatusResult(uint8_t status) {
  switch (status) {
    case 90:
      return 0;
    case 91:
      return err::kSocks4RequestFailed;
    case 92:
      return err::kSocks4TargetUnreachable;
    case 93:
      return err::kSocks4IdentMismatch;
    default:
      return err::kSocks4Unknown;
  }
}

Bytes buildSocks5Greeting(const Str& user) {
  return Bytes{5, 1, user.isBlank() ? kSocks5MethodNone : kSocks5MethodUserPassword};
}

int buildSocks5Auth(const Str& user, const Str& password, Bytes& request) {
  request.clear();
  if (user.length() > kSocks5MaxFieldLength || password.length() > kSocks5MaxFieldLength) {
    return err::kSocks5AuthFailed;
  }
  request.push_back(1);
  request.push_back(static_cast<uint8_t>(user.length()));
  appendText(request, user.c_str(), static_cast<size_t>(user.length()));
  request.push_back(static_cast<uint8_t>(password.length()));
  appendText(request, password.c_str(), static_cast<size_t>(password.length()));
  return 0;
}

int buildSocks5Connect(const Str& host, int port, Bytes& request) {
  request = Bytes{5, 1, 0};
  Str target = host;
  target.trim();
  NetAddress literal;
  if (parseLiteralAddress(target, literal) && literal.family() == AF_INET) {
    request.push_back(kSocks5AddressIPv4);
    const uint32_t address = literal.ipv4NetworkOrder();
    const auto* bytes = reinterpret_cast<const uint8_t*>(&address);
    request.insert(request.end(), bytes, bytes + 4);
  } else if (literal.family() == AF_INET6) {
    request.push_back(kSocks5AddressIPv6);
    const auto* in6 = reinterpret_cast<const sockaddr_in6*>(&literal.storage);
    const auto* bytes = reinterpret_cast<const uint8_t*>(&in6->sin6_addr);
    request.insert(request.end(), bytes, bytes + 16);
  } else {
    if (target.empty() || target.length() > kSocks5MaxFieldLength) {
      request.clear();
      return err::kResolveFailed;
    }
    request.push_back(kSocks5AddressName);
    request.push_back(static_cast<uint8_t>(target.length()));
    appendText(request, target.c_str(), static_cast<size_t>(target.length()));
  }
  appendPort(request, port);
  return 0;
}

int socks5BoundAddressLength(uint8_t addressType) {
  switch (addressType) {
    case kSocks5AddressIPv4:
      return 6;
    case kSocks5AddressName:
      return 1;
    case kSocks5AddressIPv6:
      return 18;
    default:
      return -1;
  }
}

int socks5ReplyResult(uint8_t reply) {
  if (reply == 0) return 0;
  if (reply >= 1 && reply <= 8) return err::kSocks5GeneralFailure + reply - 1;
  return err::kSocks5Unknown;
}

}  // namespace quillet
