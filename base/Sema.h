// Sema: a named lock file in the program directory that keeps other processes out (the
// administration program, a second server in the same directory), not other threads.
//
// Held means: the file is open and carries an exclusive flock. A file left behind by a
// process that died does not block, because its lock died with the process. Releasing
// deletes the file before it closes it, and acquiring checks after locking that the locked
// file is still the one at the path, so a release racing with an acquire never leaves two
// holders. It does not wait or retry over time: callers decide what to do when it fails.
#pragma once

#include "base/Str.h"

namespace quillet {

class Sema {
 public:
  // A lock file called name (a plain file name) in ProcessContext's program directory.
  explicit Sema(const Str& name);
  // Releases the lock when it is held.
  ~Sema();
  Sema(const Sema&) = delete;
  Sema& operator=(const Sema&) = delete;

  // True when the lock is held: at once when it already was, otherwise after up to attempts
  // tries in a row without waiting (at least one). False when another process holds it or
  // the file cannot be created.
  [[nodiscard]] bool acquire(int attempts = 1);
  // Deletes the file and drops the lock. True when the lock was held.
  [[nodiscard]] bool release();

  bool held() const { return handle_ >= 0; }
  const Str& name() const { return name_; }

 private:
  // One try; true when the lock was taken.
  [[nodiscard]] bool tryOnce(const Str& path);

  Str name_;
  Str path_;         // where the held file lies (the program directory may change later)
  int handle_ = -1;  // open descriptor of the locked file, -1 when not held
};

}  // namespace quillet
