// The running program's path from /proc/self/exe (see ProgramPath.h).
#include "platform/ProgramPath.h"

#include <unistd.h>

#include <climits>
#include <vector>

namespace quillet {

std::string executablePath() {
  std::vector<char> buffer(PATH_MAX + 1);
  const ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
  // A result that fills the whole buffer may have been cut.
  if (n <= 0 || static_cast<size_t>(n) >= buffer.size()) return {};
  return std::string(buffer.data(), static_cast<size_t>(n));
}

}  // namespace quillet
