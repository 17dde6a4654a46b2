// Tests of the process runtime: where the program directory and the temporary directory
// come from, and how a run's running flag follows the stop signals of the process.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

#include "base/ProcessContext.h"
#include "platform/Signals.h"
#include "server/Kernel.h"
#include "tests/support/FileBytes.h"
#include "tests/support/TempDir.h"

namespace quillet {
namespace {

// Sets an environment variable for the scope, restoring the old value after.
class ScopedEnvironment {
 public:
  ScopedEnvironment(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    if (value) {
      ::setenv(name, value, 1);
    } else {
      ::unsetenv(name);
    }
  }
  ~ScopedEnvironment() {
    if (old_) {
      ::setenv(name_, old_->c_str(), 1);
    } else {
      ::unsetenv(name_);
    }
  }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

TEST(KernelDirectories, ProgramDirectoryComesFromQuilletHomeOrTheProgram) {
  {
    ScopedEnvironment home("QUILLET_HOME", "/srv/quillet");
    EXPECT_EQ(Kernel::programDirectoryFromEnvironment().toStd(), "/srv/quillet/");
  }
  {
    ScopedEnvironment home("QUILLET_HOME", "relative/dir/");
    const std::string expected = (std::filesystem::current_path() / "relative/dir/").string();
    EXPECT_EQ(Kernel::programDirectoryFromEnvironment().toStd(), expected);
  }
  {
    ScopedEnvironment home("QUILLET_HOME", nullptr);
    const std::string program = std::filesystem::canonical("/proc/self/exe").string();
    EXPECT_EQ(Kernel::programDirectoryFromEnvironment().toStd(),
              program.substr(0, program.rfind('/') + 1));
  }
}

TEST(KernelDirectories, TemporaryDirectoryFromTempThenTmpdirThenTheProgramDirectory) {
  ScopedEnvironment temp("TEMP", "/var/tmp/q");
  ScopedEnvironment tmpdir("TMPDIR", "/tmp/other");
  EXPECT_EQ(Kernel::temporaryDirectoryFromEnvironment("/p/").toStd(), "/var/tmp/q/");
  ScopedEnvironment noTemp("TEMP", "");
  EXPECT_EQ(Kernel::temporaryDirectoryFromEnvironment("/p/").toStd(), "/tmp/other/");
  ScopedEnvironment noTmpdir("TMPDIR", nullptr);
  EXPECT_EQ(Kernel::temporaryDirectoryFromEnvironment("/p/").toStd(), "/p/");
}

class KernelSignalTest : public ::testing::Test {
 protected:
  KernelSignalTest() : dir_("kernel") {
    // A missing settings file would cost a retry of a second per run.
    quillet::testing::writeBytes(dir_.file("QUILLET.INI"), "SmartHost=mail\r\n");
    installServerSignalHandlers();
  }
  ~KernelSignalTest() override {
    resetSignalStateForTests();
    setSignalIgnoreFlags(false, false);
    ProcessContext::instance().setRunning(true);
  }
  Str directory() const { return Str(dir_.path() + "/"); }
  quillet::testing::TempDir dir_;
};

TEST_F(KernelSignalTest, AStopSignalIsNotUndoneByTheNextRun) {
  {
    Kernel run(directory(), false, [](const std::string&) {});
    EXPECT_TRUE(ProcessContext::instance().running());
    std::raise(SIGTERM);
    EXPECT_FALSE(ProcessContext::instance().running());
  }
  // The run that would follow a restart starts stopped.
  Kernel next(directory(), false, [](const std::string&) {});
  EXPECT_FALSE(ProcessContext::instance().running());
  EXPECT_EQ(lastStopSignal(), SIGTERM);
}

TEST_F(KernelSignalTest, ServiceModeIgnoresInterruptAndHangup) {
  {
    Kernel service(directory(), true, [](const std::string&) {});
    std::raise(SIGINT);
    std::raise(SIGHUP);
    EXPECT_TRUE(ProcessContext::instance().running());
    EXPECT_FALSE(stopRequestedBySignal());
  }
  Kernel console(directory(), false, [](const std::string&) {});
  std::raise(SIGHUP);
  EXPECT_FALSE(ProcessContext::instance().running());
  EXPECT_EQ(lastStopSignal(), SIGHUP);
}

TEST_F(KernelSignalTest, UserSignalsPauseAndContinue) {
  std::raise(SIGUSR1);
  EXPECT_TRUE(supervisorPaused());
  std::raise(SIGUSR2);
  EXPECT_FALSE(supervisorPaused());
  EXPECT_TRUE(ProcessContext::instance().running());
}

}  // namespace
}  // namespace quillet
