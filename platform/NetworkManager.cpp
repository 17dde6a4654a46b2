// NetworkManager through nmcli (see NetworkManager.h).
#include "platform/NetworkManager.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <string_view>

#include "base/File.h"
#include "base/FileNames.h"
#include "base/FileSystem.h"
#include "base/Str.h"
#include "platform/NmcliOutput.h"
#include "platform/ProcessControl.h"

namespace quillet {
namespace {

bool isExecutableFile(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
         ::access(path.c_str(), X_OK) == 0;
}

// The program's path: as given when it holds a '/', else the first PATH entry holding it.
std::string findProgram(const std::string& program) {
  if (program.empty()) return {};
  if (program.find('/') != std::string::npos) return isExecutableFile(program) ? program : "";
  const char* path = std::getenv("PATH");
  std::string_view rest = path != nullptr ? path : "/usr/bin:/bin";
  while (true) {
    const size_t colon = rest.find(':');
    const std::string_view dir = rest.substr(0, colon);
    std::string candidate(dir.empty() ? std::string_view(".") : dir);
    candidate.append("/").append(program);
    if (isExecutableFile(candidate)) return candidate;
    if (colon == std::string_view::npos) return {};
    rest.remove_prefix(colon + 1);
  }
}

// The directory for the password file: TMPDIR when set and representable in the OEM code
// page that file names are held in, else /tmp.
Str temporaryDirectory() {
  const char* tmp = std::getenv("TMPDIR");
  if (tmp == nullptr || *tmp == 0) return "/tmp";
  const Str system(tmp);
  const Str oem = system.ansiToOemCopy();
  return oem.oemToAnsiCopy() == system ? oem : Str("/tmp");
}

// A private file with the secrets nmcli may ask for, removed when this ends.
class PasswordFile {
 public:
  // Writes the file; ok() tells whether that worked.
  explicit PasswordFile(const std::string& password) {
    std::unique_ptr<File> file = createUniqueFile(temporaryDirectory(), "quillet-dialup-");
    if (!file) return;
    name_ = file->name();
    // The secret names of the dial-up style connection types; nmcli uses the ones the
    // connection asks for and ignores the rest.
    std::string text;
    for (const char* secret :
         {"gsm.password", "cdma.password", "pppoe.password", "vpn.secrets.password"}) {
      text.append(secret).append(":").append(password).append("\n");
    }
    const int size = static_cast<int>(text.size());
    ok_ = file->write(text.data(), size) == size;
    ok_ = file->close() && ok_;
  }
  ~PasswordFile() {
    // Best effort: nothing more can be done here; the file is readable by its owner only.
    if (!name_.empty()) static_cast<void>(removeFile(name_));
  }
  PasswordFile(const PasswordFile&) = delete;
  PasswordFile& operator=(const PasswordFile&) = delete;

  [[nodiscard]] bool ok() const { return ok_; }
  // The path in the system's encoding, for nmcli's command line.
  [[nodiscard]] std::string path() const { return name_.oemToAnsiCopy().toStd(); }

 private:
  Str name_;  // OEM, like every file name base takes
  bool ok_ = false;
};

}  // namespace

NetworkManager::NetworkManager(const std::string& program) : resolved_(findProgram(program)) {}

bool NetworkManager::available() const { return !resolved_.empty(); }

int NetworkManager::run(std::vector<std::string> arguments, std::string& output) const {
  if (resolved_.empty()) return err::kNmcliNotRun;
  arguments.insert(arguments.begin(), resolved_);
  CommandResult result = runCommand(arguments);
  if (!result.started || result.exitCode < 0) return err::kNmcliNotRun;
  if (result.exitCode != 0) return err::kNmcliExitBase + std::min(result.exitCode, 99);
  output = std::move(result.output);
  return 0;
}

int NetworkManager::activeConnections(std::vector<std::string>& names) {
  std::string output;
  const int rc = run({"-t", "-f", "NAME,STATE", "connection", "show", "--active"}, output);
  if (rc != 0) return rc;
  names.clear();
  for (NmcliConnection& connection : parseNmcliConnections(output)) {
    if (connection.state == "activated") names.push_back(std::move(connection.name));
  }
  return 0;
}

int NetworkManager::ipv4Address(const std::string& name, std::string& address) {
  if (name.empty()) return err::kNoConnectionName;
  std::string output;
  const int rc = run({"-t", "-f", "IP4.ADDRESS", "connection", "show", "id", name}, output);
  if (rc != 0) return rc;
  address = parseNmcliIpv4Address(output);
  return address.empty() ? err::kNoIpv4Address : 0;
}

int NetworkManager::bringUp(const std::string& name, const DialUpCredentials& credentials) {
  if (name.empty()) return err::kNoConnectionName;
  std::vector<std::string> arguments = {
      "--wait", std::to_string(kUpWaitSeconds), "connection", "up", "id", name};
  std::string output;
  if (credentials.password.empty()) return run(std::move(arguments), output);
  if (credentials.password.find_first_of(std::string_view("\r\n\0", 3)) != std::string::npos) {
    return err::kUnusablePassword;
  }
  const PasswordFile secrets(credentials.password);
  if (!secrets.ok()) return err::kPasswordFileFailed;
  arguments.emplace_back("passwd-file");
  arguments.push_back(secrets.path());
  return run(std::move(arguments), output);
}

int NetworkManager::bringDown(const std::string& name) {
  if (name.empty()) return err::kNoConnectionName;
  std::string output;
  return run({"connection", "down", "id", name}, output);
}

std::string NetworkManager::errorText(int code) const {
  switch (code) {
    case err::kNmcliNotRun:
      return "The NetworkManager client nmcli could not be run";
    case err::kNoIpv4Address:
      return "The connection has no IPv4 address";
    case err::kUnusablePassword:
      return "The dial-up password holds a line break";
    case err::kPasswordFileFailed:
      return "The temporary password file could not be written";
    case err::kNoConnectionName:
      return "No connection name is set";
    default:
      break;
  }
  // nmcli's exit statuses as its manual names them.
  switch (code - err::kNmcliExitBase) {
    case 1:
      return "Unknown or unspecified NetworkManager error";
    case 2:
      return "Invalid nmcli invocation";
    case 3:
      return "Timeout expired while bringing the connection up";
    case 4:
      return "Connection activation failed";
    case 5:
      return "Connection deactivation failed";
    case 6:
      return "Disconnecting device failed";
    case 8:
      return "NetworkManager is not running";
    case 10:
      return "The connection does not exist";
    default:
      return {};
  }
}

}  // namespace quillet
