// Files whose reads fail, for tests that prove a read error is never taken for the end of
// a file: FailingReadFile fails part-way through a real file, and kUnreadableFilePath names
// a file that opens as a regular file but fails on its first read.
#pragma once

#include <cstddef>
#include <cstdint>

#include "base/File.h"

namespace quillet::testing {

// Opens like any File; once failAfterBytes bytes have been read from it, every further
// read of the disk fails with EIO.
class FailingReadFile : public File {
 public:
  FailingReadFile(const Str& name, int64_t failAfterBytes)
      : File(name), bytesLeft_(failAfterBytes) {}

 protected:
  std::ptrdiff_t readDescriptor(int fd, char* into, std::size_t n) override;

 private:
  int64_t bytesLeft_;
};

// The memory of the test process itself: a regular file to open(), whose first bytes map
// to address 0, so reading them fails with EIO. For code that opens files by name.
inline constexpr const char* kUnreadableFilePath = "/proc/self/mem";

}  // namespace quillet::testing
