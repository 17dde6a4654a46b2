// ICMP echo over a real socket to the loopback address.
#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <cerrno>

#include "platform/IcmpEcho.h"

namespace quillet {
namespace {

TEST(IcmpEcho, LoopbackAnswersOurEchoes) {
  IcmpEcho echo;
  if (echo.open() != 0) {
    GTEST_SKIP() << "neither an ICMP datagram socket (net.ipv4.ping_group_range) nor a raw "
                    "socket (root) can be opened here";
  }
  const std::vector<uint8_t> payload(64, 170);
  for (int i = 0; i < 3; ++i) {  // a later echo must match its own sequence number
    uint32_t replier = 0;
    ASSERT_EQ(echo.echo(inet_addr("127.0.0.1"), payload, 2000, replier), 0);
    EXPECT_EQ(replier, inet_addr("127.0.0.1"));
  }
  uint32_t replier = 0;
  EXPECT_EQ(echo.echo(inet_addr("127.0.0.1"), payload, 2000, replier, [] { return false; }),
            ECANCELED);
}

TEST(IcmpEcho, EchoOnAClosedSocketFails) {
  IcmpEcho echo;
  uint32_t replier = 0;
  EXPECT_EQ(echo.echo(inet_addr("127.0.0.1"), {1, 2, 3}, 100, replier), EBADF);
}

}  // namespace
}  // namespace quillet
