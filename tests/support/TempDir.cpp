// Temporary directories for tests (see TempDir.h).
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <stdexcept>

namespace quillet::testing {

namespace fs = std::filesystem;

TempDir::TempDir(const char* prefix, unsigned mode) {
  std::string pattern = (fs::temp_directory_path() / (std::string(prefix) + "-XXXXXX")).string();
  if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed: " + pattern);
  path_ = pattern;
  fs::permissions(path_, static_cast<fs::perms>(mode));
}

TempDir::~TempDir() {
  std::error_code ignored;
  fs::remove_all(path_, ignored);
}

int TempDir::entries() const {
  int n = 0;
  std::error_code error;
  for (fs::directory_iterator it(path_, error), end; !error && it != end; it.increment(error)) ++n;
  return n;
}

unsigned fileMode(const std::string& path) {
  struct stat info {};
  EXPECT_EQ(::stat(path.c_str(), &info), 0) << path;
  return info.st_mode & 07777;
}

}  // namespace quillet::testing
