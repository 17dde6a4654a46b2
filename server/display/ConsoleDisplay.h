// ConsoleDisplay: the status display of one server run on a terminal. It puts standard
// input in raw mode for the keys, opens the screen on standard output, draws the header
// and the framed message window, and restores the terminal when it is destroyed (and on
// exit or a fatal signal through the platform terminal's restore path).
//
// When standard output is not a terminal there is no display at all: messages go to
// standard output as plain lines and there are no keys. The size is read once at set-up.
#pragma once

#include <memory>
#include <optional>

#include "base/Str.h"
#include "platform/Terminal.h"
#include "server/display/ConsoleScreen.h"
#include "server/display/KeySource.h"
#include "server/display/MessageWindow.h"

namespace quillet {

class ConsoleDisplay {
 public:
  // The display on this process's terminal; null when standard output is not one.
  [[nodiscard]] static std::unique_ptr<ConsoleDisplay> openOnTerminal(bool mono);

  // A display writing to output, with keys from keyFd (-1: no keys). The screen is open
  // and cleared when the constructor returns.
  ConsoleDisplay(ConsoleScreen::Output output, int width, int height, bool mono, int keyFd);
  ~ConsoleDisplay();
  ConsoleDisplay(const ConsoleDisplay&) = delete;
  ConsoleDisplay& operator=(const ConsoleDisplay&) = delete;

  // Writes the title at row 0 and the notice at row 1, column 1, in the header colours.
  void drawHeader(const Str& title, const Str& notice);
  // The framed message window (rows 2 to H-2), drawn on first use.
  MessageWindow& messageWindow();

  ConsoleScreen& screen() { return screen_; }
  // The key source, or null when keys cannot be read.
  KeySource* keys() { return keys_ ? &*keys_ : nullptr; }

 private:
  std::optional<RawTerminalMode> rawMode_;
  ConsoleScreen screen_;
  std::optional<TerminalKeySource> keys_;
  std::unique_ptr<MessageWindow> window_;
};

}  // namespace quillet
