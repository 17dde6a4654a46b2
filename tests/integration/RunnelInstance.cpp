// The runnel program in a private program directory (see RunnelInstance.h).
#include "RunnelInstance.h"

#include <signal.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <thread>

#include "base/Password.h"
#include "config/tests/TestFiles.h"
#include "tests/support/ConsoleRunEnvironment.h"

namespace quillet::testing {

std::string dataPopRecord(const MailboxRecord& mailbox) {
  std::string record = blankPopRecord();
  place(record, 3, mailbox.user);
  place(record, 54,
        scramble(Str(std::string_view(mailbox.password)), kPOP3MailboxPasswordKey).toStd());
  place(record, 157, mailbox.host);
  place(record, 286, mailbox.routeTo);
  place(record, 415, mailbox.from);
  place(record, 421, mailbox.until);
  place(record, 427, std::to_string(mailbox.everyMinutes));
  place(record, 438, "XXXXXXX");
  if (mailbox.port != 0) place(record, 497, std::to_string(mailbox.port));
  record[510] = mailbox.security;
  return record;
}

RunnelHome::RunnelHome() = default;

void RunnelHome::writeSettings(const std::string& extraLines) const {
  std::string text =
      "SmartHost=mail.office.example\nPostmaster=postmaster@office.example\n"
      "Interval=1\nThreadStartupDelay=0\n" +
      extraLines;
  if (!text.empty() && text.back() != '\n') text += '\n';
  std::string crlf;
  for (char c : text) {
    if (c == '\n') crlf += '\r';
    crlf += c;
  }
  writeFile(file("QUILLET.INI"), crlf);
}

void RunnelHome::writeMailboxes(const std::vector<MailboxRecord>& mailboxes) const {
  std::string records;
  for (const MailboxRecord& mailbox : mailboxes) records += dataPopRecord(mailbox);
  writeFile(file("DataPOP.DAT"), records);
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

RunnelInstance::RunnelInstance(const RunnelHome& home, const std::string& outputName)
    : outputFile_(home.file(outputName)) {
  const std::vector<std::string> environment = consoleRunEnvironment(home.path());
  process_ = std::make_unique<TestProcess>(std::vector<std::string>{RUNNEL_PROGRAM}, outputFile_,
                                           environment);
}

int RunnelInstance::stop(int timeoutMs) {
  if (!process_->running()) return process_->waitExit(0);
  ::kill(process_->pid(), SIGTERM);
  return process_->waitExit(timeoutMs);
}

int occurrences(const std::string& all, const std::string& text) {
  int count = 0;
  for (size_t at = all.find(text); at != std::string::npos; at = all.find(text, at + 1)) ++count;
  return count;
}

bool waitUntil(const std::function<bool()>& condition, int timeoutMs) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (std::chrono::steady_clock::now() < end) {
    if (condition()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return condition();
}

}  // namespace quillet::testing
