// Reading nmcli's terse output: escapes, the active connection list and the IPv4 address,
// including lines of the wrong shape.
#include <gtest/gtest.h>

#include "platform/NmcliOutput.h"

namespace quillet {
namespace {

TEST(NmcliOutput, SplitsFieldsAndRemovesEscapes) {
  EXPECT_EQ(splitNmcliFields("a:b"), (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(splitNmcliFields(R"(VPN\:Office:activated)"),
            (std::vector<std::string>{"VPN:Office", "activated"}));
  EXPECT_EQ(splitNmcliFields(R"(back\\slash:x)"), (std::vector<std::string>{"back\\slash", "x"}));
  EXPECT_EQ(splitNmcliFields(""), std::vector<std::string>{""});
  EXPECT_EQ(splitNmcliFields("::"), (std::vector<std::string>{"", "", ""}));
  EXPECT_EQ(splitNmcliFields("tail\\"), std::vector<std::string>{"tail\\"});
}

TEST(NmcliOutput, ListsActiveConnectionsAndSkipsOddLines) {
  const char* output =
      "Office ISP:activated\n"
      "Wired connection 1:activated\r\n"
      R"(VPN\:Branch:activating)"
      "\n"
      "\n"
      "no state here\n"
      ":activated\n"
      "a:b:c\n"
      "lo:activated";  // no final line end
  const std::vector<NmcliConnection> connections = parseNmcliConnections(output);
  ASSERT_EQ(connections.size(), 4u);
  EXPECT_EQ(connections[0].name, "Office ISP");
  EXPECT_EQ(connections[0].state, "activated");
  EXPECT_EQ(connections[1].name, "Wired connection 1");
  EXPECT_EQ(connections[1].state, "activated");
  EXPECT_EQ(connections[2].name, "VPN:Branch");
  EXPECT_EQ(connections[2].state, "activating");
  EXPECT_EQ(connections[3].name, "lo");
  EXPECT_TRUE(parseNmcliConnections("").empty());
}

TEST(NmcliOutput, ReadsTheFirstValidIpv4Address) {
  EXPECT_EQ(parseNmcliIpv4Address("IP4.ADDRESS[1]:10.64.0.7/32\nIP4.ADDRESS[2]:10.0.0.1/8\n"),
            "10.64.0.7");
  EXPECT_EQ(parseNmcliIpv4Address("IP4.ADDRESS[1]:999.1.1.1/24\nIP4.ADDRESS[2]:192.0.2.5/24"),
            "192.0.2.5");
  EXPECT_EQ(parseNmcliIpv4Address("IP4.ADDRESS[1]:192.0.2.5"), "192.0.2.5");
  EXPECT_EQ(parseNmcliIpv4Address("IP6.ADDRESS[1]:fe80\\:\\:1/64\n"), "");
  EXPECT_EQ(parseNmcliIpv4Address("IP4.GATEWAY:192.0.2.1\n"), "");
  EXPECT_EQ(parseNmcliIpv4Address("IP4.ADDRESS[1]:\n"), "");
  EXPECT_EQ(parseNmcliIpv4Address("IP4.ADDRESS[1]:1.2.3.4 junk/24"), "");
  EXPECT_EQ(parseNmcliIpv4Address(std::string(100000, ':')), "");
}

}  // namespace
}  // namespace quillet
