// The original message as a report attaches it: the content of a stored message file
// without its transfer form (the BDAT copy rule of CanonicalData.h: up to the terminating
// "." line, the stuffing dots removed, CR LF line ends), whole or only its header (up to
// the first empty line), in a temporary file that the report's composer reads.
//
// The stored file is untrusted: a header copy keeps at most kMaxHeaderBytes (a file without
// an empty line is not copied whole as its "header"), and NUL bytes become blanks so no
// composed message carries one. The temporary file has a name of its own (never derived
// from the message), mode 0600, and is deleted when the copy is destroyed.
#pragma once

#include <cstdint>

#include "base/Str.h"

namespace quillet {

class OriginalCopy {
 public:
  static constexpr int64_t kMaxHeaderBytes = 1024 * 1024;

  enum class Extent { HeaderOnly, Whole };

  OriginalCopy() = default;
  ~OriginalCopy();
  OriginalCopy(const OriginalCopy&) = delete;
  OriginalCopy& operator=(const OriginalCopy&) = delete;

  // Copies messageFile into a new file in directory ('/'-terminated or empty). Returns 0;
  // err::kOpenMessageFile when the message cannot be opened, err::kCreateTempFile when no
  // temporary file can be made, err::kWriteTempFile when reading or writing fails (the
  // temporary file is then deleted).
  [[nodiscard]] int make(const Str& messageFile, const Str& directory, Extent extent);

  // The temporary file (empty before a successful make()).
  const Str& path() const { return path_; }
  // Bytes copied: 0 for a message that starts with its empty line (it has no header).
  int64_t size() const { return size_; }

 private:
  void discard();

  Str path_;
  int64_t size_ = 0;
};

}  // namespace quillet
