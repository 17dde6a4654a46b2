// The runnel program's directory in integration tests (see RunnelInstance.h).
#include "RunnelInstance.h"

#include <algorithm>
#include <filesystem>

#include "tests/support/SettingsFile.h"

namespace quillet::testing {

RunnelHome::RunnelHome() = default;

void RunnelHome::writeSettings(const std::string& extraLines) const {
  writeBytes(file("QUILLET.INI"), runnableSettings(extraLines));
}

void RunnelHome::writeMailboxes(const std::vector<MailboxRecord>& mailboxes) const {
  std::string records;
  for (const MailboxRecord& mailbox : mailboxes) records += dataPopRecord(mailbox);
  writeBytes(file("DataPOP.DAT"), records);
}

std::vector<std::string> RunnelHome::inboundFiles(const std::string& extension) const {
  std::vector<std::string> names;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(file("MSG-IN"), error)) {
    if (entry.path().extension() == "." + extension) names.push_back(entry.path().filename());
  }
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace quillet::testing
