// The real runnel program in a private program directory (QUILLET_HOME) for integration
// tests: the settings file and the mailbox table written as the administration program
// writes them, the program started as a console run without a terminal (its standard output
// goes to a file), stopped by SIGTERM. The queue, log and id files are read back as they
// are on disk.
//
// RUNNEL_PROGRAM (compile definition) names the program. Nothing here parses runnel's
// files with the program's own code: the mailbox records are laid out independently.
#pragma once

#include <string>
#include <vector>

#include "tests/support/DataFileRecords.h"
#include "tests/support/FileBytes.h"
#include "tests/support/RunnelRun.h"
#include "tests/support/TempDir.h"

namespace quillet::testing {

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
  std::string log() const { return readBytes(file("STRANDEL.LOG")); }

 private:
  TempDir dir_{"quillet-runnel-home"};
};

// One runnel process in a program directory; killed when the object goes if still running.
class RunnelInstance : public RunnelRun {
 public:
  // Starts runnel with QUILLET_HOME = home; standard output goes to home/outputName.
  explicit RunnelInstance(const RunnelHome& home, const std::string& outputName = "runnel.out")
      : RunnelRun(RUNNEL_PROGRAM, home.path(), home.file(outputName)) {}
};

}  // namespace quillet::testing
