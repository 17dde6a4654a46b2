// Runnel's program entry: decides from the command line whether to install or remove the
// systemd service or to run the server, as a service when systemd started the process and
// as a console program otherwise.
//
// Only the first argument counts, compared without regard to letter case: "install",
// "remove"; anything else runs the server.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "base/Memory.h"
#include "base/ProcessContext.h"
#include "platform/ProcessControl.h"
#include "platform/ProgramPath.h"
#include "platform/ServiceNotify.h"
#include "server/Banner.h"
#include "server/Kernel.h"
#include "server/ServerRun.h"
#include "server/ServiceControl.h"
#include "server/ServiceName.h"

namespace {

using namespace quillet;

void printTitleBanner() {
  std::fputs(titleBannerText().c_str(), stdout);
  std::fflush(stdout);
}

int controlService(bool install, const Str& serviceName, const Str& programDirectory,
                   const std::string& programPath) {
  printTitleBanner();
  ServiceControlSetup setup;
  setup.serviceName = serviceName;
  setup.programPath = programPath;
  setup.programDirectory = programDirectory.toStd();
  setup.applyEnvironment();
  (void)(install ? installService(setup) : removeService(setup));
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  installOutOfMemoryHandler();
  const std::string programPath = executablePath();
  const Str programDirectory = Kernel::programDirectoryFromEnvironment();
  if (programDirectory.empty()) {
    std::fprintf(stderr, "Unable to determine the program directory; set QUILLET_HOME\n");
    return 1;
  }
  const Str serviceName = readServiceName(
      serviceNameFilePath(programDirectory, Str(programPath.empty() ? "runnel" : programPath)));

  if (argc >= 2) {
    const Str command(argv[1]);
    if (command.equalsIgnoreCase("remove"))
      return controlService(false, serviceName, programDirectory, programPath);
    if (command.equalsIgnoreCase("install"))
      return controlService(true, serviceName, programDirectory, programPath);
  }

  std::error_code error;
  if (!std::filesystem::is_directory(programDirectory.toStd(), error)) {
    std::fprintf(stderr, "Program directory %s does not exist\n", programDirectory.c_str());
    return 1;
  }

  ServerRunOptions options;
  options.programDirectory = programDirectory;
  options.serviceName = serviceName;
  options.serviceMode = startedBySystemd();
  options.programPath = programPath;
  options.arguments.assign(argv, argv + argc);
  // A copy that replaced a process after a restart continues it: no second start-up delay.
  if (const char* restarted = std::getenv(kRestartedEnvironment); restarted != nullptr) {
    options.startupDelay = false;
    setEnvironmentVariable(kRestartedEnvironment, nullptr);
  }
  if (options.serviceMode) {
    printTitleBanner();
    std::printf("Starting %s as a service\n", serviceName.c_str());
    std::fflush(stdout);
  }
  return runServer(options);
}
