// The process-wide context of the base library (see ProcessContext.h).
#include "base/ProcessContext.h"

#include <cstdio>

namespace quillet {

ProcessContext& ProcessContext::instance() {
  static ProcessContext context;
  return context;
}

std::string ProcessContext::programDirectory() const {
  std::lock_guard lock(mutex_);
  return programDirectory_;
}

void ProcessContext::setProgramDirectory(const std::string& dir) {
  std::lock_guard lock(mutex_);
  programDirectory_ = dir;
  if (!programDirectory_.empty() && programDirectory_.back() != '/') programDirectory_ += '/';
}

void ProcessContext::writeMessage(const std::string& line) const {
  std::function<void(const std::string&)> sink;
  {
    std::lock_guard lock(mutex_);
    sink = sink_;
  }
  if (sink) {
    sink(line);
  } else {
    std::fprintf(stderr, "%s\n", line.c_str());
  }
}

void ProcessContext::setMessageSink(std::function<void(const std::string&)> sink) {
  std::lock_guard lock(mutex_);
  sink_ = std::move(sink);
}

}  // namespace quillet
