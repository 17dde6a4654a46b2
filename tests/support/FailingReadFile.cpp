// A File whose reads of the disk fail after a given number of bytes.
#include "tests/support/FailingReadFile.h"

#include <algorithm>
#include <cerrno>

namespace quillet::testing {

std::ptrdiff_t FailingReadFile::readDescriptor(int fd, char* into, std::size_t n) {
  if (bytesLeft_ <= 0) {
    errno = EIO;
    return -1;
  }
  const std::size_t allowed = std::min<std::size_t>(n, static_cast<std::size_t>(bytesLeft_));
  const std::ptrdiff_t got = File::readDescriptor(fd, into, allowed);
  if (got > 0) bytesLeft_ -= got;
  return got;
}

}  // namespace quillet::testing
