// Byte layouts of the SOCKS requests and the meaning of every reply code.
#include <arpa/inet.h>
#include <gtest/gtest.h>

#include "base/ErrorCodes.h"
#include "net/SocksMessages.h"

namespace quillet {
namespace {

TEST(SocksMessages, Socks4RequestCarriesPortAddressAndUserId) {
  const Bytes request = buildSocks4Request(inet_addr("10.1.2.3"), 110, "fred");
  EXPECT_EQ(request, (Bytes{4, 1, 0, 110, 10, 1, 2, 3, 'f', 'r', 'e', 'd', 0}));
  EXPECT_EQ(buildSocks4Request(inet_addr("10.1.2.3"), 0x1234, ""),
            (Bytes{4, 1, 0x12, 0x34, 10, 1, 2, 3, 0}));
}

TEST(SocksMessages, Socks4StatusBytes) {
  EXPECT_EQ(socks4StatusResult(90), 0);
  EXPECT_EQ(socks4StatusResult(91), err::kSocks4RequestFailed);
  EXPECT_EQ(socks4StatusResult(92), err::kSocks4TargetUnreachable);
  EXPECT_EQ(socks4StatusResult(93), err::kSocks4IdentMismatch);
  EXPECT_EQ(socks4StatusResult(0), err::kSocks4Unknown);
  EXPECT_EQ(socks4StatusResult(255), err::kSocks4Unknown);
}

TEST(SocksMessages, Socks5GreetingOffersOneMethod) {
  EXPECT_EQ(buildSocks5Greeting(""), (Bytes{5, 1, 0}));
  EXPECT_EQ(buildSocks5Greeting("   "), (Bytes{5, 1, 0}));
  EXPECT_EQ(buildSocks5Greeting("bob"), (Bytes{5, 1, 2}));
}

TEST(SocksMessages, Socks5AuthenticationFieldsAndLengthLimit) {
  Bytes request;
  ASSERT_EQ(buildSocks5Auth("bob", "pw", request), 0);
  EXPECT_EQ(request, (Bytes{1, 3, 'b', 'o', 'b', 2, 'p', 'w'}));
  ASSERT_EQ(buildSocks5Auth("", "pw", request), 0);
  EXPECT_EQ(request, (Bytes{1, 0, 2, 'p', 'w'}));
  ASSERT_EQ(buildSocks5Auth(Str('u', 255), Str('p', 255), request), 0);
  EXPECT_EQ(request.size(), 513u);
  EXPECT_EQ(buildSocks5Auth(Str('u', 256), "pw", request), err::kSocks5AuthFailed);
  EXPECT_EQ(buildSocks5Auth("bob", Str('p', 256), request), err::kSocks5AuthFailed);
}

TEST(SocksMessages, Socks5ConnectRequestByAddressType) {
  Bytes request;
  ASSERT_EQ(buildSocks5Connect(" 192.168.1.20 ", 110, request), 0);
  EXPECT_EQ(request, (Bytes{5, 1, 0, 1, 192, 168, 1, 20, 0, 110}));

  ASSERT_EQ(buildSocks5Connect("pop.mail.com", 995, request), 0);
  ASSERT_EQ(request.size(), 19u);
  EXPECT_EQ(request[3], 3);
  EXPECT_EQ(request[4], 12);
  EXPECT_EQ(std::string(request.begin() + 5, request.begin() + 17), "pop.mail.com");
  EXPECT_EQ(request[17], 995 >> 8);
  EXPECT_EQ(request[18], 995 & 0xff);

  ASSERT_EQ(buildSocks5Connect("::1", 110, request), 0);
  ASSERT_EQ(request.size(), 22u);
  EXPECT_EQ(request[3], 4);
  EXPECT_EQ(request[19], 1);  // last byte of ::1

  EXPECT_EQ(buildSocks5Connect("", 110, request), err::kResolveFailed);
  EXPECT_EQ(buildSocks5Connect(Str('a', 256), 110, request), err::kResolveFailed);
}

TEST(SocksMessages, Socks5ReplyCodesAndAddressTypes) {
  EXPECT_EQ(socks5ReplyResult(0), 0);
  for (int code = 1; code <= 8; ++code) {
    EXPECT_EQ(socks5ReplyResult(static_cast<uint8_t>(code)), 121 + code);
  }
  EXPECT_EQ(socks5ReplyResult(9), err::kSocks5Unknown);
  EXPECT_EQ(socks5ReplyResult(255), err::kSocks5Unknown);
  EXPECT_EQ(socks5BoundAddressLength(1), 6);
  EXPECT_EQ(socks5BoundAddressLength(3), 1);
  EXPECT_EQ(socks5BoundAddressLength(4), 18);
  EXPECT_EQ(socks5BoundAddressLength(0), -1);
  EXPECT_EQ(socks5BoundAddressLength(2), -1);
}

}  // namespace
}  // namespace quillet
