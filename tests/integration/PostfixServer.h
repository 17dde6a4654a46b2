// A private Postfix mail host for integration tests: its own configuration, queue, data
// directory, log and mailboxes in a temporary directory, listening on a free loopback port
// (never port 25, never /etc/postfix or the system spool). Mail for the users of
// office.example is delivered into Maildirs the test reads; other domains are refused
// (relay denied), unknown users get 550 5.1.1. Options switch on what a test needs: a
// message size limit, recipients refused with a chosen reply, STARTTLS with the test CA's
// certificate, AUTH through a private Dovecot, EHLO keywords withheld, bare LF refused.
//
// Starting takes about a second: a test program that needs one configuration in several
// tests starts it once, e.g. in SetUpTestSuite() into a static std::unique_ptr that
// TearDownTestSuite() resets (see PeerHarnessTest.cpp). Stopped by its PID when the object
// goes, also when a test fails.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "DovecotSaslServer.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestProcess.h"

namespace quillet::testing {

struct PostfixOptions {
  // Local parts of the mailboxes in office.example.
  std::vector<std::string> users{"alice", "bob", "carol"};
  // Full address -> the reply to its RCPT, e.g. "550 5.1.1 no such user" (Postfix puts
  // "<address>: Recipient address rejected: " before the text).
  std::map<std::string, std::string> rejectedRecipients;
  // Largest message in bytes, advertised as SIZE; 0 = Postfix's default (10240000).
  long long messageSizeLimit = 0;
  // STARTTLS offered, with TestCertificates::get()'s server certificate (signed by its CA).
  bool startTls = false;
  // AUTH PLAIN LOGIN offered for these users (name -> password) when not empty.
  std::map<std::string, std::string> authUsers;
  // The SASL mechanisms offered with AUTH, as Dovecot names them.
  std::string authMechanisms = "plain login";
  // Only authenticated clients may send (every RCPT from others gets 554 5.7.1).
  bool authRequired = false;
  // EHLO keywords not advertised, lower case: "pipelining", "chunking", "size", "dsn", ...
  std::vector<std::string> discardedEhloKeywords;
  // A bare LF in the data gets "550 5.5.2 ... bare <LF> received" instead of being taken
  // as a line end (Postfix's default), so every test proves the client sends CR LF only.
  bool forbidBareNewline = true;
  // VRFY answered: 252 2.0.0 for a known user, 550 5.1.1 for an unknown one.
  bool vrfy = true;
};

// A message as delivered into a Maildir.
struct DeliveredMessage {
  std::string queueId;     // Postfix's id of the message (as in its log)
  std::string returnPath;  // the envelope sender Postfix recorded, without <>
  std::string content;     // the message as the client sent it, LF line ends, unstuffed
  std::string file;        // the whole delivered file, with Postfix's delivery headers
};

class PostfixServer {
 public:
  static constexpr const char* kDomain = "office.example";
  static constexpr const char* kHostName = "mail.office.example";

  explicit PostfixServer(PostfixOptions options = {});
  ~PostfixServer();
  PostfixServer(const PostfixServer&) = delete;
  PostfixServer& operator=(const PostfixServer&) = delete;

  // Starts Postfix (and Dovecot first when AUTH is on) and waits until it accepts
  // connections; empty on success, else the reason to skip with: postfix or dovecot
  // missing, not root, no openssl for the certificate, or a start that failed (with logs).
  [[nodiscard]] std::string start();
  int port() const { return port_; }
  // user@office.example.
  static std::string address(const std::string& user);

  // The messages delivered to the user so far, in the order Postfix accepted them (which
  // its deliveries need not keep).
  [[nodiscard]] std::vector<DeliveredMessage> delivered(const std::string& user) const;
  // True when at least count messages reached the user's Maildir within timeoutMs.
  [[nodiscard]] bool waitForMessages(const std::string& user, int count, int timeoutMs) const;
  // Postfix's log (one line per event: connections, rejections, deliveries).
  [[nodiscard]] std::string maillog() const;

 private:
  std::string maildirNew(const std::string& user) const;
  void writeConfiguration();

  PostfixOptions options_;
  TempDir dir_{"quillet-postfix", kServerDirMode};
  int port_ = 0;
  std::unique_ptr<DovecotSaslServer> sasl_;  // outlives Postfix: smtpd needs its socket
  std::unique_ptr<TestProcess> process_;
};

// Splits a delivered Maildir file into Postfix's delivery headers and the message (pure).
[[nodiscard]] DeliveredMessage parseDelivered(const std::string& file);

}  // namespace quillet::testing
