// A private temporary directory for a test, removed with everything in it when the test
// ends. Every test that needs files works in one of these, so tests run in parallel.
#pragma once

#include <string>

#include "base/Str.h"

namespace quillet::testing {

class TempDir {
 public:
  // Makes a fresh directory under the system's temporary directory; servers started by
  // tests that drop to another user need a mode that lets them in (0755).
  explicit TempDir(const char* prefix = "quillet-test", unsigned mode = 0700);
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  // The path of a file in the directory.
  std::string file(const std::string& name) const { return path_ + "/" + name; }
  // The same as a Str, for the classes that take file names.
  Str str(const std::string& name) const { return Str(std::string_view(file(name))); }
  // Number of entries in the directory.
  int entries() const;

 private:
  std::string path_;
};

// The permission bits of a file (mode & 07777); 0 and a test failure when it is missing.
unsigned fileMode(const std::string& path);

}  // namespace quillet::testing
