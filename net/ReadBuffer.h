// ReadBuffer: the bytes received from a connection but not yet used, shared by every read
// operation of the client, so bytes that arrive after a line or after a message terminator
// stay for the next operation instead of being lost. takeLine cuts CR LF lines out of it.
//
// It never reads from a socket itself. Limits: the buffer holds at most kCapacity bytes,
// and takeLine refuses a line longer than the cap it is given (bytes between the line
// start and its CR LF, zero bytes not counted).
#pragma once

#include <vector>

#include "base/Str.h"

namespace quillet {

class ReadBuffer {
 public:
  static constexpr int kCapacity = 16384;  // one full TLS record fits

  ReadBuffer() : bytes_(kCapacity) {}

  int size() const { return end_ - begin_; }
  bool empty() const { return begin_ == end_; }
  const char* data() const { return bytes_.data() + begin_; }

  // Drops the first n unread bytes.
  void consume(int n);
  // Moves up to n unread bytes to out; the number moved.
  [[nodiscard]] int take(char* out, int n);
  void clear() { begin_ = end_ = 0; }

  // Free space at the end (after moving unread bytes to the front); fill it, then commit
  // the number of bytes written.
  char* space(int& room);
  void commit(int n);

 private:
  std::vector<char> bytes_;
  int begin_ = 0;
  int end_ = 0;
};

enum class LineScan {
  Complete,  // line holds one whole line without its CR LF
  NeedMore,  // all buffered bytes went into line; more must be received
  TooLong,   // the line exceeds the cap; line is cleared
};

// Moves bytes from buffer into line until line ends with CR LF, dropping zero bytes (a
// lone LF or CR is kept as part of the line). On Complete the CR LF is removed and the
// bytes after it stay in the buffer. Call again with the same line after NeedMore.
[[nodiscard]] LineScan takeLine(ReadBuffer& buffer, Str& line, int maxLength);

}  // namespace quillet
