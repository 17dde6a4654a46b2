// The real runnel program in a private program directory (QUILLET_HOME) for integration
// tests: the settings file and the mailbox table written as the administration program
// writes them, the program started as a console run without a terminal (its standard output
// goes to a file), stopped by SIGTERM. The queue, log and id files are read back as they
// are on disk.
//
// RUNNEL_PROGRAM (compile definition) names the program. Nothing here parses runnel's
// files with the program's own code: the mailbox records are laid out independently.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "TestProcess.h"

namespace quillet::testing {

// One mailbox as the DataPOP.DAT record holds it.
struct MailboxRecord {
  std::string user;
  std::string password;  // plain; stored scrambled with the mailbox password key
  std::string host = "127.0.0.1";
  std::string routeTo;  // empty: the recipients are detected from the messages
  int port = 0;         // 0: POPInboundPort
  char security = ' ';  // ' ' plain POP3, 'T' POP3S, 'S' STLS
  std::string from = "00:00";
  std::string until = "23:59";
  int everyMinutes = 1440;  // once in the day's window: one pass per run
};

// The 1024-byte DataPOP.DAT record of a mailbox, due every day of the week.
std::string dataPopRecord(const MailboxRecord& mailbox);

// The program directory of one or more runs, removed at the end.
class RunnelHome {
 public:
  RunnelHome();
  const std::string& path() const { return dir_.path(); }
  std::string file(const std::string& name) const { return dir_.file(name); }

  // QUILLET.INI: mail host, postmaster, a one-second Interval and no thread start delay,
  // followed by extraLines ("Key=Value" each, LF-separated).
  void writeSettings(const std::string& extraLines) const;
  void writeMailboxes(const std::vector<MailboxRecord>& mailboxes) const;

  // Names of the files in MSG-IN with the extension (such as "TXT", "INX"), sorted.
  std::vector<std::string> inboundFiles(const std::string& extension) const;
  // The current log STRANDEL.LOG.
  std::string log() const { return readFile(file("STRANDEL.LOG")); }

 private:
  TempDir dir_{"quillet-runnel-home"};
};

// One runnel process in a program directory; killed when the object goes if still running.
class RunnelInstance {
 public:
  // Starts runnel with QUILLET_HOME = home; standard output goes to home/outputName.
  RunnelInstance(const RunnelHome& home, const std::string& outputName = "runnel.out");
  bool started() const { return process_->started(); }
  // SIGTERM, then waits up to timeoutMs: the exit code, or -1 (still running), -2 (signal).
  int stop(int timeoutMs = 60000);
  std::string output() const { return readFile(outputFile_); }

 private:
  std::string outputFile_;
  std::unique_ptr<TestProcess> process_;
};

// How often text occurs in all.
int occurrences(const std::string& all, const std::string& text);
// Polls condition every 50 ms until it holds or timeoutMs passed; its last value.
bool waitUntil(const std::function<bool()>& condition, int timeoutMs);

}  // namespace quillet::testing
