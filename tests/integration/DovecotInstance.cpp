// The shared set-up of the tests' private Dovecot instances (see DovecotInstance.h).
#include "DovecotInstance.h"

#include <unistd.h>

#include <filesystem>

#include "tests/support/FileBytes.h"
#include "tests/support/Waiting.h"

namespace quillet::testing {

std::string dovecotBaseConfig(const TempDir& dir, const std::vector<DovecotUser>& users) {
  std::string passwd;
  for (const DovecotUser& user : users) {
    passwd += user.name + ":{PLAIN}" + user.password + ":65534:65534::" + user.home + "::\n";
  }
  writeBytes(dir.file("passwd"), passwd);
  // The temporary directory's name is unique, and so is the instance named after it.
  const std::string instance = std::filesystem::path(dir.path()).filename().string();
  return "instance_name = " + instance + "\nbase_dir = " + dir.file("run") +
         "\nstate_dir = " + dir.file("state") + "\nlog_path = " + dir.file("dovecot.log") +
         "\n"
         "disable_plaintext_auth = no\n"
         "default_login_user = dovenull\n"
         "default_internal_user = dovecot\n"
         "passdb {\n  driver = passwd-file\n  args = scheme=PLAIN username_format=%u " +
         dir.file("passwd") +
         "\n}\nuserdb {\n  driver = passwd-file\n  args = username_format=%u " +
         dir.file("passwd") + "\n}\n";
}

std::string dovecotConfigFile(const TempDir& dir) { return dir.file("dovecot.conf"); }

std::string startDovecot(const TempDir& dir, std::unique_ptr<TestProcess>& process,
                         const std::function<bool()>& ready) {
  const std::string dovecot = findProgram("dovecot");
  if (dovecot.empty()) return "dovecot (dovecot-core) is not installed";
  if (::geteuid() != 0) return "a private Dovecot needs root (its users are nobody)";
  process = std::make_unique<TestProcess>(
      std::vector<std::string>{dovecot, "-F", "-c", dovecotConfigFile(dir)},
      dir.file("dovecot.out"));
  if (!process->started() || !waitUntil(ready, 15000)) {
    return "dovecot did not start: " + readBytes(dir.file("dovecot.out")) + dovecotLog(dir);
  }
  return "";
}

std::string dovecotLog(const TempDir& dir) { return readBytes(dir.file("dovecot.log")); }

}  // namespace quillet::testing
