// The private authentication-only Dovecot (see DovecotSaslServer.h).
#include "DovecotSaslServer.h"

#include <sys/stat.h>
#include <unistd.h>

#include "tests/support/FileBytes.h"
#include "tests/support/Waiting.h"

namespace quillet::testing {

DovecotSaslServer::DovecotSaslServer(const std::map<std::string, std::string>& users) {
  const std::string d = dir_.path();
  std::string passwd;
  for (const auto& [user, password] : users) {
    passwd += user + ":{PLAIN}" + password + ":65534:65534::/nonexistent::\n";
  }
  writeBytes(d + "/passwd", passwd);
  writeBytes(d + "/dovecot.conf",
             "instance_name = quillet-sasl-" + std::to_string(::getpid()) + "-" +
                 d.substr(d.rfind('-') + 1) + "\nbase_dir = " + d + "/run\nstate_dir = " + d +
                 "/state\nlog_path = " + d +
                 "/dovecot.log\n"
                 "protocols =\n"
                 "disable_plaintext_auth = no\n"
                 "auth_mechanisms = plain login\n"
                 "auth_failure_delay = 0\n"
                 "default_login_user = dovenull\n"
                 "default_internal_user = dovecot\n"
                 "passdb {\n  driver = passwd-file\n  args = scheme=PLAIN username_format=%u " +
                 d + "/passwd\n}\nuserdb {\n  driver = passwd-file\n  args = username_format=%u " +
                 d + "/passwd\n}\n" + "service auth {\n  unix_listener " + socketPath() +
                 " {\n    mode = 0660\n    user = postfix\n    group = postfix\n  }\n}\n"
                 // Without this, every failed login makes the next one wait seconds.
                 "service anvil {\n  unix_listener anvil-auth-penalty {\n    mode = 0\n  }\n}\n");
}

DovecotSaslServer::~DovecotSaslServer() = default;

std::string DovecotSaslServer::start() {
  const std::string dovecot = findProgram("dovecot");
  if (dovecot.empty()) return "dovecot (dovecot-core) is not installed";
  if (::geteuid() != 0) return "a private Dovecot needs root";
  process_ = std::make_unique<TestProcess>(
      std::vector<std::string>{dovecot, "-F", "-c", dir_.file("dovecot.conf")},
      dir_.file("dovecot.out"));
  const bool listening =
      process_->started() && waitUntil(
                                 [&] {
                                   struct stat info {};
                                   return ::stat(socketPath().c_str(), &info) == 0;
                                 },
                                 10000);
  if (!listening)
    return "dovecot (auth) did not start: " + readBytes(dir_.file("dovecot.out")) + log();
  return "";
}

std::string DovecotSaslServer::log() const { return readBytes(dir_.file("dovecot.log")); }

}  // namespace quillet::testing
