// A private Dovecot POP3 server for integration tests: its own configuration, run and
// state directories and log in a temporary directory, one user ("joe", password
// "secret") with a Maildir owned by nobody, on loopback ports chosen at run time; plain
// POP3 and, with a certificate, POP3S and STLS. Stopped by its PID when the object goes.
#pragma once

#include <memory>
#include <string>

#include "pop3/WSPOPClient.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestProcess.h"

namespace quillet::testing {

class DovecotServer {
 public:
  static constexpr const char* kUser = "joe";
  static constexpr const char* kPassword = "secret";

  // certFile and keyFile empty: TLS off (no STLS offered).
  explicit DovecotServer(const std::string& certFile = "", const std::string& keyFile = "");
  ~DovecotServer();
  DovecotServer(const DovecotServer&) = delete;
  DovecotServer& operator=(const DovecotServer&) = delete;

  // Starts the server and waits until it accepts connections; the reason when it cannot.
  std::string start();
  int port() const { return port_; }
  int tlsPort() const { return tlsPort_; }
  // A POP3 session for joe at 127.0.0.1: on the POP3S port with implicit TLS, else on the
  // plain port.
  [[nodiscard]] POPSessionRequest sessionRequest(
      ConnectionSecurity security = ConnectionSecurity::Plain) const;

  // Puts a message (LF line ends) into the mailbox; returns its text as POP3 sends it:
  // CR LF line ends, dot-stuffed, ending with ".", CR, LF.
  std::string addMessage(const std::string& text);
  // Messages in the mailbox now.
  int messageCount() const;
  std::string log() const;

 private:
  TempDir dir_{"quillet-dovecot", kServerDirMode};
  std::string maildir_;
  int port_ = 0;
  int tlsPort_ = 0;
  int added_ = 0;
  bool tls_ = false;
  std::unique_ptr<TestProcess> process_;
};

}  // namespace quillet::testing
