// Whole-file read and write for tests (see FileBytes.h).
#include "tests/support/FileBytes.h"

#include <fstream>
#include <sstream>

namespace quillet::testing {

std::string readBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

bool writeBytes(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
  out.close();
  return static_cast<bool>(out);
}

}  // namespace quillet::testing
