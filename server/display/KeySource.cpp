// Terminal key decoding for the wait step.
#include "server/display/KeySource.h"

#include "platform/Terminal.h"

namespace quillet {

void TerminalKeySource::decode(const std::string& bytes, std::deque<int>& keys) {
  for (size_t i = 0; i < bytes.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(bytes[i]);
    if (c == kEscape) {
      const char next = i + 1 < bytes.size() ? bytes[i + 1] : '\0';
      if (next == '[') {
        // CSI: parameters and intermediates up to a final byte 0x40..0x7E.
        i += 2;
        while (i < bytes.size() && !(bytes[i] >= 0x40 && bytes[i] <= 0x7E)) ++i;
        continue;
      }
      if (next == 'O') {  // SS3: one more byte (F1..F4, keypad)
        i += 2;
        continue;
      }
      keys.push_back(kEscape);
      continue;
    }
    if (c >= 'a' && c <= 'z') {
      keys.push_back(c - 'a' + 'A');
    } else if (c >= 0x20 && c < 0x7F) {
      keys.push_back(c);
    }
  }
}

std::optional<int> TerminalKeySource::nextKey() {
  if (pending_.empty()) decode(readWaitingBytes(fd_), pending_);
  if (pending_.empty()) return std::nullopt;
  const int key = pending_.front();
  pending_.pop_front();
  return key;
}

}  // namespace quillet
