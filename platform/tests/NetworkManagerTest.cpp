// The NetworkManager link against a scripted nmcli: the command lines it runs, how exit
// statuses become codes, the password file, and a missing nmcli.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "platform/NetworkManager.h"
#include "tests/support/FileBytes.h"
#include "tests/support/TempDir.h"

namespace quillet {
namespace {

using testing::TempDir;

// A fake nmcli that logs its arguments (and a password file's contents) and answers
// with canned output; EXIT_STATUS in the directory's "status" file sets its exit status.
class ScriptedNmcli {
 public:
  ScriptedNmcli() {
    const std::string script =
        "#!/bin/sh\n"
        "dir=$(dirname \"$0\")\n"
        "printf '%s|' \"$@\" >> \"$dir/log\"; echo >> \"$dir/log\"\n"
        "prev=''\n"
        "for a in \"$@\"; do\n"
        "  if [ \"$prev\" = passwd-file ]; then cat \"$a\" > \"$dir/secrets\"; "
        "ls -l \"$a\" | cut -c1-10 > \"$dir/mode\"; echo \"$a\" > \"$dir/secrets-path\"; fi\n"
        "  prev=$a\n"
        "done\n"
        "case \"$*\" in\n"
        "  *--active*) printf 'Office ISP:activated\\nBranch:activating\\nlo:activated\\n' ;;\n"
        "  *IP4.ADDRESS*) printf 'IP4.ADDRESS[1]:10.64.0.7/32\\n' ;;\n"
        "esac\n"
        "[ -f \"$dir/status\" ] && exit $(cat \"$dir/status\")\n"
        "exit 0\n";
    testing::writeBytes(program(), script);
    ::chmod(program().c_str(), 0755);
  }
  std::string program() const { return dir_.file("nmcli"); }
  std::string log() const { return readOrEmpty("log"); }
  std::string readOrEmpty(const std::string& name) const {
    return testing::readBytes(dir_.file(name));
  }
  void exitWith(int status) { testing::writeBytes(dir_.file("status"), std::to_string(status)); }

 private:
  TempDir dir_;
};

TEST(NetworkManager, MissingClientIsNotAvailable) {
  NetworkManager missing("quillet-no-such-nmcli");
  EXPECT_FALSE(missing.available());
  std::vector<std::string> names;
  EXPECT_EQ(missing.activeConnections(names), err::kNmcliNotRun);
  TempDir dir;
  testing::writeBytes(dir.file("nmcli"), "not executable");
  EXPECT_FALSE(NetworkManager(dir.file("nmcli")).available());
}

TEST(NetworkManager, ListsOnlyFullyActiveConnections) {
  ScriptedNmcli nmcli;
  NetworkManager link(nmcli.program());
  ASSERT_TRUE(link.available());
  std::vector<std::string> names;
  ASSERT_EQ(link.activeConnections(names), 0);
  EXPECT_EQ(names, (std::vector<std::string>{"Office ISP", "lo"}));
  EXPECT_EQ(nmcli.log(), "-t|-f|NAME,STATE|connection|show|--active|\n");
}

TEST(NetworkManager, ReadsTheAddressOfANamedConnection) {
  ScriptedNmcli nmcli;
  NetworkManager link(nmcli.program());
  std::string address;
  ASSERT_EQ(link.ipv4Address("-Office; rm -rf /", address), 0);
  EXPECT_EQ(address, "10.64.0.7");
  EXPECT_EQ(nmcli.log(), "-t|-f|IP4.ADDRESS|connection|show|id|-Office; rm -rf /|\n");
}

TEST(NetworkManager, BringsUpWithAPrivatePasswordFileThatIsRemoved) {
  ScriptedNmcli nmcli;
  NetworkManager link(nmcli.program());
  ASSERT_EQ(link.bringUp("Office ISP", {"fred", "pa:ss word", ""}), 0);
  const std::string log = nmcli.log();
  EXPECT_EQ(log.rfind("--wait|90|connection|up|id|Office ISP|passwd-file|", 0), 0u) << log;
  EXPECT_EQ(nmcli.readOrEmpty("secrets"),
            "gsm.password:pa:ss word\ncdma.password:pa:ss word\npppoe.password:pa:ss word\n"
            "vpn.secrets.password:pa:ss word\n");
  EXPECT_EQ(nmcli.readOrEmpty("mode"), "-rw-------\n");
  std::string path = nmcli.readOrEmpty("secrets-path");
  ASSERT_FALSE(path.empty());
  path.pop_back();
  struct stat info {};
  EXPECT_NE(::stat(path.c_str(), &info), 0) << "password file left behind";
}

TEST(NetworkManager, WithoutPasswordNoFileIsPassed) {
  ScriptedNmcli nmcli;
  NetworkManager link(nmcli.program());
  ASSERT_EQ(link.bringUp("Office ISP", {}), 0);
  ASSERT_EQ(link.bringDown("Office ISP"), 0);
  EXPECT_EQ(nmcli.log(),
            "--wait|90|connection|up|id|Office ISP|\nconnection|down|id|Office ISP|\n");
}

TEST(NetworkManager, RefusesPasswordsWithLineBreaksAndEmptyNames) {
  ScriptedNmcli nmcli;
  NetworkManager link(nmcli.program());
  EXPECT_EQ(link.bringUp("Office ISP", {"", "pw\ngsm.apn:evil", ""}), err::kUnusablePassword);
  EXPECT_EQ(link.bringUp("Office ISP", {"", std::string("pw\0x", 4), ""}), err::kUnusablePassword);
  EXPECT_EQ(link.bringUp("", {}), err::kNoConnectionName);
  EXPECT_EQ(link.bringDown(""), err::kNoConnectionName);
  EXPECT_EQ(nmcli.log(), "");
}

TEST(NetworkManager, ExitStatusesBecomeCodesWithTexts) {
  ScriptedNmcli nmcli;
  NetworkManager link(nmcli.program());
  nmcli.exitWith(4);
  EXPECT_EQ(link.bringUp("Office ISP", {}), 604);
  EXPECT_EQ(link.errorText(604), "Connection activation failed");
  nmcli.exitWith(10);
  EXPECT_EQ(link.bringDown("Gone"), 610);
  EXPECT_EQ(link.errorText(610), "The connection does not exist");
  nmcli.exitWith(200);
  std::string address;
  EXPECT_EQ(link.ipv4Address("Office ISP", address), 699);
  EXPECT_EQ(link.errorText(699), "");
  EXPECT_EQ(link.errorText(err::kNoIpv4Address), "The connection has no IPv4 address");
}

}  // namespace
}  // namespace quillet
