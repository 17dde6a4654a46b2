// Where the wait step gets the operator's key presses: the terminal in raw mode, or a
// scripted source in tests. Keys are reported as key-down events only: Escape as kEscape,
// letters as their upper-case letter (so Shift does not matter), other printable keys as
// their byte. Escape sequences of function and cursor keys are swallowed.
#pragma once

#include <deque>
#include <optional>
#include <string>

namespace quillet {

class KeySource {
 public:
  static constexpr int kEscape = 27;

  virtual ~KeySource() = default;
  // The next waiting key press, without waiting; nullopt when none is waiting.
  [[nodiscard]] virtual std::optional<int> nextKey() = 0;
};

// Keys from a terminal descriptor (standard input), which should be in raw mode.
class TerminalKeySource : public KeySource {
 public:
  explicit TerminalKeySource(int fd) : fd_(fd) {}
  [[nodiscard]] std::optional<int> nextKey() override;

  // Splits bytes read in one go into keys (see above) and appends them to keys.
  static void decode(const std::string& bytes, std::deque<int>& keys);

 private:
  int fd_;
  std::deque<int> pending_;
};

}  // namespace quillet
