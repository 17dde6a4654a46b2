// systemd service installation and removal through systemctl (see ServiceControl.h).
#include "server/ServiceControl.h"

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <system_error>
#include <vector>

#include "base/FileNames.h"
#include "base/FileSystem.h"
#include "platform/ProcessControl.h"
#include "server/ServiceUnit.h"

namespace quillet {

namespace {

class Control {
 public:
  explicit Control(const ServiceControlSetup& setup) : setup_(setup) {}

  void print(const std::string& line) const {
    if (setup_.print) {
      setup_.print(line);
    } else {
      std::printf("%s\n", line.c_str());
      std::fflush(stdout);
    }
  }
  void printNamed(const char* prefix, const char* suffix = "") const {
    print(prefix + setup_.serviceName.toStd() + suffix);
  }

  [[nodiscard]] CommandResult systemctl(const std::vector<std::string>& arguments) const {
    std::vector<std::string> argv{setup_.systemctl};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    return runCommand(argv);
  }
  [[nodiscard]] bool succeeds(const std::vector<std::string>& arguments) const {
    const CommandResult result = systemctl(arguments);
    return result.started && result.exitCode == 0;
  }

  // The manager answers: systemctl exists and reaches a running systemd.
  [[nodiscard]] bool managerReachable() const {
    if (succeeds({"show", "--property=Version"})) return true;
    print("Unable to open ServiceManager!");
    return false;
  }

  [[nodiscard]] std::string unitPath(const std::string& unitName) const {
    std::string path = setup_.unitDirectory;
    if (!path.empty() && path.back() != '/') path += '/';
    return path + unitName;
  }

 private:
  const ServiceControlSetup& setup_;
};

// Writes the unit file completely or not at all; readable by everyone like other units.
bool writeUnitFile(const std::string& path, const std::string& text) {
  DurableReplace replace{Str(path), 0644};
  if (!replace.begin()) return false;
  if (replace.file().write(text.data(), static_cast<int>(text.size())) !=
      static_cast<int>(text.size())) {
    return false;
  }
  return replace.commit();
}

// The state systemctl is-active prints; empty when it could not be asked.
std::string activeState(const Control& control, const std::string& unitName) {
  const CommandResult result = control.systemctl({"is-active", unitName});
  if (!result.started) return {};
  return result.output.substr(0, result.output.find('\n'));
}

}  // namespace

void ServiceControlSetup::applyEnvironment() {
  if (const char* dir = std::getenv("QUILLET_SYSTEMD_UNIT_DIR"); dir != nullptr && *dir != '\0') {
    unitDirectory = dir;
  }
  if (const char* program = std::getenv("QUILLET_SYSTEMCTL");
      program != nullptr && *program != '\0') {
    systemctl = program;
  }
}

bool installService(const ServiceControlSetup& setup) {
  const Control control(setup);
  if (!control.managerReachable()) return false;
  const std::optional<std::string> unitName = unitNameFor(setup.serviceName);
  const std::optional<std::string> text =
      unitFileText(setup.serviceName, setup.programPath, setup.programDirectory);
  if (!unitName || !text) {
    control.printNamed("Error creating service ");
    return false;
  }
  const std::string path = control.unitPath(*unitName);
  if (fileExists(Str(path)) || !writeUnitFile(path, *text)) {
    control.printNamed("Error creating service ");
    return false;
  }
  if (!control.succeeds({"daemon-reload"}) || !control.succeeds({"enable", *unitName})) {
    // Leave no half-installed service behind.
    (void)removeFile(Str(path));
    (void)control.succeeds({"daemon-reload"});
    control.printNamed("Error creating service ");
    return false;
  }
  control.printNamed("Service ", " installed!");
  return true;
}

bool removeService(const ServiceControlSetup& setup) {
  const Control control(setup);
  if (!control.managerReachable()) return false;
  const std::optional<std::string> unitName = unitNameFor(setup.serviceName);
  if (!unitName || !isRegularFile(Str(control.unitPath(*unitName)))) {
    control.printNamed("Unable to open service ");
    return false;
  }
  const std::string path = control.unitPath(*unitName);
  const std::string state = activeState(control, *unitName);
  if (state.empty()) {
    control.printNamed("Unable to query status of service ");
    return false;
  }
  if (state != "inactive" && state != "failed") {
    control.printNamed("Stopping Service ", " ...");
    // systemctl stop returns once the service has stopped (or its stop time-out passed).
    if (!control.succeeds({"stop", *unitName})) {
      control.printNamed("Unable to control service ");
      return false;
    }
  }
  if (!control.succeeds({"disable", *unitName}) || !removeFile(Str(path))) {
    control.printNamed("Failed deleting service ");
    return false;
  }
  (void)control.succeeds({"daemon-reload"});
  control.printNamed("Service ", " removed!");
  return true;
}

}  // namespace quillet
