// Whole-file access for tests: the exact bytes of a file, and a file made of given bytes.
// Tests use these to hand-make input files and to inspect what the code under test wrote;
// they never go through the code under test's own file classes.
#pragma once

#include <string>

namespace quillet::testing {

// The file's bytes; empty when it is missing or unreadable.
[[nodiscard]] std::string readBytes(const std::string& path);
// Creates or replaces the file with exactly bytes; false when it cannot be written.
bool writeBytes(const std::string& path, const std::string& bytes);

}  // namespace quillet::testing
