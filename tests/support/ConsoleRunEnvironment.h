// The environment in which tests start the real runnel: this process's environment
// without what would make runnel think it is a systemd service or point it at another
// program directory, plus QUILLET_HOME.
#pragma once

#include <string>
#include <vector>

namespace quillet::testing {

// "NAME=value" entries for a console run of runnel in home.
[[nodiscard]] std::vector<std::string> consoleRunEnvironment(const std::string& home);

}  // namespace quillet::testing
