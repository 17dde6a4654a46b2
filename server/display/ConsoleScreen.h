// ConsoleScreen: the server's full-screen console (one per process while a display runs),
// drawn with ANSI/VT100 sequences. It keeps a model of every cell (glyph and attribute) so
// that a region can be scrolled by redrawing it, and guards every operation with the
// screen lock; callers that need several operations to appear together hold a
// ScreenLock.
//
// Attributes are the console's colour bytes (background in the high nibble, foreground in
// the low one, bits blue 1, green 2, red 4, intensity 8); with mono the fixed monochrome
// bytes are used instead. Text is OEM (code page 850) and reaches the terminal as UTF-8;
// box lines are the Unicode box characters. Output outside the screen is clipped. It does
// not read keys and does not know what the rows mean.
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "base/Str.h"

namespace quillet {

enum class TextAttribute { Header, Message, Frame };

class ConsoleScreen {
 public:
  // Receives the terminal bytes of each operation.
  using Output = std::function<void(std::string_view bytes)>;

  // Sequences that enter and leave the screen: the alternate screen buffer, cursor hidden.
  static constexpr std::string_view kEnterSequence = "\x1b[?1049h\x1b[?25l";
  static constexpr std::string_view kLeaveSequence = "\x1b[0m\x1b[?25h\x1b[?1049l";

  // A screen of width x height cells (each at least 1). Nothing is sent before open().
  ConsoleScreen(Output output, int width, int height, bool mono);
  ~ConsoleScreen();  // closes
  ConsoleScreen(const ConsoleScreen&) = delete;
  ConsoleScreen& operator=(const ConsoleScreen&) = delete;

  int width() const { return width_; }
  int height() const { return height_; }
  bool mono() const { return mono_; }

  // The colour byte of an attribute, as the console would use it.
  [[nodiscard]] static uint8_t attributeByte(TextAttribute attribute, bool mono);
  // The SGR sequence that selects a colour byte on an ANSI terminal.
  [[nodiscard]] static std::string sgrFor(uint8_t attributeByte);

  // Enters the alternate screen and clears it in the header attribute.
  void open();
  // Leaves the alternate screen and restores the terminal's colours and cursor.
  void close();

  // Selects the attribute of the following writes.
  void select(TextAttribute attribute);
  // Fills the whole screen with blanks in the current attribute.
  void clear();
  // Writes OEM text at row and column (from 0) in the current attribute, cut at the right
  // edge; nothing when the position lies outside the screen.
  void writeAt(int row, int column, const Str& text);
  // Draws a single-line box with the given corners in the current attribute.
  void drawBox(int top, int left, int bottom, int right);
  // Moves the rows top+1..bottom of the columns left..right one row up and blanks row
  // bottom in the current attribute.
  void scrollUp(int top, int left, int bottom, int right);

  // The model of a row as UTF-8 text and the colour byte of a cell (for tests and redraws).
  [[nodiscard]] std::string rowText(int row) const;
  [[nodiscard]] uint8_t cellAttribute(int row, int column) const;

  // Holds the screen lock over several operations.
  class ScreenLock {
   public:
    explicit ScreenLock(ConsoleScreen& screen) : guard_(screen.mutex_) {}

   private:
    std::lock_guard<std::recursive_mutex> guard_;
  };

 private:
  struct Cell {
    std::string glyph = " ";  // one character, UTF-8
    uint8_t attribute = 0x07;
  };

  void putGlyph(int row, int column, const std::string& glyph);
  // Sends the model of the cells left..right of a row to the terminal.
  void emitCells(int row, int left, int right);
  Cell& cell(int row, int column) { return cells_[cellIndex(row, column)]; }
  const Cell& cell(int row, int column) const { return cells_[cellIndex(row, column)]; }
  size_t cellIndex(int row, int column) const {
    return static_cast<size_t>(row) * static_cast<size_t>(width_) + static_cast<size_t>(column);
  }

  Output output_;
  const int width_;
  const int height_;
  const bool mono_;
  mutable std::recursive_mutex mutex_;  // the screen lock
  uint8_t current_;                     // guarded by mutex_
  std::vector<Cell> cells_;             // guarded by mutex_
  bool open_ = false;                   // guarded by mutex_
};

// The OEM text split into its characters as UTF-8 (one entry per screen cell).
[[nodiscard]] std::vector<std::string> oemGlyphs(const Str& text);

}  // namespace quillet
