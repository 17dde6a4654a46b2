// A private Dovecot that only authenticates (no mail protocols), for Postfix's AUTH: its
// own run and state directories and log in a temporary directory, users and plain-text
// passwords from a passwd-file, and one socket that Postfix's smtpd (user postfix) talks
// to. Failed logins are not delayed, so tests with wrong passwords stay fast. Stopped by
// its PID when the object goes: start it before Postfix and let it go after.
#pragma once

#include <map>
#include <memory>
#include <string>

#include "tests/support/TempDir.h"
#include "tests/support/TestProcess.h"

namespace quillet::testing {

class DovecotSaslServer {
 public:
  // users: name -> password; mechanisms: the SASL mechanisms offered, as Dovecot's
  // auth_mechanisms names them.
  explicit DovecotSaslServer(const std::map<std::string, std::string>& users,
                             const std::string& mechanisms = "plain login");
  ~DovecotSaslServer();
  DovecotSaslServer(const DovecotSaslServer&) = delete;
  DovecotSaslServer& operator=(const DovecotSaslServer&) = delete;

  // Starts Dovecot and waits for its socket; empty on success, else the reason.
  [[nodiscard]] std::string start();
  // The authentication socket (Postfix's smtpd_sasl_path).
  std::string socketPath() const { return dir_.file("auth-postfix"); }
  [[nodiscard]] std::string log() const;

 private:
  TempDir dir_{"quillet-dovecot-sasl", kServerDirMode};
  std::unique_ptr<TestProcess> process_;
};

}  // namespace quillet::testing
