// SOCKS proxies for integration tests (see SocksProxy.h).
#include "SocksProxy.h"

#include "tests/support/FileBytes.h"
#include "tests/support/LoopbackNetwork.h"

namespace quillet::testing {

std::string SocksProxy::unavailable(const std::string& program) {
  std::string reason = enterPrivateNetwork();
  if (!reason.empty()) return reason;
  if (!program.empty() && findProgram(program).empty()) return program + " is not installed";
  return "";
}

bool SocksProxy::startMicrosocks() {
  return start({findProgram("microsocks"), "-i", "127.0.0.1", "-p", std::to_string(kPort), "-u",
                kUser, "-P", kPassword});
}

bool SocksProxy::startDante() {
  const bool written =
      writeBytes(file("danted.conf"),
                 "logoutput: " + file("danted.log") +
                     "\n"
                     "internal: 127.0.0.1 port = " +
                     std::to_string(kPort) +
                     "\n"
                     "external: 127.0.0.1\n"
                     "socksmethod: none\n"
                     "clientmethod: none\n"
                     "user.privileged: root\n"
                     "user.unprivileged: nobody\n"
                     "client pass {\n  from: 127.0.0.0/8 to: 0.0.0.0/0\n  log: connect\n}\n"
                     "socks pass {\n  from: 127.0.0.0/8 to: 0.0.0.0/0\n  protocol: tcp\n"
                     "  log: connect\n}\n");
  return written &&
         start({findProgram("danted"), "-f", file("danted.conf"), "-p", file("danted.pid")});
}

bool SocksProxy::start(const std::vector<std::string>& argv) {
  if (argv.empty() || argv[0].empty()) return false;
  process_ = std::make_unique<TestProcess>(argv, file("proxy.log"));
  return process_->started() && waitForPort("127.0.0.1", kPort, 10000);
}

}  // namespace quillet::testing
