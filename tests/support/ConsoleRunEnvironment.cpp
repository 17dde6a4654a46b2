// The environment of a test's runnel process (see ConsoleRunEnvironment.h).
#include "tests/support/ConsoleRunEnvironment.h"

extern char** environ;

namespace quillet::testing {

std::vector<std::string> consoleRunEnvironment(const std::string& home) {
  std::vector<std::string> environment;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    const std::string text = *entry;
    // The tests may themselves run under systemd.
    if (text.rfind("NOTIFY_SOCKET=", 0) == 0 || text.rfind("INVOCATION_ID=", 0) == 0 ||
        text.rfind("QUILLET_", 0) == 0) {
      continue;
    }
    environment.push_back(text);
  }
  environment.push_back("QUILLET_HOME=" + home);
  return environment;
}

}  // namespace quillet::testing
