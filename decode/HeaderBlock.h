// Collects the header block of a message or of a MIME part and unfolds it.
//
// Each physical line has TAB, CR, LF and NUL replaced by blanks. A line that begins with
// white space continues the previous header line: its leading white space is removed and
// it is appended directly, except after a Received line, where one blank marks the fold
// (Received clauses are blank-separated, while adjacent RFC 2047 words must join).
//
// Limits for untrusted input: one unfolded line keeps at most kMaxLineLength bytes (the
// rest of an endless fold is dropped); a block keeps at most maxLines lines and maxBytes
// bytes in total, further lines are read and dropped. The block is still read to its end,
// so the body starts at the right place.
//
// It does not read lines itself: the caller feeds them, so it can stop at a MIME boundary.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "decode/LineReader.h"

namespace quillet {

class HeaderBlock {
 public:
  static constexpr size_t kMaxLineLength = 64 * 1024;

  HeaderBlock(size_t maxLines, size_t maxBytes) : maxLines_(maxLines), maxBytes_(maxBytes) {}

  // Takes the next line or segment of the block. Returns false for the empty line that
  // ends the block (it is not stored); true otherwise.
  [[nodiscard]] bool add(const Line& line);

  const std::vector<std::string>& lines() const { return lines_; }
  std::vector<std::string>& lines() { return lines_; }

 private:
  void appendToLast(std::string_view text);

  size_t maxLines_;
  size_t maxBytes_;
  size_t bytes_ = 0;
  bool dropping_ = false;  // the current header line was dropped for the block limits
  bool any_ = false;       // a line was seen (the first line is never a continuation)
  std::vector<std::string> lines_;
};

// When line belongs to header field name (the name, case ignored, optional white space,
// then ':'), sets value to the text after the colon and returns true.
[[nodiscard]] bool matchField(std::string_view line, std::string_view name,
                              std::string_view& value);

// The field name of a header line (the text before the colon, trailing white space
// removed); empty when the line has no colon.
[[nodiscard]] std::string_view fieldName(std::string_view line);

// Case-insensitive comparisons of 7-bit text.
[[nodiscard]] bool equalsNoCase(std::string_view a, std::string_view b);
[[nodiscard]] bool startsWithNoCase(std::string_view text, std::string_view prefix);
[[nodiscard]] size_t findNoCase(std::string_view text, std::string_view needle);

// The text without blanks and TABs at both ends.
[[nodiscard]] std::string_view trimBlanks(std::string_view text);

}  // namespace quillet
