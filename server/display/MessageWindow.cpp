// MessageWindow: framed, scrolling message area.
#include "server/display/MessageWindow.h"

namespace quillet {

MessageWindow::MessageWindow(ConsoleScreen& screen)
    : screen_(screen),
      top_(3),
      bottom_(screen.height() - 3),
      left_(1),
      right_(screen.width() - 2),
      nextRow_(top_) {
  ConsoleScreen::ScreenLock lock(screen_);
  const int frameBottom = screen_.height() - 2;
  if (frameBottom < 2) return;
  screen_.select(TextAttribute::Message);
  const Str blank(' ', screen_.width());
  for (int row = 2; row <= frameBottom; ++row) screen_.writeAt(row, 0, blank);
  screen_.select(TextAttribute::Frame);
  screen_.drawBox(2, 0, frameBottom, screen_.width() - 1);
  screen_.select(TextAttribute::Message);
}

void MessageWindow::showLine(const Str& line) {
  if (bottom_ < top_ || right_ < left_) return;
  ConsoleScreen::ScreenLock lock(screen_);
  screen_.select(TextAttribute::Message);
  if (nextRow_ > bottom_) {
    screen_.scrollUp(top_, left_, bottom_, right_);
    nextRow_ = bottom_;
  }
  Str text = line.left(right_ - left_ + 1);
  text.setLength(right_ - left_ + 1);  // blanks out what an older line left in the row
  screen_.writeAt(nextRow_, left_, text);
  ++nextRow_;
}

}  // namespace quillet
