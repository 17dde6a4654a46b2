// The generated test certificates (see TestCertificates.h).
#include "TestCertificates.h"

#include "tests/support/FileBytes.h"

namespace quillet::testing {

const TestCertificates& TestCertificates::get() {
  static const TestCertificates certificates("DNS:localhost,IP:127.0.0.1");
  return certificates;
}

const TestCertificates& TestCertificates::localhostOnly() {
  static const TestCertificates certificates("DNS:localhost");
  return certificates;
}

// serverNames: the subjectAltName value of the server certificate.
TestCertificates::TestCertificates(const std::string& serverNames) {
  const std::string openssl = findProgram("openssl");
  if (openssl.empty()) return;
  const std::string d = dir_.path();
  const std::string ec = " -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes";
  writeBytes(d + "/ext", "subjectAltName=" + serverNames + "\nbasicConstraints=CA:FALSE\n");
  made_ = runCommand(openssl + " req -x509" + ec + " -keyout " + d + "/ca.key -out " + d +
                     "/ca.pem -days 2 -subj /CN=Quillet-POP3-CA 2>/dev/null") &&
          runCommand(openssl + " req -x509" + ec + " -keyout " + d + "/other.key -out " + d +
                     "/other.pem -days 2 -subj /CN=Other 2>/dev/null") &&
          runCommand(openssl + " req" + ec + " -keyout " + d + "/server.key -out " + d +
                     "/server.csr -subj /CN=localhost 2>/dev/null") &&
          runCommand(openssl + " x509 -req -in " + d + "/server.csr -CA " + d + "/ca.pem -CAkey " +
                     d + "/ca.key -CAcreateserial -out " + d + "/server.pem -days 2 -extfile " + d +
                     "/ext 2>/dev/null");
}

}  // namespace quillet::testing
