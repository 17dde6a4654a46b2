// A scripted SMTP server for the client's tests: a greeting and EHLO reply given as data,
// the usual commands answered with success, message data taken by DATA (up to the
// terminating line), BDAT (counted) and XBDATA (counted, compressed), and hooks with which
// a test makes it refuse, garble or drop the connection. It records every command line,
// every message's bytes as received, and how many bytes were already waiting behind a
// MAIL FROM line (a pipelined envelope arrives in one piece).
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/ScriptedPeer.h"

namespace quillet::testing {

struct FakeSmtpConfig {
  // Runs before the standard handling; true when it answered the command itself (it may
  // also have ended the session with FakeSmtpServer::endSession).
  using Hook = std::function<bool(const std::string& command, int fd)>;

  std::string greeting = "220 fake.example ESMTP ready\r\n";  // sent as it is
  // The EHLO reply's lines without codes; the first is the server's name. Empty: EHLO is
  // refused with 502.
  std::vector<std::string> ehlo = {"fake.example greets you"};
  Hook hook;
};

class FakeSmtpServer {
 public:
  explicit FakeSmtpServer(FakeSmtpConfig config, int sessions = 1, int family = AF_INET);
  ~FakeSmtpServer();
  int port() const { return peer_->port(); }
  // Wait for the sessions to end, then give what was recorded.
  const std::vector<std::string>& commands();
  const std::vector<std::string>& messages();  // DATA: with the "." line; BDAT/XBDATA: raw
  int pendingAfterMailFrom();                  // bytes waiting behind the last MAIL FROM

  // A hook that answers every command starting with prefix with reply (CR LF added), and
  // ends the session afterwards when endAfter is set.
  static FakeSmtpConfig::Hook answer(std::string prefix, std::string reply, bool endAfter = false);
  // A hook that answers DATA with 354, reads bytesFirst bytes of the data and ends the
  // session: with a reset (RST) when reset is set, else with an orderly shutdown.
  static FakeSmtpConfig::Hook dropsDuringData(size_t bytesFirst, bool reset);
  // The hooks tried in order; the first that answers wins.
  static FakeSmtpConfig::Hook anyOf(std::vector<FakeSmtpConfig::Hook> hooks);
  // Shuts the connection down at once.
  static void endSession(int fd);
  // Reads one line (without its line end); empty when the client closed.
  static std::string readCommand(int fd);
  // Reads DATA content up to and including the terminating "." line.
  static std::string readDotTerminated(int fd);

 private:
  void serve(int fd);
  void answerEhlo(int fd);
  FakeSmtpConfig config_;
  std::vector<std::string> commands_;
  std::vector<std::string> messages_;
  int pendingAfterMailFrom_ = -1;
  std::unique_ptr<ScriptedPeer> peer_;
};

}  // namespace quillet::testing
