// The scripted SMTP server of the client's tests (see FakeSmtpServer.h).
#include "FakeSmtpServer.h"

#include <sys/socket.h>

#include <cstdlib>

namespace quillet::testing {

FakeSmtpServer::FakeSmtpServer(FakeSmtpConfig config, int sessions, int family)
    : config_(std::move(config)) {
  peer_ = std::make_unique<ScriptedPeer>([this](int fd) { serve(fd); }, family, sessions);
}

FakeSmtpServer::~FakeSmtpServer() { peer_->join(); }

const std::vector<std::string>& FakeSmtpServer::commands() {
  peer_->join();
  return commands_;
}

const std::vector<std::string>& FakeSmtpServer::messages() {
  peer_->join();
  return messages_;
}

int FakeSmtpServer::pendingAfterMailFrom() {
  peer_->join();
  return pendingAfterMailFrom_;
}

FakeSmtpConfig::Hook FakeSmtpServer::answer(std::string prefix, std::string reply, bool endAfter) {
  return [prefix = std::move(prefix), reply = std::move(reply), endAfter](
             const std::string& command, int fd) {
    if (command.rfind(prefix, 0) != 0) return false;
    ScriptedPeer::send(fd, reply + "\r\n");
    if (endAfter) endSession(fd);
    return true;
  };
}

FakeSmtpConfig::Hook FakeSmtpServer::dropsDuringData(size_t bytesFirst, bool reset) {
  return [bytesFirst, reset](const std::string& command, int fd) {
    if (command != "DATA") return false;
    ScriptedPeer::send(fd, "354 go\r\n");
    ScriptedPeer::read(fd, bytesFirst);
    if (reset) {
      const linger abort{1, 0};  // the close that follows sends RST
      setsockopt(fd, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
    }
    endSession(fd);
    return true;
  };
}

FakeSmtpConfig::Hook FakeSmtpServer::anyOf(std::vector<FakeSmtpConfig::Hook> hooks) {
  return [hooks = std::move(hooks)](const std::string& command, int fd) {
    for (const auto& hook : hooks) {
      if (hook(command, fd)) return true;
    }
    return false;
  };
}

void FakeSmtpServer::endSession(int fd) { ::shutdown(fd, SHUT_RDWR); }

std::string FakeSmtpServer::readCommand(int fd) {
  std::string line = ScriptedPeer::readLine(fd);
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
  return line;
}

std::string FakeSmtpServer::readDotTerminated(int fd) {
  std::string data;
  for (;;) {
    const std::string line = ScriptedPeer::readLine(fd);
    if (line.empty()) return data;
    data += line;
    if (line == ".\r\n") return data;
  }
}

void FakeSmtpServer::answerEhlo(int fd) {
  if (config_.ehlo.empty()) {
    ScriptedPeer::send(fd, "502 5.5.2 Error: command not recognized\r\n");
    return;
  }
  std::string reply;
  for (size_t i = 0; i < config_.ehlo.size(); ++i) {
    reply += i + 1 < config_.ehlo.size() ? "250-" : "250 ";
    reply += config_.ehlo[i] + "\r\n";
  }
  ScriptedPeer::send(fd, reply);
}

void FakeSmtpServer::serve(int fd) {
  ScriptedPeer::send(fd, config_.greeting);
  for (;;) {
    const std::string line = readCommand(fd);
    if (line.empty()) return;
    commands_.push_back(line);
    if (line.rfind("MAIL", 0) == 0) {
      char probe[4096];
      const ssize_t waiting = ::recv(fd, probe, sizeof probe, MSG_PEEK | MSG_DONTWAIT);
      pendingAfterMailFrom_ = waiting < 0 ? 0 : static_cast<int>(waiting);
    }
    if (config_.hook && config_.hook(line, fd)) continue;
    const std::string verb = line.substr(0, line.find(' '));
    if (verb == "EHLO") {
      answerEhlo(fd);
    } else if (verb == "HELO") {
      ScriptedPeer::send(fd, "250 fake.example\r\n");
    } else if (verb == "MAIL") {
      ScriptedPeer::send(fd, "250 2.1.0 Ok\r\n");
    } else if (verb == "RCPT") {
      ScriptedPeer::send(fd, "250 2.1.5 Ok\r\n");
    } else if (verb == "DATA") {
      ScriptedPeer::send(fd, "354 End data with <CR><LF>.<CR><LF>\r\n");
      messages_.push_back(readDotTerminated(fd));
      ScriptedPeer::send(fd, "250 2.0.0 Ok: queued as 1\r\n");
    } else if (verb == "BDAT" || verb == "XBDATA") {
      // "BDAT <n> LAST" or "XBDATA SIZE=<n> ...": the count follows the first blank or '='.
      const size_t at = line.find_first_of(" =", line.find(' ') + (verb == "XBDATA" ? 1 : 0));
      const size_t size = std::strtoul(line.c_str() + at + 1, nullptr, 10);
      if (verb == "XBDATA") ScriptedPeer::send(fd, "354 Send compressed data\r\n");
      messages_.push_back(ScriptedPeer::read(fd, size));
      ScriptedPeer::send(fd, "250 2.0.0 Ok: queued as 2\r\n");
    } else if (verb == "RSET" || verb == "NOOP") {
      ScriptedPeer::send(fd, "250 2.0.0 Ok\r\n");
    } else if (verb == "VRFY") {
      ScriptedPeer::send(fd, "252 2.0.0 Cannot verify\r\n");
    } else if (verb == "QUIT") {
      ScriptedPeer::send(fd, "221 2.0.0 Bye\r\n");
      return;
    } else {
      ScriptedPeer::send(fd, "502 5.5.2 Error: command not recognized\r\n");
    }
  }
}

}  // namespace quillet::testing
