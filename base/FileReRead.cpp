// FileReRead implementation (see FileReRead.h).
#include "base/FileReRead.h"

#include "base/FileNames.h"

namespace quillet {

void FileReRead::record(const Str& name) {
  if (name.isBlank()) return;
  name_ = name;
  lastWriteDate_ = Date{};
  lastWriteTime_ = Time{};
  // A missing file leaves the zero date and time recorded.
  (void)fileLastWrite(name_, lastWriteDate_, lastWriteTime_);
}

bool FileReRead::changed() const {
  if (name_.isBlank()) return false;
  Date date;
  Time time;
  if (!fileLastWrite(name_, date, time)) return false;
  return !(date == lastWriteDate_) || !(time == lastWriteTime_);
}

}  // namespace quillet
