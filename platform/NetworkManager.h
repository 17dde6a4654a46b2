// NetworkManager as the system's dial-up facility: a phone-book entry is the name of a
// NetworkManager connection profile, driven through its command-line client nmcli (run
// from an argument vector, never through a shell).
//
// It does not change connection profiles: user and domain live in the profile. A password
// from the settings is handed to nmcli in a private temporary file (mode 0600, removed
// after the call) for the secrets a dial-up style connection asks for; a password holding
// a line break or NUL is refused. nmcli's output is read through NmcliOutput (at most
// kMaxCommandOutput bytes of it).
#pragma once

#include <string>
#include <vector>

#include "base/ErrorCodes.h"
#include "platform/DialUpLink.h"

namespace quillet {

class NetworkManager final : public DialUpLink {
 public:
  // Seconds nmcli may wait for a connection to come up before it gives up.
  static constexpr int kUpWaitSeconds = 90;

  // Uses the client program at program (looked up in PATH when it holds no '/').
  explicit NetworkManager(const std::string& program = "nmcli");

  [[nodiscard]] bool available() const override;
  [[nodiscard]] int activeConnections(std::vector<std::string>& names) override;
  [[nodiscard]] int ipv4Address(const std::string& name, std::string& address) override;
  [[nodiscard]] int bringUp(const std::string& name, const DialUpCredentials& credentials) override;
  [[nodiscard]] int bringDown(const std::string& name) override;
  [[nodiscard]] std::string errorText(int code) const override;

  // The full path of the client program, empty when it cannot be found or run.
  [[nodiscard]] std::string resolvedProgram() const { return resolved_; }

 private:
  // Runs the client with arguments; returns 0 with its output, or a failure code.
  [[nodiscard]] int run(std::vector<std::string> arguments, std::string& output) const;

  std::string resolved_;  // empty: no client program, the facility is unavailable
};

}  // namespace quillet
