// Installing and removing Runnel as a systemd service ("runnel install", "runnel remove").
// Install writes the unit file (see ServiceUnit), reloads systemd and enables the unit;
// remove stops a running service, disables it and deletes the unit file. Both print their
// messages to standard output only, not to the log:
//   "Service <name> installed!", "Error creating service <name>",
//   "Stopping Service <name> ...", "Service <name> removed!", "Unable to open service
//   <name>", "Unable to query status of service <name>", "Unable to control service
//   <name>", "Failed deleting service <name>", "Unable to open ServiceManager!".
//
// systemd is reached through the systemctl program; QUILLET_SYSTEMCTL names another one and
// QUILLET_SYSTEMD_UNIT_DIR another unit directory, so tests run without systemd. An
// existing unit of the same name is never overwritten (install fails as for an existing
// service); remove deletes nothing when the service cannot be stopped.
#pragma once

#include <functional>
#include <string>

#include "base/Str.h"

namespace quillet {

inline constexpr const char* kDefaultUnitDirectory = "/etc/systemd/system";

struct ServiceControlSetup {
  Str serviceName;
  std::string unitDirectory = kDefaultUnitDirectory;
  std::string systemctl = "systemctl";
  std::string programPath;       // the full path of the program (ExecStart)
  std::string programDirectory;  // working directory and QUILLET_HOME
  // Receives each message line (without line end); standard output when empty.
  std::function<void(const std::string&)> print;

  // The unit directory and systemctl from the environment, when set there.
  void applyEnvironment();
};

// Creates and enables the service; true when "installed!" was printed.
bool installService(const ServiceControlSetup& setup);

// Stops (when running), disables and deletes the service; true when "removed!" was printed.
bool removeService(const ServiceControlSetup& setup);

}  // namespace quillet
