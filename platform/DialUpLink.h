// DialUpLink: the operating system's dial-up connections as the dial-up logic needs them:
// which connections are up, bringing a named one up or down, and the IPv4 address it got.
//
// It holds no use counts and no sharing policy (that is the caller's); an implementation
// only runs the system's steps. Codes are 0 for success or the implementation's own
// failure codes, whose texts errorText() gives.
#pragma once

#include <string>
#include <vector>

namespace quillet {

// Who dials: the connection profile's own secrets are used where these are empty.
struct DialUpCredentials {
  std::string user;
  std::string password;  // plain text
  std::string domain;
};

class DialUpLink {
 public:
  virtual ~DialUpLink() = default;

  // True when the system's dial-up facility is there at all; when false every other call
  // fails.
  [[nodiscard]] virtual bool available() const = 0;

  // The names of the connections that are fully up. Returns 0 or a failure code.
  [[nodiscard]] virtual int activeConnections(std::vector<std::string>& names) = 0;

  // The IPv4 address (dotted) the named active connection got. Returns 0 with address
  // set, or a failure code (also when the connection has no IPv4 address).
  [[nodiscard]] virtual int ipv4Address(const std::string& name, std::string& address) = 0;

  // Brings the named connection up and waits until it is up or has failed. Returns 0 or
  // a failure code.
  [[nodiscard]] virtual int bringUp(const std::string& name,
                                    const DialUpCredentials& credentials) = 0;

  // Takes the named connection down. Returns 0 or a failure code.
  [[nodiscard]] virtual int bringDown(const std::string& name) = 0;

  // The text of one of this link's failure codes, empty when the code is not its own.
  [[nodiscard]] virtual std::string errorText(int code) const = 0;
};

}  // namespace quillet
