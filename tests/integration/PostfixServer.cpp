// The private Postfix mail host of the integration tests (see PostfixServer.h).
#include "PostfixServer.h"

#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>

#include "PeerFiles.h"
#include "TestCertificates.h"
#include "tests/support/FileBytes.h"
#include "tests/support/LoopbackNetwork.h"
#include "tests/support/Waiting.h"

namespace quillet::testing {
namespace {

// The services a mail host on loopback needs, none chrooted (the queue is a temporary
// directory without the files a chroot wants). pickup, local and the pipes are left out:
// nothing is submitted locally or delivered to system users.
constexpr const char* kServices =
    "cleanup unix n - n - 0 cleanup\n"
    "qmgr unix n - n 300 1 qmgr\n"
    "tlsmgr unix - - n 1000? 1 tlsmgr\n"
    "rewrite unix - - n - - trivial-rewrite\n"
    "bounce unix - - n - 0 bounce\n"
    "defer unix - - n - 0 bounce\n"
    "trace unix - - n - 0 bounce\n"
    "verify unix - - n - 1 verify\n"
    "flush unix n - n 1000? 0 flush\n"
    "proxymap unix - - n - - proxymap\n"
    "proxywrite unix - - n - 1 proxymap\n"
    "smtp unix - - n - - smtp\n"
    "relay unix - - n - - smtp\n"
    "showq unix n - n - - showq\n"
    "error unix - - n - - error\n"
    "retry unix - - n - - error\n"
    "discard unix - - n - - discard\n"
    "virtual unix - n n - - virtual\n"
    "anvil unix - - n - 1 anvil\n"
    "scache unix - - n - 1 scache\n"
    "postlog unix-dgram n - n - 1 postlogd\n";

// Postfix's data directory belongs to its mail owner.
std::pair<uid_t, gid_t> postfixAccount() {
  const passwd* account = ::getpwnam("postfix");
  if (account == nullptr) return {kNobodyUid, kNogroupGid};
  return {account->pw_uid, account->pw_gid};
}

// Postfix's commands wait (in steps of 0.3 s, up to seconds) while main.cf looks freshly
// written; a modification time in the past spares that wait.
void backdate(const std::string& path) {
  std::error_code error;
  const auto written = std::filesystem::last_write_time(path, error);
  // On failure Postfix only starts more slowly.
  if (!error) std::filesystem::last_write_time(path, written - std::chrono::minutes(1), error);
}

std::string joined(const std::vector<std::string>& words) {
  std::string text;
  for (const std::string& word : words) text += (text.empty() ? "" : " ") + word;
  return text;
}

bool startsWith(const std::string& text, size_t at, const std::string& prefix) {
  return text.compare(at, prefix.size(), prefix) == 0;
}

// Where the line after the one starting at `at` starts (the end of text for the last).
size_t nextLine(const std::string& text, size_t at) {
  const size_t end = text.find('\n', at);
  return end == std::string::npos ? text.size() : end + 1;
}

}  // namespace

DeliveredMessage parseDelivered(const std::string& file) {
  DeliveredMessage message;
  message.file = file;
  // Postfix's virtual delivery puts Return-Path, X-Original-To, Delivered-To and its own
  // Received field (with continuation lines) before the message.
  size_t at = 0;
  while (at < file.size()) {
    const size_t next = nextLine(file, at);
    if (startsWith(file, at, "Return-Path: <")) {
      const size_t close = file.find('>', at);
      if (close < next) message.returnPath = file.substr(at + 14, close - at - 14);
    } else if (startsWith(file, at, "Received: ")) {
      at = next;
      // "by mail.office.example (Postfix) with ESMTP id 3F2A1C0E5;" on a continuation line.
      const size_t id = file.find(" id ", at);
      const size_t idEnd = id == std::string::npos ? id : file.find_first_of("; \n", id + 4);
      if (idEnd != std::string::npos) message.queueId = file.substr(id + 4, idEnd - id - 4);
      while (at < file.size() && (file[at] == '\t' || file[at] == ' ')) at = nextLine(file, at);
      break;
    } else if (!startsWith(file, at, "X-Original-To: ") &&
               !startsWith(file, at, "Delivered-To: ")) {
      break;
    }
    at = next;
  }
  message.content = file.substr(at);
  return message;
}

PostfixServer::PostfixServer(PostfixOptions options) : options_(std::move(options)) {
  port_ = freePort();
}

PostfixServer::~PostfixServer() = default;

std::string PostfixServer::address(const std::string& user) { return user + "@" + kDomain; }

std::string PostfixServer::maildirNew(const std::string& user) const {
  return dir_.file("mail/" + user + "/new");
}

void PostfixServer::writeConfiguration() {
  const std::string d = dir_.path();
  for (const char* sub : {"/etc", "/queue"}) makeOwnedDirectory(d + sub, 0, 0);
  const auto [postfixUid, postfixGid] = postfixAccount();
  makeOwnedDirectory(d + "/data", postfixUid, postfixGid);
  makeOwnedDirectory(d + "/mail");

  std::string mailboxes;
  for (const std::string& user : options_.users) mailboxes += address(user) + " " + user + "/\n";
  writeBytes(d + "/etc/mailboxes", mailboxes);
  std::string rejected;
  for (const auto& [recipient, reply] : options_.rejectedRecipients) {
    rejected.append(recipient).append(" ").append(reply).append("\n");
  }
  writeBytes(d + "/etc/rejected", rejected);

  std::string main;
  const auto set = [&main](const std::string& name, const std::string& value) {
    main += name + " = " + value + "\n";
  };
  set("compatibility_level", "3.6");
  set("queue_directory", d + "/queue");
  set("data_directory", d + "/data");
  set("maillog_file", d + "/maillog");
  set("maillog_file_prefixes", d);
  set("myhostname", kHostName);
  set("mydomain", kDomain);
  set("myorigin", "$mydomain");
  set("mydestination", "");
  set("inet_interfaces", "127.0.0.1");
  set("inet_protocols", "ipv4");
  set("mynetworks", "127.0.0.0/8");
  set("alias_maps", "");
  set("alias_database", "");
  set("biff", "no");
  // Delivered files then hold what the client sent, without an added Date or Message-Id.
  set("local_header_rewrite_clients", "");
  set("smtpd_error_sleep_time", "0");
  set("virtual_mailbox_domains", kDomain);
  set("virtual_mailbox_base", d + "/mail");
  set("virtual_mailbox_maps", "texthash:" + d + "/etc/mailboxes");
  set("virtual_uid_maps", "static:65534");
  set("virtual_gid_maps", "static:65534");
  set("smtpd_recipient_restrictions", "check_recipient_access texthash:" + d + "/etc/rejected");
  set("smtpd_relay_restrictions",
      options_.authRequired ? "permit_sasl_authenticated reject" : "reject_unauth_destination");
  set("disable_vrfy_command", options_.vrfy ? "no" : "yes");
  set("smtpd_discard_ehlo_keywords", joined(options_.discardedEhloKeywords));
  if (options_.messageSizeLimit > 0) {
    set("message_size_limit", std::to_string(options_.messageSizeLimit));
  }
  if (options_.forbidBareNewline) {
    set("smtpd_forbid_bare_newline", "reject");
    // The exclusions default to $mynetworks, which would exempt loopback.
    set("smtpd_forbid_bare_newline_exclusions", "");
  }
  if (options_.startTls) {
    const TestCertificates& certificates = TestCertificates::get();
    set("smtpd_tls_security_level", "may");
    set("smtpd_tls_cert_file", certificates.file("server.pem"));
    set("smtpd_tls_key_file", certificates.file("server.key"));
  }
  if (sasl_) {
    set("smtpd_sasl_auth_enable", "yes");
    set("smtpd_sasl_type", "dovecot");
    set("smtpd_sasl_path", sasl_->socketPath());
  }
  writeBytes(d + "/etc/main.cf", main);
  backdate(d + "/etc/main.cf");
  writeBytes(d + "/etc/master.cf",
             "127.0.0.1:" + std::to_string(port_) + " inet n - n - - smtpd\n" + kServices);
}

std::string PostfixServer::start() {
  const std::string postfix = findProgram("postfix");
  const std::string master = "/usr/lib/postfix/sbin/master";
  if (postfix.empty() || ::access(master.c_str(), X_OK) != 0) return "postfix is not installed";
  if (::geteuid() != 0) return "a private Postfix needs root";
  if (options_.startTls && !TestCertificates::get().made()) return "no test certificates (openssl)";
  if (!options_.authUsers.empty()) {
    sasl_ = std::make_unique<DovecotSaslServer>(options_.authUsers, options_.authMechanisms);
    if (std::string reason = sasl_->start(); !reason.empty()) return reason;
  }
  writeConfiguration();
  const std::string etc = dir_.file("etc");
  // "postfix check" makes the queue's directories; master then runs in the foreground as
  // this test's child, so it is stopped by its PID (it passes SIGTERM on to its services).
  if (!runCommand(postfix + " -c " + etc + " check >>" + dir_.file("postfix.out") + " 2>&1")) {
    return "postfix check failed: " + readBytes(dir_.file("postfix.out"));
  }
  process_ = std::make_unique<TestProcess>(std::vector<std::string>{master, "-c", etc},
                                           dir_.file("postfix.out"));
  if (!process_->started() || !waitForPort("127.0.0.1", port_, 15000)) {
    return "postfix did not start: " + readBytes(dir_.file("postfix.out")) + maillog();
  }
  return "";
}

std::vector<DeliveredMessage> PostfixServer::delivered(const std::string& user) const {
  std::vector<DeliveredMessage> messages;
  for (const std::string& file : filesInWriteOrder(maildirNew(user))) {
    messages.push_back(parseDelivered(file));
  }
  // Postfix may deliver in another order than it accepted: its smtpd logs
  // "QUEUEID: client=..." when it accepts MAIL, so the log gives the order of acceptance.
  const std::string log = maillog();
  const auto accepted = [&log](const DeliveredMessage& message) {
    return message.queueId.empty() ? std::string::npos
                                   : log.find(" " + message.queueId + ": client=");
  };
  std::stable_sort(messages.begin(), messages.end(),
                   [&](const DeliveredMessage& a, const DeliveredMessage& b) {
                     return accepted(a) < accepted(b);
                   });
  return messages;
}

bool PostfixServer::waitForMessages(const std::string& user, int count, int timeoutMs) const {
  return waitUntil([&] { return countFiles(maildirNew(user)) >= count; }, timeoutMs);
}

std::string PostfixServer::maillog() const { return readBytes(dir_.file("maillog")); }

}  // namespace quillet::testing
