// The private authentication-only Dovecot (see DovecotSaslServer.h).
#include "DovecotSaslServer.h"

#include <sys/stat.h>

#include <vector>

#include "DovecotInstance.h"
#include "tests/support/FileBytes.h"

namespace quillet::testing {

DovecotSaslServer::DovecotSaslServer(const std::map<std::string, std::string>& users,
                                     const std::string& mechanisms) {
  std::vector<DovecotUser> accounts;
  accounts.reserve(users.size());
  for (const auto& [name, password] : users) accounts.push_back({name, password, "/nonexistent"});
  writeBytes(dovecotConfigFile(dir_),
             dovecotBaseConfig(dir_, accounts) +
                 "protocols =\n"
                 "auth_mechanisms = " +
                 mechanisms +
                 "\n"
                 "auth_failure_delay = 0\n"
                 "service auth {\n  unix_listener " +
                 socketPath() +
                 " {\n    mode = 0660\n    user = postfix\n    group = postfix\n  }\n}\n"
                 // Without this, every failed login makes the next one wait seconds.
                 "service anvil {\n  unix_listener anvil-auth-penalty {\n    mode = 0\n  }\n}\n");
}

DovecotSaslServer::~DovecotSaslServer() = default;

std::string DovecotSaslServer::start() {
  return startDovecot(dir_, process_, [this] {
    struct stat info {};
    return ::stat(socketPath().c_str(), &info) == 0;
  });
}

std::string DovecotSaslServer::log() const { return dovecotLog(dir_); }

}  // namespace quillet::testing
