// Terminator scan for dot-terminated blocks (see DotTerminator.h).
#include "net/DotTerminator.h"

namespace quillet {

int DotTerminator::scan(const char* data, int length) {
  if (finished_) return 0;
  for (int i = 0; i < length; ++i) {
    const char c = data[i];
    switch (state_) {
      case State::LineStart:
        if (c == '.') {
          state_ = State::DotSeen;
        } else if (c != '\n') {
          state_ = State::InLine;
        }
        break;
      case State::InLine:
        if (c == '\n') state_ = State::LineStart;
        break;
      case State::DotSeen:
        state_ = c == '\r' ? State::DotCr : State::InLine;
        break;
      case State::DotCr:
        if (c == '\n') {
          finished_ = true;
          return i + 1;
        }
        state_ = State::InLine;
        break;
    }
  }
  return -1;
}

}  // namespace quillet
