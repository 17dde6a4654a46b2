// Certificates for the TLS integration tests, made once per test program with openssl in a
// temporary directory: a CA ("ca.pem"), a server certificate it signed for localhost and
// 127.0.0.1, or for localhost only ("server.pem", key "server.key"), and a second CA that
// signed nothing
// ("other.pem"). Nothing here is meant for real use: keys are unencrypted and valid for
// two days.
#pragma once

#include <string>

#include "tests/support/TempDir.h"
#include "tests/support/TestProcess.h"

namespace quillet::testing {

class TestCertificates {
 public:
  // The server certificate names localhost and 127.0.0.1.
  static const TestCertificates& get();
  // The server certificate names localhost only: for 127.0.0.1 it is another name's.
  static const TestCertificates& localhostOnly();
  // False when openssl is missing or failed; tests skip then.
  bool made() const { return made_; }
  std::string file(const char* name) const { return dir_.file(name); }

 private:
  explicit TestCertificates(const std::string& serverNames);
  TempDir dir_{"quillet-test-ca", kServerDirMode};
  bool made_ = false;
};

}  // namespace quillet::testing
