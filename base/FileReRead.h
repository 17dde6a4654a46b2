// FileReRead: remembers a file's last-write date and time at the moment it was read, so a
// program can later ask whether the file has been saved again since (the server restarts
// its run when its settings file changes).
//
// It does not read the file or watch it; the owner records and asks.
#pragma once

#include "base/DateTime.h"
#include "base/Str.h"

namespace quillet {

class FileReRead {
 public:
  FileReRead() = default;

  // Records name and its current last-write date and time (all zero when the file does
  // not exist yet, so a file created later counts as changed). A blank name records
  // nothing.
  void record(const Str& name);

  // True when a name was recorded, the file exists and its last-write date or time
  // (milliseconds included) differs from the recorded one. A deleted file is no change.
  [[nodiscard]] bool changed() const;

  const Str& name() const { return name_; }

 private:
  Str name_;
  Date lastWriteDate_;
  Time lastWriteTime_;
};

}  // namespace quillet
