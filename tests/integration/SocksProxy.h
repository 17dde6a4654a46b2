// A real SOCKS proxy on the fixed port 127.0.0.1:1080 for integration tests, run inside the
// test process's private network namespace (so the fixed port is free and nothing leaves
// the machine): microsocks with one user, or dante open to loopback clients without
// authentication. Stopped when the object goes.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "tests/support/TempDir.h"
#include "tests/support/TestProcess.h"

namespace quillet::testing {

class SocksProxy {
 public:
  static constexpr int kPort = 1080;
  // The one user microsocks accepts.
  static constexpr const char* kUser = "mailer";
  static constexpr const char* kPassword = "s3cret";

  // Enters the private network namespace; the reason a proxy cannot run here (to skip
  // with), also when program is given and not installed; empty when it can.
  static std::string unavailable(const std::string& program = "");

  // Starts microsocks requiring kUser and kPassword; true once it listens.
  bool startMicrosocks();
  // Starts danted, which logs every connection to file("danted.log"); true once it listens.
  bool startDante();
  // A file in the proxy's private directory.
  std::string file(const std::string& name) const { return dir_.file(name); }

 private:
  bool start(const std::vector<std::string>& argv);

  TempDir dir_{"quillet-it", kServerDirMode};
  std::unique_ptr<TestProcess> process_;
};

}  // namespace quillet::testing
