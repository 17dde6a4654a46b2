// The scripted POP3 server of the client's tests (see FakePop3Server.h).
#include "FakePop3Server.h"

#include <sys/socket.h>

#include <algorithm>

namespace quillet::testing {

FakePop3Server::FakePop3Server(FakeMailbox mailbox, int sessions) : mailbox_(std::move(mailbox)) {
  peer_ = std::make_unique<ScriptedPeer>([this](int fd) { serve(fd); }, AF_INET, sessions);
}

FakePop3Server::~FakePop3Server() { peer_->join(); }

const std::vector<std::string>& FakePop3Server::commands() {
  peer_->join();
  return commands_;
}

bool FakePop3Server::received(const std::string& command) {
  const auto& all = commands();
  return std::find(all.begin(), all.end(), command) != all.end();
}

FakeMailbox::Hook FakePop3Server::answer(std::string command, std::string reply, bool endAfter) {
  return [command = std::move(command), reply = std::move(reply), endAfter](
             const std::string& received, int fd) {
    if (received != command) return false;
    ScriptedPeer::send(fd, reply);
    if (endAfter) endSession(fd);
    return true;
  };
}

void FakePop3Server::endSession(int fd) { ::shutdown(fd, SHUT_RDWR); }

void FakePop3Server::serve(int fd) {
  ScriptedPeer::send(fd, mailbox_.greeting + "\r\n");
  const int count = static_cast<int>(mailbox_.messages.size());
  auto numberOf = [&](const std::string& command) {
    const size_t blank = command.find(' ');
    const int n = blank == std::string::npos ? 0 : std::atoi(command.c_str() + blank + 1);
    return n >= 1 && n <= count ? n : 0;
  };
  for (;;) {
    std::string line = ScriptedPeer::readLine(fd);
    if (line.empty()) return;
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
    commands_.push_back(line);
    if (mailbox_.hook && mailbox_.hook(line, fd)) continue;
    const std::string verb = line.substr(0, line.find(' '));
    std::string reply;
    if (verb == "USER") {
      reply = line == "USER " + mailbox_.user ? "+OK" : "-ERR unknown";
    } else if (verb == "PASS") {
      reply = line == "PASS " + mailbox_.password ? "+OK logged in" : "-ERR [AUTH] wrong password";
    } else if (verb == "APOP") {
      reply = "-ERR APOP not here";
    } else if (verb == "STAT") {
      reply = mailbox_.statReply.empty() ? "+OK " + std::to_string(count) + " 1000"
                                         : mailbox_.statReply;
    } else if (verb == "CAPA") {
      if (mailbox_.capabilities.empty()) {
        reply = "-ERR no CAPA";
      } else {
        reply = "+OK\r\n";
        for (const std::string& c : mailbox_.capabilities) reply += c + "\r\n";
        reply += ".";
      }
    } else if (verb == "UIDL") {
      const int n = numberOf(line);
      reply = mailbox_.uids.empty() || n == 0
                  ? "-ERR no UIDL"
                  : "+OK " + std::to_string(n) + " " + mailbox_.uids[n - 1];
    } else if (verb == "LIST") {
      const int n = numberOf(line);
      reply = n == 0 ? "-ERR no such message"
                     : "+OK " + std::to_string(n) + " " +
                           std::to_string(mailbox_.messages[n - 1].size());
    } else if (verb == "RETR") {
      const int n = numberOf(line);
      reply = n == 0 ? "-ERR no such message" : "+OK\r\n" + mailbox_.messages[n - 1] + ".";
    } else if (verb == "DELE" || verb == "NOOP") {
      reply = "+OK";
    } else if (verb == "QUIT") {
      ScriptedPeer::send(fd, "+OK bye\r\n");
      return;
    } else {
      reply = "-ERR unknown command";
    }
    ScriptedPeer::send(fd, reply + "\r\n");
  }
}

}  // namespace quillet::testing
