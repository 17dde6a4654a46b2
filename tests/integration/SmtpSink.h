// Postfix's smtp-sink as a test SMTP server: listens on a free loopback port, accepts every
// message (unless extra arguments inject faults, see "man smtp-sink": -r/-f CMD with -b/-B
// REPLY, -q/-Q CMD, -w, -W CMD:DELAY, -A, -P, -e, ...) and writes each mail transaction
// that reached the end of its data to a file of its own, which the test reads back as a
// SinkMessage. It advertises PIPELINING, 8BITMIME, AUTH PLAIN LOGIN (and answers AUTH
// with "250 2.0.0 Ok", not 235), XCLIENT, XFORWARD, ENHANCEDSTATUSCODES and DSN, never
// SIZE or CHUNKING; its EHLO reply ends with an empty "250 " line. Stopped by its PID when
// the object goes (or by stop()).
//
// What the dump cannot show: smtp-sink strips CR and writes LF line ends, and it undoes
// dot-stuffing, so exact wire bytes are checked against Postfix or a scripted peer. A
// transaction's file exists from its first accepted RCPT and is removed again when the
// transaction is reset or the connection drops before the data ended; one whose data ended
// without a reply (-q .) stays. So read the messages after the client saw its final reply.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "tests/support/TempDir.h"
#include "tests/support/TestProcess.h"

namespace quillet::testing {

// One mail transaction as smtp-sink recorded it.
struct SinkMessage {
  std::string heloArgs;               // the argument of the last HELO or EHLO
  std::string mailArgs;               // everything after "MAIL FROM:", e.g. "<a@b> SIZE=12"
  std::vector<std::string> rcptArgs;  // everything after "RCPT TO:", one per RCPT, in order
  std::string body;                   // the message as received, LF line ends, unstuffed
};

// Splits one dump file into its parts (pure; a file without the smtp-sink headers gives a
// message with only a body).
[[nodiscard]] SinkMessage parseSinkDump(const std::string& dump);

class SmtpSink {
 public:
  // extraArguments go before the address, e.g. {"-f", "RCPT", "-B", "550 5.1.1 no such user"}.
  explicit SmtpSink(std::vector<std::string> extraArguments = {});
  ~SmtpSink();
  SmtpSink(const SmtpSink&) = delete;
  SmtpSink& operator=(const SmtpSink&) = delete;

  // Starts smtp-sink and waits until it accepts connections; empty on success, else the
  // reason (to skip with): smtp-sink missing, not root, or it did not start.
  [[nodiscard]] std::string start();
  // Stops it (SIGTERM to its PID, reaped); messages stay readable.
  void stop();
  int port() const { return port_; }

  // The dumped transactions, in the order their data ended (by file time).
  [[nodiscard]] std::vector<SinkMessage> messages() const;
  // Files now, a transaction in progress included.
  [[nodiscard]] int messageCount() const;
  // True when at least count messages were dumped within timeoutMs.
  [[nodiscard]] bool waitForMessages(int count, int timeoutMs) const;
  // What smtp-sink printed (its errors).
  [[nodiscard]] std::string log() const;

 private:
  std::string dumpDirectory() const { return dir_.file("messages"); }

  TempDir dir_{"quillet-smtp-sink", kServerDirMode};
  std::vector<std::string> extraArguments_;
  int port_ = 0;
  std::unique_ptr<TestProcess> process_;
};

}  // namespace quillet::testing
