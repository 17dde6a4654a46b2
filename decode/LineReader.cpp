// Bounded line splitting over a byte source (see LineReader.h).
#include "decode/LineReader.h"

#include <algorithm>
#include <climits>
#include <cstring>

namespace quillet {

long MemoryByteSource::read(char* buffer, size_t n) {
  size_t left = bytes_.size() - position_;
  if (n > left) n = left;
  std::memcpy(buffer, bytes_.data() + position_, n);
  position_ += n;
  return static_cast<long>(n);
}

long FileByteSource::read(char* buffer, size_t n) {
  if (!file_.isOpen()) return -1;
  int chunk = n > static_cast<size_t>(INT_MAX) ? INT_MAX : static_cast<int>(n);
  const ReadResult got = file_.read(buffer, chunk);
  return got.failed() ? -1 : got.bytes;
}

LineReader::LineReader(ByteSource& source, bool wireForm)
    : source_(source), wireForm_(wireForm), buffer_(2 * kMaxSegment) {}

bool LineReader::fill() {
  if (atEnd_) return false;
  if (begin_ > 0) {
    std::memmove(buffer_.data(), buffer_.data() + begin_, end_ - begin_);
    end_ -= begin_;
    begin_ = 0;
  }
  if (end_ == buffer_.size()) return true;  // full: the caller cuts a segment
  long got = source_.read(buffer_.data() + end_, buffer_.size() - end_);
  if (got <= 0) {
    atEnd_ = true;
    failed_ = got < 0;
    return false;
  }
  end_ += static_cast<size_t>(got);
  return true;
}

bool LineReader::nextRaw(Line& line) {
  for (;;) {
    const char* start = buffer_.data() + begin_;
    size_t available = end_ - begin_;
    // A line end further away than one segment is not looked for: that line is cut anyway.
    const void* lf =
        available > 0 ? std::memchr(start, '\n', std::min(available, kMaxSegment + 1)) : nullptr;
    if (lf != nullptr) {
      size_t length = static_cast<size_t>(static_cast<const char*>(lf) - start);
      begin_ += length + 1;
      if (length > 0 && start[length - 1] == '\r') --length;
      line = Line{std::string_view(start, length), !midLine_, true};
      midLine_ = false;
      return true;
    }
    if (available >= kMaxSegment) {
      // No line end within reach: hand out a segment. Keep a final CR back, it may belong
      // to the CR LF that ends the line.
      size_t length = kMaxSegment;
      if (start[length - 1] == '\r') --length;
      begin_ += length;
      line = Line{std::string_view(start, length), !midLine_, false};
      midLine_ = true;
      return true;
    }
    if (!fill()) {
      start = buffer_.data() + begin_;  // fill() may have moved the buffered bytes
      available = end_ - begin_;
      if (available == 0) {
        if (midLine_) {
          // The input ended inside a long line: close it with an empty last segment.
          line = Line{std::string_view(), false, true};
          midLine_ = false;
          return true;
        }
        return false;
      }
      begin_ = end_;
      if (start[available - 1] == '\r') --available;
      line = Line{std::string_view(start, available), !midLine_, true};
      midLine_ = false;
      return true;
    }
  }
}

bool LineReader::next(Line& line) {
  for (;;) {
    if (!nextRaw(line)) return false;
    if (!wireForm_ || !line.startsLine) return true;
    if (line.endsLine && line.text == ".") continue;  // end-of-message mark
    if (line.text.size() >= 2 && line.text[0] == '.' && line.text[1] == '.')
      line.text.remove_prefix(1);
    return true;
  }
}

}  // namespace quillet
