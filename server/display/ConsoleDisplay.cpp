// ConsoleDisplay: set-up and restore of the terminal for the status display.
#include "server/display/ConsoleDisplay.h"

#include <unistd.h>

#include <utility>

namespace quillet {

std::unique_ptr<ConsoleDisplay> ConsoleDisplay::openOnTerminal(bool mono) {
  if (!isTerminal(STDOUT_FILENO)) return nullptr;
  const TerminalSize size = terminalSize(STDOUT_FILENO).value_or(TerminalSize{});
  const int keyFd = isTerminal(STDIN_FILENO) ? STDIN_FILENO : -1;
  auto display = std::make_unique<ConsoleDisplay>(
      [](std::string_view bytes) { (void)writeToTerminal(STDOUT_FILENO, bytes); }, size.columns,
      size.rows, mono, keyFd);
  // Leaves the alternate screen even when the process ends without destroying the display.
  setTerminalRestoreSequence(ConsoleScreen::kLeaveSequence);
  installTerminalRestoreOnFatalSignals();
  return display;
}

ConsoleDisplay::ConsoleDisplay(ConsoleScreen::Output output, int width, int height, bool mono,
                               int keyFd)
    : screen_(std::move(output), width, height, mono) {
  if (keyFd >= 0) {
    rawMode_.emplace(keyFd);
    if (rawMode_->active()) installTerminalRestoreOnFatalSignals();
    keys_.emplace(keyFd);
  }
  screen_.open();
}

ConsoleDisplay::~ConsoleDisplay() {
  window_.reset();
  screen_.close();
  setTerminalRestoreSequence({});
  // rawMode_ restores the terminal's mode as it is destroyed.
}

void ConsoleDisplay::drawHeader(const Str& title, const Str& notice) {
  ConsoleScreen::ScreenLock lock(screen_);
  screen_.select(TextAttribute::Header);
  screen_.writeAt(0, 1, title);
  screen_.writeAt(1, 1, notice);
  screen_.select(TextAttribute::Message);
}

MessageWindow& ConsoleDisplay::messageWindow() {
  if (!window_) window_ = std::make_unique<MessageWindow>(screen_);
  return *window_;
}

}  // namespace quillet
