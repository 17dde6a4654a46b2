// What every private Dovecot of the integration tests shares: a configuration whose run and
// state directories and log live in the test's temporary directory under an instance name
// of its own (so nothing touches /etc/dovecot or the system instance), users with
// plain-text passwords from a passwd-file there, and "dovecot -F" started as the test's
// child, stopped by its PID.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/TempDir.h"
#include "tests/support/TestProcess.h"

namespace quillet::testing {

struct DovecotUser {
  std::string name;
  std::string password;
  std::string home;  // owned by nobody, whose uid and gid every user gets
};

// Writes dir/passwd for the users and returns the configuration lines every instance
// starts with: instance, directories, log, logins as the built-in users, plain-text
// passwords allowed without TLS, and the passwd-file as passdb and userdb. The caller adds
// protocols and services and writes the whole to dovecotConfigFile(dir).
[[nodiscard]] std::string dovecotBaseConfig(const TempDir& dir,
                                            const std::vector<DovecotUser>& users);
[[nodiscard]] std::string dovecotConfigFile(const TempDir& dir);
// Starts Dovecot from dovecotConfigFile(dir) into process and waits up to 15 s for ready;
// empty once ready, else the reason (to skip with): dovecot missing, not root, or it did
// not get ready (with its output and log).
[[nodiscard]] std::string startDovecot(const TempDir& dir, std::unique_ptr<TestProcess>& process,
                                       const std::function<bool()>& ready);
// Dovecot's log.
[[nodiscard]] std::string dovecotLog(const TempDir& dir);

}  // namespace quillet::testing
