// A scripted POP3 server for the client's tests: a mailbox of messages given in wire form,
// the usual commands, and hooks with which a test makes it misbehave (reject, garble,
// drop the connection). It records every command it received. It serves a given number of
// sessions one after the other; DELE marks nothing, so every session sees every message.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/ScriptedPeer.h"

namespace quillet::testing {

struct FakeMailbox {
  // Runs before the standard handling; true when it answered the command itself (it
  // may also have ended the session with FakePop3Server::endSession).
  using Hook = std::function<bool(const std::string& command, int fd)>;

  std::string greeting = "+OK POP3 ready <1896.697170952@fake.example>";
  std::string user = "joe";
  std::string password = "secret";
  std::vector<std::string> messages;      // bodies as sent: CR LF lines, dot-stuffed, no "."
  std::vector<std::string> uids;          // UIDL ids; empty = UIDL rejected
  std::vector<std::string> capabilities;  // empty = CAPA rejected
  std::string statReply;                  // replaces the computed STAT reply when set
  Hook hook;
};

class FakePop3Server {
 public:
  explicit FakePop3Server(FakeMailbox mailbox, int sessions = 1);
  ~FakePop3Server();
  int port() const { return peer_->port(); }
  // Waits for the sessions to end; then the recorded commands are complete.
  const std::vector<std::string>& commands();
  // True when the command was received (exact line).
  bool received(const std::string& command);
  // Called by a hook to end the session at once: the connection is shut down.
  static void endSession(int fd);
  // A hook that answers the exact command line with reply (sent as given) instead of the
  // standard handling, and then ends the session when endAfter is set.
  static FakeMailbox::Hook answer(std::string command, std::string reply, bool endAfter = false);

 private:
  void serve(int fd);
  FakeMailbox mailbox_;
  std::vector<std::string> commands_;
  std::unique_ptr<ScriptedPeer> peer_;
};

}  // namespace quillet::testing
