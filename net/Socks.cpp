// SOCKS handshakes (see Socks.h). A failed proxy reply's bound address is not awaited: the
// proxy closes the connection after a refusal anyway, and the refusal is what counts.
#include "net/Socks.h"

#include <vector>

#include "base/ErrorCodes.h"
#include "net/Resolver.h"
#include "net/SocksMessages.h"
#include "net/WSClient.h"

namespace quillet {
namespace {

constexpr int kSendTimeoutMs = 10000;
constexpr int kReceiveTimeoutMs = 60000;

int sendBytes(WSClient& client, const Bytes& bytes) {
  return client.sendAll(reinterpret_cast<const char*>(bytes.data()), static_cast<int>(bytes.size()),
                        kSendTimeoutMs);
}

int receiveBytes(WSClient& client, uint8_t* buffer, int size) {
  int received = 0;
  return client.recvExact(reinterpret_cast<char*>(buffer), size, kReceiveTimeoutMs, received);
}

}  // namespace

int socks4Connect(WSClient& client, const Str& targetHost, int targetPort, uint32_t) {
  std::vector<NetAddress> addresses;
  Str canonical;
  if (resolveHost(targetHost, targetPort, AddressFamilies::IPv4Only, addresses, canonical) != 0) {
    return err::kResolveFailed;
  }
  const Bytes request =
      buildSocks4Request(addresses.front().ipv4NetworkOrder(), targetPort, client.socks().user);
  int result = sendBytes(client, request);
  if (result != 0) return result;
  uint8_t reply[kSocks4ReplyLength] = {};
  result = receiveBytes(client, reply, kSocks4ReplyLength);
  if (result != 0) return result;
  return socks4StatusResult(reply[1]);
}

int socks5Connect(WSClient& client, const Str& targetHost, int targetPort, uint32_t) {
  const SocksSettings& settings = client.socks();
  Bytes connectRequest;
  int result = buildSocks5Connect(targetHost, targetPort, connectRequest);
  if (result != 0) return result;

  result = sendBytes(client, buildSocks5Greeting(settings.user));
  if (result != 0) return result;
  uint8_t methodReply[kSocks5MethodReplyLength] = {};
  result = receiveBytes(client, methodReply, kSocks5MethodReplyLength);
  if (result != 0) return result;

  switch (methodReply[1]) {
    case kSocks5MethodNone:
      break;
    case kSocks5MethodUserPassword: {
      // Also when we offered no authentication: the proxy insists, so try what we have.
      Bytes authRequest;
      result = buildSocks5Auth(settings.user, settings.password, authRequest);
      if (result != 0) return result;
      result = sendBytes(client, authRequest);
      if (result == err::kWsaConnectionReset) return err::kSocks5AuthFailed;
      if (result != 0) return result;
      uint8_t authReply[kSocks5AuthReplyLength] = {};
      result = receiveBytes(client, authReply, kSocks5AuthReplyLength);
      if (result != 0) return result;
      if (authReply[1] != 0) return err::kSocks5AuthFailed;
      break;
    }
    default:
      return err::kSocks5NoAcceptableMethod;
  }

  result = sendBytes(client, connectRequest);
  if (result != 0) return result;
  uint8_t head[kSocks5ReplyHeadLength] = {};
  result = receiveBytes(client, head, kSocks5ReplyHeadLength);
  if (result != 0) return result;
  const int verdict = socks5ReplyResult(head[1]);
  if (verdict != 0) return verdict;

  int boundLength = socks5BoundAddressLength(head[3]);
  if (boundLength < 0) return err::kSocks5BadAddressType;
  uint8_t bound[2 + kSocks5MaxFieldLength] = {};
  if (head[3] == kSocks5AddressName) {
    result = receiveBytes(client, bound, 1);
    if (result != 0) return result;
    boundLength = bound[0] + 2;
  }
  return receiveBytes(client, bound, boundLength);
}

}  // namespace quillet
