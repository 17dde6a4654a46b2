// MessageWindow: the framed message area of the status display, rows 2 to H-2 of the
// screen with the box on its edge and the messages scrolling inside. New lines go to the
// next free row; when the area is full it scrolls up by one row first, so the newest line
// is always at the bottom. Lines are cut to the inner width.
//
// It does not render messages (the message output does) and does not touch the header
// rows or the status line. A screen too small for an inner row shows no messages.
#pragma once

#include "server/display/ConsoleScreen.h"
#include "server/runtime/MessageAreaSink.h"

namespace quillet {

class MessageWindow : public MessageAreaSink {
 public:
  // Draws the empty framed area on the screen (which must outlive the window).
  explicit MessageWindow(ConsoleScreen& screen);

  void showLine(const Str& line) override;

  // First and last inner row and column.
  int top() const { return top_; }
  int bottom() const { return bottom_; }
  int left() const { return left_; }
  int right() const { return right_; }

 private:
  ConsoleScreen& screen_;
  int top_, bottom_, left_, right_;
  int nextRow_;  // guarded by the screen lock
};

}  // namespace quillet
