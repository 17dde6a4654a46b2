// DotTerminator: finds the end of a dot-terminated multi-line block (a POP3 message: a line
// holding only "." ends it) in bytes that arrive in arbitrary pieces. Pure: bytes in,
// position out; it keeps only its four-value state between pieces.
#pragma once

namespace quillet {

class DotTerminator {
 public:
  // Scans the next piece. Returns the number of bytes of the piece up to and including the
  // LF of the terminating line, or -1 when the block has not ended within the piece.
  [[nodiscard]] int scan(const char* data, int length);
  bool finished() const { return finished_; }

 private:
  // LineStart: the next byte begins a line; InLine: inside a line; DotSeen: a line began
  // with "."; DotCr: the line so far is "." CR.
  enum class State { LineStart, InLine, DotSeen, DotCr };
  State state_ = State::LineStart;
  bool finished_ = false;
};

}  // namespace quillet
