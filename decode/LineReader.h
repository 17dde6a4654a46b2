// Splits a stored message into lines for the parser, with a fixed memory bound.
//
// Input is a byte source (a message file, or bytes in memory for tests and fuzzing). Lines
// end at LF; a CR directly before the LF is dropped. A line longer than kMaxSegment is
// handed out in segments of at most kMaxSegment bytes: every segment but the last has
// endsLine false, so decoders can join them without inventing line breaks (a base64 body
// written as one endless line still decodes correctly). The reader holds one buffer of
// 2 * kMaxSegment bytes and never more, whatever the input.
//
// In wire form (the POP3 form messages are stored in) the reader also undoes dot-stuffing:
// a line beginning with two dots loses one, and a line consisting of a single dot is skipped.
//
// It deliberately does not interpret the text (no header or MIME knowledge).
#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

#include "base/File.h"

namespace quillet {

// Where the bytes come from.
class ByteSource {
 public:
  virtual ~ByteSource() = default;
  // Up to n bytes into buffer; 0 at the end, -1 on a read error.
  [[nodiscard]] virtual long read(char* buffer, size_t n) = 0;
};

class MemoryByteSource final : public ByteSource {
 public:
  explicit MemoryByteSource(std::string_view bytes) : bytes_(bytes) {}
  long read(char* buffer, size_t n) override;

 private:
  std::string_view bytes_;
  size_t position_ = 0;
};

// Reads an open File from its current position.
class FileByteSource final : public ByteSource {
 public:
  explicit FileByteSource(File& file) : file_(file) {}
  long read(char* buffer, size_t n) override;

 private:
  File& file_;
};

// One line, or one segment of an over-long line. text stays valid until the next call.
struct Line {
  std::string_view text;
  bool startsLine = true;  // false for the second and later segments of a long line
  bool endsLine = true;    // false when more of the same line follows
};

class LineReader {
 public:
  static constexpr size_t kMaxSegment = 64 * 1024;

  LineReader(ByteSource& source, bool wireForm);

  // The next line or segment; false at the end of the input (or after a read error).
  [[nodiscard]] bool next(Line& line);
  // True when the source reported a read error.
  bool failed() const { return failed_; }

 private:
  [[nodiscard]] bool nextRaw(Line& line);
  // Reads more bytes behind the buffered ones; false at the end or on error.
  bool fill();

  ByteSource& source_;
  bool wireForm_;
  std::vector<char> buffer_;
  size_t begin_ = 0;  // first unread byte
  size_t end_ = 0;    // one past the last buffered byte
  bool atEnd_ = false;
  bool failed_ = false;
  bool midLine_ = false;  // the last segment handed out did not end its line
};

}  // namespace quillet
