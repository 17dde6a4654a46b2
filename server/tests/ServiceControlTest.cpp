// Tests of "install" and "remove" against a private unit directory and a scripted
// systemctl that logs its calls and answers as each test tells it.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "base/FileNames.h"
#include "server/ServiceControl.h"
#include "tests/support/FileBytes.h"
#include "tests/support/TempDir.h"

namespace quillet {
namespace {

using quillet::testing::readBytes;
using quillet::testing::TempDir;
using quillet::testing::writeBytes;

// How the fake systemctl behaves.
struct FakeBehaviour {
  bool managerReachable = true;
  bool enableFails = false;
  bool stopFails = false;
  bool isActiveFails = false;
  std::string state = "inactive";  // what is-active prints
};

class ServiceControlTest : public ::testing::Test {
 protected:
  ServiceControlTest() : dir_("service-control") {
    ::mkdir(dir_.file("units").c_str(), 0755);
    setup_.serviceName = "Quillet";
    setup_.unitDirectory = dir_.file("units");
    setup_.systemctl = dir_.file("systemctl");
    setup_.programPath = "/opt/quillet/runnel";
    setup_.programDirectory = "/opt/quillet/";
    setup_.print = [this](const std::string& line) { printed_.push_back(line); };
  }

  void writeFake(const FakeBehaviour& b) {
    const std::string log = dir_.file("calls.log");
    const std::string state = dir_.file("state");
    writeBytes(state, b.state + "\n");
    std::string script = "#!/bin/sh\necho \"$*\" >> '" + log + "'\ncase \"$1\" in\n";
    script += std::string("  show) ") +
              (b.managerReachable ? "echo Version=252; exit 0" : "exit 1") + ";;\n";
    script += std::string("  is-active) ") +
              (b.isActiveFails ? "exit 1" : "cat '" + state + "'; exit 0") + ";;\n";
    script += std::string("  stop) ") +
              (b.stopFails ? "exit 1" : "echo inactive > '" + state + "'") + ";;\n";
    script += std::string("  enable) ") + (b.enableFails ? "exit 1" : "exit 0") + ";;\n";
    script += "esac\nexit 0\n";
    writeBytes(setup_.systemctl, script);
    ::chmod(setup_.systemctl.c_str(), 0755);
  }

  std::string calls() const { return readBytes(dir_.file("calls.log")); }
  std::string unitPath() const { return dir_.file("units") + "/Quillet.service"; }
  bool unitExists() const { return fileExists(Str(unitPath())); }

  TempDir dir_;
  ServiceControlSetup setup_;
  std::vector<std::string> printed_;
};

TEST_F(ServiceControlTest, InstallWritesTheUnitReloadsAndEnables) {
  writeFake({});
  EXPECT_TRUE(installService(setup_));
  EXPECT_EQ(printed_, std::vector<std::string>{"Service Quillet installed!"});
  ASSERT_TRUE(unitExists());
  EXPECT_NE(readBytes(unitPath()).find("ExecStart=\"/opt/quillet/runnel\""), std::string::npos);
  struct stat info {};
  ASSERT_EQ(::stat(unitPath().c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0644u);
  EXPECT_EQ(calls(), "show --property=Version\ndaemon-reload\nenable Quillet.service\n");
}

TEST_F(ServiceControlTest, InstallNeverOverwritesAnExistingUnit) {
  writeFake({});
  writeBytes(unitPath(), "[Service]\nExecStart=/other\n");
  EXPECT_FALSE(installService(setup_));
  EXPECT_EQ(printed_, std::vector<std::string>{"Error creating service Quillet"});
  EXPECT_EQ(readBytes(unitPath()), "[Service]\nExecStart=/other\n");
}

TEST_F(ServiceControlTest, InstallThatCannotEnableLeavesNoUnit) {
  FakeBehaviour b;
  b.enableFails = true;
  writeFake(b);
  EXPECT_FALSE(installService(setup_));
  EXPECT_EQ(printed_, std::vector<std::string>{"Error creating service Quillet"});
  EXPECT_FALSE(unitExists());
}

TEST_F(ServiceControlTest, UnreachableOrMissingManagerTouchesNothing) {
  FakeBehaviour b;
  b.managerReachable = false;
  writeFake(b);
  EXPECT_FALSE(installService(setup_));
  EXPECT_FALSE(removeService(setup_));
  setup_.systemctl = dir_.file("no-such-systemctl");
  EXPECT_FALSE(installService(setup_));
  EXPECT_EQ(printed_, std::vector<std::string>(3, "Unable to open ServiceManager!"));
  EXPECT_FALSE(unitExists());
}

TEST_F(ServiceControlTest, RemoveStopsARunningServiceThenDisablesAndDeletes) {
  FakeBehaviour b;
  b.state = "active";
  writeFake(b);
  writeBytes(unitPath(), "unit");
  EXPECT_TRUE(removeService(setup_));
  EXPECT_EQ(printed_,
            (std::vector<std::string>{"Stopping Service Quillet ...", "Service Quillet removed!"}));
  EXPECT_FALSE(unitExists());
  EXPECT_EQ(calls(),
            "show --property=Version\nis-active Quillet.service\nstop Quillet.service\n"
            "disable Quillet.service\ndaemon-reload\n");
}

TEST_F(ServiceControlTest, RemoveOfAStoppedServiceDoesNotStopIt) {
  writeFake({});
  writeBytes(unitPath(), "unit");
  EXPECT_TRUE(removeService(setup_));
  EXPECT_EQ(printed_, std::vector<std::string>{"Service Quillet removed!"});
  EXPECT_EQ(calls().find("stop "), std::string::npos);
}

TEST_F(ServiceControlTest, RemoveFailuresKeepTheUnit) {
  writeFake({});
  EXPECT_FALSE(removeService(setup_));  // no unit at all

  writeBytes(unitPath(), "unit");
  FakeBehaviour queryFails;
  queryFails.isActiveFails = true;
  writeFake(queryFails);
  EXPECT_FALSE(removeService(setup_));

  FakeBehaviour stopFails;
  stopFails.state = "active";
  stopFails.stopFails = true;
  writeFake(stopFails);
  EXPECT_FALSE(removeService(setup_));

  EXPECT_EQ(printed_, (std::vector<std::string>{
                          "Unable to open service Quillet",
                          "Unable to query status of service Quillet",
                          "Stopping Service Quillet ...",
                          "Unable to control service Quillet",
                      }));
  EXPECT_TRUE(unitExists());
}

}  // namespace
}  // namespace quillet
