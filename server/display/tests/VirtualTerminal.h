// A small model of a VT100/ANSI terminal of W x H cells for the display tests: it follows
// the sequences the screen sends (cursor position, colours, erase, alternate screen,
// cursor visibility) and fails the test on any other sequence, so what the tests read
// back is what a real terminal would show.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

namespace quillet::testing {

class VirtualTerminal {
 public:
  VirtualTerminal(int width, int height)
      : width_(width),
        height_(height),
        cells_(static_cast<size_t>(width * height), " "),
        colours_(static_cast<size_t>(width * height), "") {}

  void feed(std::string_view bytes) {
    size_t i = 0;
    while (i < bytes.size()) {
      const unsigned char c = static_cast<unsigned char>(bytes[i]);
      if (c == 0x1b) {
        i = sequence(bytes, i);
        continue;
      }
      ADD_FAILURE_IF(c < 0x20, "control byte " + std::to_string(c) + " sent to the terminal");
      size_t length = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
      put(std::string(bytes.substr(i, length)));
      i += length;
    }
  }

  std::string row(int r) const {
    std::string text;
    for (int c = 0; c < width_; ++c) text += cells_[index(r, c)];
    return text;
  }
  // The SGR parameters in force when the cell was written, e.g. "0;30;46".
  const std::string& colour(int r, int c) const { return colours_[index(r, c)]; }
  bool alternateScreen() const { return alternate_; }
  bool cursorVisible() const { return cursorVisible_; }

 private:
  static void ADD_FAILURE_IF(bool failed, const std::string& what) {
    if (failed) ADD_FAILURE() << what;
  }
  size_t index(int r, int c) const {
    return static_cast<size_t>(r) * static_cast<size_t>(width_) + static_cast<size_t>(c);
  }

  void put(const std::string& glyph) {
    if (row_ < 0 || row_ >= height_ || column_ < 0 || column_ >= width_) {
      ADD_FAILURE() << "write outside the screen at " << row_ << "," << column_;
      return;
    }
    cells_[index(row_, column_)] = glyph;
    colours_[index(row_, column_)] = sgr_;
    if (column_ < width_ - 1) ++column_;
  }

  size_t sequence(std::string_view bytes, size_t i) {
    if (i + 1 >= bytes.size() || bytes[i + 1] != '[') {
      ADD_FAILURE() << "unexpected escape";
      return i + 1;
    }
    size_t end = i + 2;
    while (end < bytes.size() && !(bytes[end] >= 0x40 && bytes[end] <= 0x7E)) ++end;
    if (end >= bytes.size()) {
      ADD_FAILURE() << "unterminated sequence";
      return end;
    }
    const std::string parameters(bytes.substr(i + 2, end - i - 2));
    switch (bytes[end]) {
      case 'H': {
        const size_t semicolon = parameters.find(';');
        row_ = std::stoi(parameters.substr(0, semicolon)) - 1;
        column_ = std::stoi(parameters.substr(semicolon + 1)) - 1;
        break;
      }
      case 'm':
        sgr_ = parameters;
        break;
      case 'J':
        EXPECT_EQ(parameters, "2");
        for (size_t k = 0; k < cells_.size(); ++k) {
          cells_[k] = " ";
          colours_[k] = sgr_;
        }
        break;
      case 'h':
      case 'l':
        if (parameters == "?1049") {
          alternate_ = bytes[end] == 'h';
        } else if (parameters == "?25") {
          cursorVisible_ = bytes[end] == 'h';
        } else {
          ADD_FAILURE() << "unexpected mode " << parameters;
        }
        break;
      default:
        ADD_FAILURE() << "unexpected sequence " << parameters << bytes[end];
    }
    return end + 1;
  }

  int width_, height_;
  std::vector<std::string> cells_;
  std::vector<std::string> colours_;
  int row_ = 0, column_ = 0;
  std::string sgr_;
  bool alternate_ = false;
  bool cursorVisible_ = true;
};

}  // namespace quillet::testing
