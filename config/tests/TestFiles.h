// Helpers of the configuration tests: a private temporary directory and raw file access,
// so tests can hand-make data files and inspect the exact bytes written.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "base/Str.h"
#include "tests/support/TempDir.h"

namespace quillet::testing {

using quillet::testing::TempDir;

// A well-formed blank record: "|", blank deleted flag, "|", blank fields closed by "|" at
// the given separator offsets, CR LF.
inline std::string blankRecord(int length, std::initializer_list<int> separators) {
  std::string record(static_cast<size_t>(length), ' ');
  record[0] = '|';
  record[2] = '|';
  for (int offset : separators) record[static_cast<size_t>(offset)] = '|';
  record[static_cast<size_t>(length - 2)] = '\r';
  record[static_cast<size_t>(length - 1)] = '\n';
  return record;
}

// Puts text into record at offset (no padding: the record is blank already).
inline void place(std::string& record, int offset, const std::string& text) {
  record.replace(static_cast<size_t>(offset), text.size(), text);
}

// Separator offsets of the three record kinds, written out independently of the code.
inline constexpr int kPopLength = 1024;
inline std::string blankPopRecord() {
  return blankRecord(kPopLength, {53, 156, 285, 414, 420, 426, 437, 445, 496, 507, 509, 511, 1021});
}
inline constexpr int kUserLength = 256;
inline std::string blankUserRecord() { return blankRecord(kUserLength, {131, 162, 251, 253}); }
inline constexpr int kConfLength = 256;
inline std::string blankConfRecord() {
  return blankRecord(kConfLength, {4, 55, 66, 77, 88, 99, 110, 253});
}

}  // namespace quillet::testing
