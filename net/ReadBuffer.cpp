// The shared receive buffer and the CR LF line cutter (see ReadBuffer.h).
#include "net/ReadBuffer.h"

#include <algorithm>
#include <cstring>

namespace quillet {

void ReadBuffer::consume(int n) {
  begin_ += std::clamp(n, 0, size());
  if (begin_ == end_) begin_ = end_ = 0;
}

int ReadBuffer::take(char* out, int n) {
  const int count = std::clamp(n, 0, size());
  if (count > 0) std::memcpy(out, data(), static_cast<size_t>(count));
  consume(count);
  return count;
}

char* ReadBuffer::space(int& room) {
  if (begin_ > 0) {
    std::memmove(bytes_.data(), bytes_.data() + begin_, static_cast<size_t>(size()));
    end_ -= begin_;
    begin_ = 0;
  }
  room = kCapacity - end_;
  return bytes_.data() + end_;
}

void ReadBuffer::commit(int n) { end_ += std::clamp(n, 0, kCapacity - end_); }

LineScan takeLine(ReadBuffer& buffer, Str& line, int maxLength) {
  while (!buffer.empty()) {
    // Take everything up to and including the next LF (or all of it) in one piece.
    const char* start = buffer.data();
    const void* lf = std::memchr(start, '\n', static_cast<size_t>(buffer.size()));
    const int piece =
        lf != nullptr ? static_cast<int>(static_cast<const char*>(lf) - start) + 1 : buffer.size();
    int from = 0;
    for (int i = 0; i < piece; ++i) {
      if (start[i] != '\0') continue;
      line.append(start + from, i - from);
      from = i + 1;
    }
    line.append(start + from, piece - from);
    buffer.consume(piece);
    const int length = line.length();
    const bool complete = length >= 2 && line.at(length - 2) == '\r' && line.at(length - 1) == '\n';
    if (complete) {
      line.setLength(length - 2);
      if (line.length() > maxLength) {
        line = Str();
        return LineScan::TooLong;
      }
      return LineScan::Complete;
    }
    // One byte of slack: a final CR may still be the start of the line end.
    if (length > maxLength + 1) {
      line = Str();
      return LineScan::TooLong;
    }
  }
  return LineScan::NeedMore;
}

}  // namespace quillet
