// Tests of the runnel program as a new user runs it: in a private program directory
// (QUILLET_HOME), with standard output not a terminal (plain lines), stopped by signals. They
// check the banner and start lines, the stop, the exit code, what is left on disk, a
// second instance, a restart on a saved settings file and the service mode's signals.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "base/FileNames.h"
#include "base/ProcessContext.h"
#include "base/Sema.h"
#include "tests/support/FileBytes.h"
#include "tests/support/RunnelRun.h"
#include "tests/support/SettingsFile.h"
#include "tests/support/TempDir.h"
#include "tests/support/Waiting.h"

namespace quillet {
namespace {

using namespace std::chrono_literals;
using quillet::testing::readBytes;
using quillet::testing::TempDir;
using quillet::testing::waitUntil;
using quillet::testing::writeBytes;

const std::string kSettings = testing::runnableSettings();

// The private directory of one run's output file; a base class of RunnelProcess, so that it
// exists before the run starts and goes after the run ends.
struct RunnelOutputDir {
  TempDir outputDir{"runnel-output"};
};

// One runnel process with its standard output collected in a file of its own, outside the
// program directory.
class RunnelProcess : private RunnelOutputDir, public testing::RunnelRun {
 public:
  RunnelProcess(const std::string& home, std::vector<std::string> arguments = {},
                const std::vector<std::string>& extraEnvironment = {})
      : RunnelRun(RUNNEL_PROGRAM, home, outputDir.file("runnel.out"), std::move(arguments),
                  extraEnvironment) {
    EXPECT_TRUE(started()) << RUNNEL_PROGRAM;
  }
};

class RunnelProcessTest : public ::testing::Test {
 protected:
  RunnelProcessTest() : home_("runnel-home") { writeBytes(home_.file("QUILLET.INI"), kSettings); }
  std::string home() const { return home_.path(); }
  TempDir home_;
};

TEST_F(RunnelProcessTest, StartsAndStopsOnSigterm) {
  RunnelProcess runnel(home());
  ASSERT_TRUE(runnel.waitFor("running on "));
  // The threads run once the instance lock is taken.
  (void)waitUntil([&] { return fileExists(home_.str("QUILLETSVC.LCK")); }, 2000);
  runnel.signal(SIGTERM);
  EXPECT_EQ(runnel.waitExit(), 0);
  const std::string out = runnel.output();
  EXPECT_EQ(out.rfind("\nQuillet v3.19 (Linux)\n", 0), 0u) << out;
  EXPECT_NE(out.find("Quillet v3.19 started\n"), std::string::npos) << out;
  EXPECT_NE(out.find("Quillet stopped\n"), std::string::npos) << out;
  EXPECT_EQ(out.find("Config Error"), std::string::npos) << out;
  EXPECT_EQ(out.find("Delaying"), std::string::npos) << out;
  // Nothing locked is left behind; the run made its files.
  EXPECT_FALSE(fileExists(home_.str("QUILLETSVC.LCK")));
  EXPECT_FALSE(fileExists(home_.str("QUILLETDBT.LCK")));
  EXPECT_TRUE(std::filesystem::is_directory(home_.file("MSG-IN")));
  EXPECT_TRUE(std::filesystem::is_directory(home_.file("MSG-OUT")));
  EXPECT_EQ(readBytes(home_.file("DATACONF.DAT")).size(), 256u);
  EXPECT_NE(readBytes(home_.file("STRANDEL.LOG")).find("Quillet stopped"), std::string::npos);
}

TEST_F(RunnelProcessTest, WithoutSettingsReportsTheConfigErrorEveryInterval) {
  ::unlink(home_.file("QUILLET.INI").c_str());
  // Interval defaults to 60 s: the first check comes at once, the next one much later.
  RunnelProcess runnel(home());
  ASSERT_TRUE(runnel.waitFor("Config Error: Address of Postmaster is invalid!"));
  runnel.signal(SIGINT);  // Ctrl+C in console mode
  EXPECT_EQ(runnel.waitExit(), 0);
  EXPECT_EQ(runnel.occurrences("Quillet stopped"), 1);
}

TEST_F(RunnelProcessTest, ASecondInstanceReportsItAndWaits) {
  RunnelProcess first(home());
  ASSERT_TRUE(first.waitFor("running on "));
  (void)waitUntil([&] { return fileExists(home_.str("QUILLETSVC.LCK")); }, 2000);
  RunnelProcess second(home());
  // The notice is two lines; wait for the second line of the second notice, not the first.
  ASSERT_TRUE(second.waitFor("Please shut down either this or the other instance", 2));
  EXPECT_GE(second.occurrences("There is already an instance of Quillet running!"), 2);
  second.signal(SIGTERM);
  EXPECT_EQ(second.waitExit(), 0);
  // The second one's end leaves the first one's lock alone.
  EXPECT_TRUE(fileExists(home_.str("QUILLETSVC.LCK")));
  first.signal(SIGTERM);
  EXPECT_EQ(first.waitExit(), 0);
  EXPECT_EQ(first.occurrences("There is already"), 0);
}

TEST_F(RunnelProcessTest, RestartsOnASavedSettingsFileWithoutAnotherDelay) {
  writeBytes(home_.file("QUILLET.INI"), testing::runnableSettings("StartupDelay=1"));
  RunnelProcess runnel(home());
  ASSERT_TRUE(runnel.waitFor("Quillet v3.19 started"));
  std::this_thread::sleep_for(300ms);
  const auto path = std::filesystem::path(home_.file("QUILLET.INI"));
  std::filesystem::last_write_time(path, std::filesystem::last_write_time(path) + 5s);
  ASSERT_TRUE(runnel.waitFor("Quillet v3.19 started", 2));
  EXPECT_EQ(runnel.occurrences("Quillet stopped"), 1);
  runnel.signal(SIGTERM);
  EXPECT_EQ(runnel.waitExit(), 0);
  EXPECT_EQ(runnel.occurrences("Delaying startup for 1 seconds"), 1);
  EXPECT_EQ(runnel.occurrences("\nQuillet v3.19 (Linux)\n"), 2);
  EXPECT_EQ(runnel.occurrences("Quillet stopped"), 2);
}

TEST_F(RunnelProcessTest, ServiceModeIgnoresInterruptAndHangupButStopsOnSigterm) {
  RunnelProcess runnel(home(), {}, {"INVOCATION_ID=0123456789abcdef"});
  ASSERT_TRUE(runnel.waitFor("running on "));
  // The start prints the bare title before it hands over; the run prints its own banner.
  const std::string output = runnel.output();
  const size_t handOver = output.find("Starting Quillet as a service\n");
  ASSERT_NE(handOver, std::string::npos);
  EXPECT_EQ(output.rfind("\nQuillet v3.19\n", handOver), 0u);
  EXPECT_GT(output.find("\nQuillet v3.19 (Linux Service)\n"), handOver);
  EXPECT_EQ(runnel.occurrences("Quillet v3.19 (Linux Service)"), 1);
  runnel.signal(SIGINT);
  runnel.signal(SIGHUP);
  EXPECT_EQ(runnel.waitExit(1500ms), -1);  // still running
  runnel.signal(SIGTERM);
  EXPECT_EQ(runnel.waitExit(), 0);
  EXPECT_EQ(runnel.occurrences("Quillet stopped"), 1);
}

TEST_F(RunnelProcessTest, SigquitEndsAtOnceWithCodeZero) {
  RunnelProcess runnel(home());
  ASSERT_TRUE(runnel.waitFor("running on "));
  runnel.signal(SIGQUIT);
  EXPECT_EQ(runnel.waitExit(), 0);
  EXPECT_EQ(runnel.occurrences("Quillet stopped"), 0);
}

TEST_F(RunnelProcessTest, InstallAndRemoveUseTheServiceNameFile) {
  ::mkdir(home_.file("units").c_str(), 0755);
  const std::string fake = home_.file("systemctl");
  writeBytes(fake, "#!/bin/sh\necho \"$*\" >> '" + home_.file("calls.log") +
                       "'\n[ \"$1\" = is-active ] && echo inactive\nexit 0\n");
  ::chmod(fake.c_str(), 0755);
  writeBytes(home_.file("runnel.svc"), "Office Mail\r\n");
  const std::vector<std::string> environment{"QUILLET_SYSTEMD_UNIT_DIR=" + home_.file("units"),
                                             "QUILLET_SYSTEMCTL=" + fake};
  {
    RunnelProcess install(home(), {"INSTALL"}, environment);
    EXPECT_EQ(install.waitExit(), 0);
    EXPECT_EQ(install.output(),
              "\nQuillet v3.19\nMail collector: POP3 mailboxes to your own SMTP server\n"
              "Copyright (c) 2026 the Quillet developers\n\nService OfficeMail installed!\n");
  }
  const std::string unit = readBytes(home_.file("units/OfficeMail.service"));
  EXPECT_NE(
      unit.find("ExecStart=\"" + std::filesystem::canonical(RUNNEL_PROGRAM).string() + "\"\n"),
      std::string::npos)
      << unit;
  EXPECT_NE(unit.find("Environment=\"QUILLET_HOME=" + home() + "/\"\n"), std::string::npos) << unit;
  {
    RunnelProcess remove(home(), {"remove", "ignored"}, environment);
    EXPECT_EQ(remove.waitExit(), 0);
    EXPECT_NE(remove.output().find("Service OfficeMail removed!\n"), std::string::npos);
  }
  EXPECT_FALSE(fileExists(home_.str("units/OfficeMail.service")));
  // Nothing of a server run happened.
  EXPECT_FALSE(std::filesystem::exists(home_.file("MSG-IN")));
}

TEST_F(RunnelProcessTest, LockedDataFilesDelayTheStartUntilTheLockIsFree) {
  ProcessContext::instance().setProgramDirectory(home() + "/");
  auto dataLock = std::make_unique<Sema>("QUILLETDBT.LCK");
  ASSERT_TRUE(dataLock->acquire(1));
  RunnelProcess runnel(home());
  ASSERT_TRUE(runnel.waitFor("Will automatically retry the locking in 60 seconds"));
  EXPECT_EQ(runnel.occurrences("Unable to lock the data files!"), 1);
  EXPECT_EQ(runnel.occurrences("Looks like Helmcrest is currently modifying the data files"), 1);
  EXPECT_FALSE(fileExists(home_.str("DataPOP.DAT")));  // nothing was opened under our lock
  dataLock.reset();
  (void)waitUntil([&] { return fileExists(home_.str("DATACONF.DAT")); }, 3000);
  EXPECT_TRUE(fileExists(home_.str("DATACONF.DAT")));
  runnel.signal(SIGTERM);
  EXPECT_EQ(runnel.waitExit(), 0);
  ProcessContext::instance().setProgramDirectory("");
}

TEST_F(RunnelProcessTest, PausedServiceDoesNotRestartUntilContinued) {
  RunnelProcess runnel(home(), {}, {"INVOCATION_ID=0123456789abcdef"});
  ASSERT_TRUE(runnel.waitFor("running on "));
  runnel.signal(SIGUSR1);
  std::this_thread::sleep_for(1500ms);  // the current wait step ends, the loop stands still
  const auto path = std::filesystem::path(home_.file("QUILLET.INI"));
  std::filesystem::last_write_time(path, std::filesystem::last_write_time(path) + 5s);
  EXPECT_FALSE(runnel.waitFor("Quillet stopped", 1, 2500ms));
  runnel.signal(SIGUSR2);
  EXPECT_TRUE(runnel.waitFor("Quillet v3.19 started", 2));
  runnel.signal(SIGTERM);
  EXPECT_EQ(runnel.waitExit(), 0);
}

// Receives the notifications runnel sends to systemd, on a socket of the test's own.
class NotifySocket {
 public:
  explicit NotifySocket(const std::string& path) : path_(path) {
    fd_ = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    EXPECT_EQ(::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    timeval timeout{0, 100000};
    ::setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
  }
  ~NotifySocket() { ::close(fd_); }
  // Collects messages until one equals expected or limit passed; true when it came.
  bool waitFor(const std::string& expected, std::chrono::milliseconds limit = 20s) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end) {
      char buffer[512];
      const ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
      if (n <= 0) continue;
      received_.emplace_back(buffer, static_cast<size_t>(n));
      if (received_.back() == expected) return true;
    }
    return false;
  }
  const std::vector<std::string>& received() const { return received_; }

 private:
  std::string path_;
  int fd_ = -1;
  std::vector<std::string> received_;
};

TEST_F(RunnelProcessTest, ServiceReportsReadyStatusAndStoppingToSystemd) {
  NotifySocket notify(home() + "/notify.sock");
  RunnelProcess runnel(home(), {}, {"NOTIFY_SOCKET=" + home() + "/notify.sock"});
  ASSERT_TRUE(notify.waitFor("READY=1"));
  EXPECT_TRUE(notify.waitFor("STATUS=Running"));
  runnel.signal(SIGTERM);
  EXPECT_TRUE(notify.waitFor("STOPPING=1"));
  EXPECT_EQ(runnel.waitExit(), 0);
  EXPECT_NE(runnel.output().find("Starting Quillet as a service\n"), std::string::npos);
}

}  // namespace
}  // namespace quillet
