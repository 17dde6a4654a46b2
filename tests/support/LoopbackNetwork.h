// Loopback networking for tests that start real servers: a free port, waiting until a
// server listens, and a private network namespace for servers bound to fixed ports.
#pragma once

#include <string>

namespace quillet::testing {

// Moves the whole test process into a private network namespace with its own loopback
// (once per process), so fixed ports such as the SOCKS port are free and nothing leaves
// the machine. Empty when done; otherwise the reason it is impossible (to skip with).
std::string enterPrivateNetwork();
// True when a TCP connection to host:port succeeds within timeoutMs (retried).
bool waitForPort(const std::string& host, int port, int timeoutMs);
// A TCP port on 127.0.0.1 that was free a moment ago.
int freePort();

}  // namespace quillet::testing
