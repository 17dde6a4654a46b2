// ConsoleScreen: cell model and ANSI output of the status display.
#include "server/display/ConsoleScreen.h"

#include <utility>

namespace quillet {
namespace {

// Unicode box characters that stand in for the OEM ones (0xDA, 0xBF, 0xC0, 0xD9, 0xC4, 0xB3).
constexpr const char* kTopLeft = "\u250C";
constexpr const char* kTopRight = "\u2510";
constexpr const char* kBottomLeft = "\u2514";
constexpr const char* kBottomRight = "\u2518";
constexpr const char* kHorizontal = "\u2500";
constexpr const char* kVertical = "\u2502";

// Console colour bits (blue 1, green 2, red 4) in ANSI order (red 1, green 2, blue 4).
int ansiColour(int consoleColour) {
  return ((consoleColour & 1) << 2) | (consoleColour & 2) | ((consoleColour & 4) >> 2);
}

}  // namespace

std::vector<std::string> oemGlyphs(const Str& text) {
  std::vector<std::string> glyphs;
  glyphs.reserve(static_cast<size_t>(text.length()));
  for (int i = 0; i < text.length(); ++i) {
    const unsigned char c = static_cast<unsigned char>(text.at(i));
    if (c < 0x20 || c == 0x7F) {
      // Control characters would act on the terminal (an ESC starts a sequence): blank.
      glyphs.emplace_back(" ");
    } else if (c < 0x80) {
      glyphs.emplace_back(1, static_cast<char>(c));
    } else {
      const char byte = static_cast<char>(c);
      glyphs.push_back(Str(&byte, 1).oemToAnsiCopy().toStd());
    }
  }
  return glyphs;
}

ConsoleScreen::ConsoleScreen(Output output, int width, int height, bool mono)
    : output_(std::move(output)),
      width_(width < 1 ? 1 : width),
      height_(height < 1 ? 1 : height),
      mono_(mono),
      current_(attributeByte(TextAttribute::Header, mono)),
      cells_(static_cast<size_t>(width_ * height_)) {}

ConsoleScreen::~ConsoleScreen() { close(); }

uint8_t ConsoleScreen::attributeByte(TextAttribute attribute, bool mono) {
  switch (attribute) {
    case TextAttribute::Header:
      return mono ? 0x07 : 0x30;
    case TextAttribute::Message:
      return mono ? 0x07 : 0x17;
    case TextAttribute::Frame:
      return mono ? 0x0F : 0x1F;
  }
  return 0x07;
}

std::string ConsoleScreen::sgrFor(uint8_t attributeByte) {
  const int foreground = attributeByte & 0x0F;
  const int background = (attributeByte >> 4) & 0x0F;
  const int fg = ((foreground & 8) ? 90 : 30) + ansiColour(foreground & 7);
  const int bg = ((background & 8) ? 100 : 40) + ansiColour(background & 7);
  return "\x1b[0;" + std::to_string(fg) + ";" + std::to_string(bg) + "m";
}

void ConsoleScreen::open() {
  std::lock_guard<std::recursive_mutex> guard(mutex_);
  if (open_) return;
  open_ = true;
  output_(kEnterSequence);
  current_ = attributeByte(TextAttribute::Header, mono_);
  clear();
}

void ConsoleScreen::close() {
  std::lock_guard<std::recursive_mutex> guard(mutex_);
  if (!open_) return;
  open_ = false;
  output_(kLeaveSequence);
}

void ConsoleScreen::select(TextAttribute attribute) {
  std::lock_guard<std::recursive_mutex> guard(mutex_);
  current_ = attributeByte(attribute, mono_);
}

void ConsoleScreen::clear() {
  std::lock_guard<std::recursive_mutex> guard(mutex_);
  for (Cell& each : cells_) each = Cell{" ", current_};
  output_(sgrFor(current_) + "\x1b[2J");
  for (int row = 0; row < height_; ++row) emitCells(row, 0, width_ - 1);
}

void ConsoleScreen::writeAt(int row, int column, const Str& text) {
  std::lock_guard<std::recursive_mutex> guard(mutex_);
  if (row < 0 || row >= height_ || column < 0 || column >= width_) return;
  int right = column - 1;
  for (const std::string& glyph : oemGlyphs(text)) {
    if (right + 1 >= width_) break;
    putGlyph(row, ++right, glyph);
  }
  if (right >= column) emitCells(row, column, right);
}

void ConsoleScreen::drawBox(int top, int left, int bottom, int right) {
  std::lock_guard<std::recursive_mutex> guard(mutex_);
  if (top < 0 || left < 0 || bottom >= height_ || right >= width_ || bottom <= top ||
      right <= left) {
    return;
  }
  putGlyph(top, left, kTopLeft);
  putGlyph(top, right, kTopRight);
  putGlyph(bottom, left, kBottomLeft);
  putGlyph(bottom, right, kBottomRight);
  for (int column = left + 1; column < right; ++column) {
    putGlyph(top, column, kHorizontal);
    putGlyph(bottom, column, kHorizontal);
  }
  for (int row = top + 1; row < bottom; ++row) {
    putGlyph(row, left, kVertical);
    putGlyph(row, right, kVertical);
  }
  emitCells(top, left, right);
  for (int row = top + 1; row < bottom; ++row) {
    emitCells(row, left, left);
    emitCells(row, right, right);
  }
  emitCells(bottom, left, right);
}

void ConsoleScreen::scrollUp(int top, int left, int bottom, int right) {
  std::lock_guard<std::recursive_mutex> guard(mutex_);
  if (top < 0) top = 0;
  if (left < 0) left = 0;
  if (bottom >= height_) bottom = height_ - 1;
  if (right >= width_) right = width_ - 1;
  if (bottom < top || right < left) return;
  for (int row = top; row < bottom; ++row) {
    for (int column = left; column <= right; ++column) cell(row, column) = cell(row + 1, column);
  }
  for (int column = left; column <= right; ++column) cell(bottom, column) = Cell{" ", current_};
  for (int row = top; row <= bottom; ++row) emitCells(row, left, right);
}

std::string ConsoleScreen::rowText(int row) const {
  std::lock_guard<std::recursive_mutex> guard(mutex_);
  std::string text;
  if (row < 0 || row >= height_) return text;
  for (int column = 0; column < width_; ++column) text += cell(row, column).glyph;
  return text;
}

uint8_t ConsoleScreen::cellAttribute(int row, int column) const {
  std::lock_guard<std::recursive_mutex> guard(mutex_);
  if (row < 0 || row >= height_ || column < 0 || column >= width_) return 0;
  return cell(row, column).attribute;
}

void ConsoleScreen::putGlyph(int row, int column, const std::string& glyph) {
  cell(row, column) = Cell{glyph, current_};
}

void ConsoleScreen::emitCells(int row, int left, int right) {
  if (!open_) return;
  std::string bytes = "\x1b[" + std::to_string(row + 1) + ";" + std::to_string(left + 1) + "H";
  int attribute = -1;
  for (int column = left; column <= right; ++column) {
    const Cell& each = cell(row, column);
    if (each.attribute != attribute) {
      attribute = each.attribute;
      bytes += sgrFor(each.attribute);
    }
    bytes += each.glyph;
  }
  output_(bytes);
}

}  // namespace quillet
