// The private Dovecot POP3 server of the integration tests (see DovecotServer.h).
#include "DovecotServer.h"

#include <unistd.h>

#include "DovecotInstance.h"
#include "PeerFiles.h"
#include "tests/support/FileBytes.h"
#include "tests/support/LoopbackNetwork.h"

namespace quillet::testing {

DovecotServer::DovecotServer(const std::string& certFile, const std::string& keyFile) {
  tls_ = !certFile.empty();
  const std::string d = dir_.path();
  port_ = freePort();
  tlsPort_ = freePort();
  while (tlsPort_ == port_) tlsPort_ = freePort();
  makeOwnedDirectory(d + "/home");
  makeOwnedDirectory(d + "/home/joe");
  maildir_ = d + "/home/joe/Maildir";
  makeOwnedDirectory(maildir_);
  for (const char* sub : {"/cur", "/new", "/tmp"}) makeOwnedDirectory(maildir_ + sub);
  std::string config = dovecotBaseConfig(dir_, {{kUser, kPassword, d + "/home/joe"}}) +
                       "protocols = pop3\n"
                       "listen = 127.0.0.1\n"
                       "auth_mechanisms = plain login apop\n"
                       "mail_location = maildir:~/Maildir\n"
                       "pop3_uidl_format = %08Xu%08Xv\n";
  if (tls_) {
    config += "ssl = yes\nssl_cert = <" + certFile + "\nssl_key = <" + keyFile + "\n";
  } else {
    config += "ssl = no\n";
  }
  config += "service pop3-login {\n  inet_listener pop3 {\n    port = " + std::to_string(port_) +
            "\n  }\n  inet_listener pop3s {\n    port = " + std::to_string(tls_ ? tlsPort_ : 0) +
            "\n    ssl = yes\n  }\n}\n";
  writeBytes(dovecotConfigFile(dir_), config);
}

DovecotServer::~DovecotServer() = default;

std::string DovecotServer::start() {
  std::string reason =
      startDovecot(dir_, process_, [this] { return waitForPort("127.0.0.1", port_, 100); });
  if (!reason.empty()) return reason;
  if (tls_ && !waitForPort("127.0.0.1", tlsPort_, 15000)) return "no POP3S listener";
  return "";
}

std::string DovecotServer::addMessage(const std::string& text) {
  ++added_;
  size_t lines = 0;
  for (char c : text) lines += c == '\n' ? 1 : 0;
  // S= and W= spare Dovecot reading every file; W counts CR LF line ends.
  const std::string name = maildir_ + "/cur/" + std::to_string(1000000 + added_) + ".M" +
                           std::to_string(added_) + "P1.quillet,S=" + std::to_string(text.size()) +
                           ",W=" + std::to_string(text.size() + lines) + ":2,";
  writeBytes(name, text);
  if (::chown(name.c_str(), kNobodyUid, kNogroupGid) != 0) return "";
  std::string wire;
  bool lineStart = true;
  for (char c : text) {
    if (lineStart && c == '.') wire += '.';
    if (c == '\n') wire += '\r';
    wire += c;
    lineStart = c == '\n';
  }
  return wire + ".\r\n";
}

int DovecotServer::messageCount() const {
  return countFiles(maildir_ + "/cur") + countFiles(maildir_ + "/new");
}

POPSessionRequest DovecotServer::sessionRequest(ConnectionSecurity security) const {
  POPSessionRequest request;
  request.host = "127.0.0.1";
  request.port = security == ConnectionSecurity::Tls ? tlsPort_ : port_;
  request.user = kUser;
  request.password = kPassword;
  request.security = security;
  return request;
}

std::string DovecotServer::log() const { return dovecotLog(dir_); }

}  // namespace quillet::testing
