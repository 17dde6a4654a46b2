// Settings text for server runs in tests (see SettingsFile.h).
#include "tests/support/SettingsFile.h"

namespace quillet::testing {

std::string runnableSettings(const std::string& extraLines) {
  std::string text =
      "SmartHost=mail.office.example\nPostmaster=postmaster@office.example\n"
      "Interval=1\nThreadStartupDelay=0\n" +
      extraLines;
  if (text.back() != '\n') text += '\n';
  std::string crlf;
  for (char c : text) {
    if (c == '\n' && (crlf.empty() || crlf.back() != '\r')) crlf += '\r';
    crlf += c;
  }
  return crlf;
}

}  // namespace quillet::testing
