// Kernel: the process runtime of one server run. It fixes the program directory and the
// temporary directory, publishes them and the running flag to the process context, reads
// QUILLET.INI, and owns the message output through which every part of the run reports
// (the process context's message sink points at it while the Kernel lives).
//
// One Kernel exists per run: a restart destroys it and makes a new one, so the settings
// file is read afresh. It holds no state of the mail system (AppData does) and does not
// draw the display.
//
// A new Kernel sets the running flag, unless a stop signal arrived earlier in the process:
// such a stop must not be undone by a restart that was under way when it came.
#pragma once

#include <memory>

#include "base/Str.h"
#include "config/ServerSettings.h"
#include "server/runtime/MessageOutput.h"

namespace quillet {

class Kernel {
 public:
  // The program directory: QUILLET_HOME when set (made absolute), else the directory of
  // the running program; always ending in '/'. Empty when neither can be determined.
  [[nodiscard]] static Str programDirectoryFromEnvironment();
  // TEMP, else TMPDIR, else the program directory; ending in '/'.
  [[nodiscard]] static Str temporaryDirectoryFromEnvironment(const Str& programDirectory);

  // A run's runtime in programDirectory (ending in '/'). Plain lines of the message output
  // go through plain (standard output when empty).
  Kernel(const Str& programDirectory, bool serviceMode, MessageOutput::PlainWriter plain = {});
  ~Kernel();
  Kernel(const Kernel&) = delete;
  Kernel& operator=(const Kernel&) = delete;

  const Str& programDirectory() const { return programDirectory_; }
  const Str& temporaryDirectory() const { return temporaryDirectory_; }
  bool serviceMode() const { return serviceMode_; }
  // False when QUILLET.INI was missing or unreadable (every key has its default then).
  bool settingsFileRead() const { return settingsFileRead_; }

  const ServerSettings& settings() const { return *settings_; }
  MessageOutput& output() { return *output_; }

 private:
  Str programDirectory_;
  Str temporaryDirectory_;
  bool serviceMode_;
  std::unique_ptr<ServerSettings> settings_;
  bool settingsFileRead_ = false;
  std::unique_ptr<MessageOutput> output_;
};

}  // namespace quillet
