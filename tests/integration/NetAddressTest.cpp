// Names with several addresses: the socket client tries them in order, and the local
// address list shows IPv6 and IPv4 addresses. The test process gets a private mount
// namespace with its own /etc/hosts (needs root; skipped otherwise), so the names are
// under its control and the system's file is not touched.
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

#include <string>

#include "net/WSClient.h"
#include "tests/support/FileBytes.h"
#include "tests/support/ScriptedPeer.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestProcess.h"

namespace quillet {
namespace {

using testing::ScriptedPeer;

class NetAddresses : public ::testing::Test {
 protected:
  void SetUp() override {
    if (geteuid() != 0) GTEST_SKIP() << "a private /etc/hosts needs root";
    char host[256] = {};
    gethostname(host, sizeof host - 1);
    hostName_ = host;
    const std::string hosts = dir_.file("hosts");
    testing::writeBytes(hosts,
                        "127.0.0.1 localhost\n"
                        "::1 dual.quillet.test\n127.0.0.1 dual.quillet.test\n"
                        "::1 " +
                            hostName_ + ".quillet.test " + hostName_ +
                            "\n"
                            "127.0.0.1 " +
                            hostName_ + ".quillet.test " + hostName_ + "\n");
    static bool mounted = false;
    if (!mounted) {
      if (unshare(CLONE_NEWNS) != 0 ||
          mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
        GTEST_SKIP() << "no private mount namespace";
      }
      mounted = true;
    }
    if (mount(hosts.c_str(), "/etc/hosts", nullptr, MS_BIND, nullptr) != 0) {
      GTEST_SKIP() << "cannot bind a test hosts file";
    }
  }
  void TearDown() override { umount("/etc/hosts"); }

  testing::TempDir dir_{"quillet-it", testing::kServerDirMode};
  std::string hostName_;
};

TEST_F(NetAddresses, TriesEveryAddressOfANameInOrder) {
  // The server listens on IPv4 only; the name's IPv6 address comes first and is refused.
  ScriptedPeer peer([](int fd) { ScriptedPeer::send(fd, "+OK dual\r\n"); });
  WSClient client;
  ASSERT_EQ(client.open(), 0);
  ASSERT_EQ(client.connect("dual.quillet.test", peer.port(), 10000, 0), 0);
  Str line;
  ASSERT_EQ(client.readLine(line, 10000, 0), 0);
  EXPECT_STREQ(line.c_str(), "+OK dual");
  ASSERT_EQ(client.hostAddresses().count(), 2);
  EXPECT_STREQ(client.hostAddresses()[1].ip.c_str(), "::1");
  EXPECT_STREQ(client.hostAddresses()[2].ip.c_str(), "127.0.0.1");
  EXPECT_STREQ(client.hostAddresses()[2].name.c_str(), "dual.quillet.test");
}

TEST_F(NetAddresses, LocalAddressesListIPv6AndIPv4) {
  WSClient client;
  client.discoverLocalHost();
  const ArrayTmpl<WSInfoIP>& local = client.localAddresses();
  ASSERT_EQ(local.count(), 2);
  EXPECT_STREQ(local[1].ip.c_str(), "::1");
  EXPECT_EQ(local[1].name.toStd(), hostName_ + ".quillet.test");  // the official name
  EXPECT_STREQ(local[2].ip.c_str(), "127.0.0.1");
  EXPECT_FALSE(local[2].name.isBlank());  // from the reverse look-up
}

}  // namespace
}  // namespace quillet
