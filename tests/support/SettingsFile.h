// QUILLET.INI text for tests that run a server: the settings every run needs (a mail host,
// a postmaster, a one-second interval, no delay between thread starts) plus the test's own
// lines, with CR LF line ends as the administration program writes them.
#pragma once

#include <string>

namespace quillet::testing {

// The settings text: the base lines, then extraLines ("Key=Value" each, LF or CR LF
// separated); every line ends in CR LF.
[[nodiscard]] std::string runnableSettings(const std::string& extraLines = "");

}  // namespace quillet::testing
