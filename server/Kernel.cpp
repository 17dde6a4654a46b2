// The process runtime of one run (see Kernel.h).
#include "server/Kernel.h"

#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

#include "base/ProcessContext.h"
#include "platform/ProgramPath.h"
#include "platform/Signals.h"

namespace quillet {

namespace {

Str withTrailingSlash(std::string path) {
  if (!path.empty() && path.back() != '/') path.push_back('/');
  return Str(path);
}

const char* nonEmptyEnvironment(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr && *value != '\0' ? value : nullptr;
}

}  // namespace

Str Kernel::programDirectoryFromEnvironment() {
  if (const char* home = nonEmptyEnvironment("QUILLET_HOME")) {
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(home, error);
    return withTrailingSlash(error ? std::string(home) : absolute.lexically_normal().string());
  }
  const std::string program = executablePath();
  const size_t slash = program.rfind('/');
  if (slash == std::string::npos) return Str();
  return withTrailingSlash(program.substr(0, slash + 1));
}

Str Kernel::temporaryDirectoryFromEnvironment(const Str& programDirectory) {
  if (const char* temp = nonEmptyEnvironment("TEMP")) return withTrailingSlash(temp);
  if (const char* temp = nonEmptyEnvironment("TMPDIR")) return withTrailingSlash(temp);
  return programDirectory;
}

Kernel::Kernel(const Str& programDirectory, bool serviceMode, MessageOutput::PlainWriter plain)
    : programDirectory_(programDirectory),
      temporaryDirectory_(temporaryDirectoryFromEnvironment(programDirectory)),
      serviceMode_(serviceMode) {
  ProcessContext& process = ProcessContext::instance();
  process.setProgramDirectory(programDirectory_.toStd());
  process.setRunning(!stopRequestedBySignal());
  setSignalIgnoreFlags(serviceMode, serviceMode);

  settings_ = std::make_unique<ServerSettings>(programDirectory_ + ServerSettings::kFileName);
  settingsFileRead_ = settings_->read();
  process.setCheckBeforeFileOpen(settings_->boolean(ServerKey::CheckBeforeFileOpen));
  process.setThreadStartupDelay(settings_->integer(ServerKey::ThreadStartupDelay));

  LogOptions logOptions;
  logOptions.writeLogFile = settings_->boolean(ServerKey::WriteLogFile);
  logOptions.logPath = settings_->string(ServerKey::LogPath);
  logOptions.purgeDays = settings_->integer(ServerKey::LogFilePurgeDays);
  logOptions.programDirectory = programDirectory_;
  output_ = std::make_unique<MessageOutput>(logOptions, std::move(plain));
  // Messages of the base library (the stop sequence's) become timestamped lines.
  MessageOutput* output = output_.get();
  process.setMessageSink([output](const std::string& line) { output->write(Str(line), true); });
}

Kernel::~Kernel() { ProcessContext::instance().setMessageSink({}); }

}  // namespace quillet
