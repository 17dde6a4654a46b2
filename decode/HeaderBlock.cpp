// Header block collection and unfolding, and the field-name helpers (see HeaderBlock.h).
#include "decode/HeaderBlock.h"

#include <cctype>

namespace quillet {
namespace {

char lower(char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); }

std::string cleaned(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c == '\t' || c == '\r' || c == '\n' || c == '\0') c = ' ';
  }
  return out;
}

}  // namespace

bool equalsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

bool startsWithNoCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && equalsNoCase(text.substr(0, prefix.size()), prefix);
}

size_t findNoCase(std::string_view text, std::string_view needle) {
  if (needle.size() > text.size()) return std::string_view::npos;
  for (size_t i = 0; i + needle.size() <= text.size(); ++i) {
    if (equalsNoCase(text.substr(i, needle.size()), needle)) return i;
  }
  return std::string_view::npos;
}

std::string_view trimBlanks(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

bool matchField(std::string_view line, std::string_view name, std::string_view& value) {
  if (!startsWithNoCase(line, name)) return false;
  size_t pos = name.size();
  while (pos < line.size() && (line[pos] == ' ' || line[pos] == '\t')) ++pos;
  if (pos >= line.size() || line[pos] != ':') return false;
  value = line.substr(pos + 1);
  return true;
}

std::string_view fieldName(std::string_view line) {
  size_t colon = line.find(':');
  if (colon == std::string_view::npos) return {};
  return trimBlanks(line.substr(0, colon));
}

void HeaderBlock::appendToLast(std::string_view text) {
  if (dropping_ || lines_.empty()) return;
  std::string& last = lines_.back();
  size_t room = last.size() < kMaxLineLength ? kMaxLineLength - last.size() : 0;
  if (bytes_ + text.size() > maxBytes_) room = 0;
  if (text.size() > room) text = text.substr(0, room);
  last += text;
  bytes_ += text.size();
}

bool HeaderBlock::add(const Line& line) {
  if (!line.startsLine) {
    appendToLast(cleaned(line.text));
    return true;
  }
  if (line.text.empty()) return false;
  std::string text = cleaned(line.text);
  if (any_ && text[0] == ' ') {
    size_t start = text.find_first_not_of(' ');
    std::string_view rest =
        start == std::string::npos ? std::string_view() : std::string_view(text).substr(start);
    if (!lines_.empty() && !dropping_ && startsWithNoCase(lines_.back(), "Received:"))
      appendToLast(" ");
    appendToLast(rest);
    return true;
  }
  any_ = true;
  if (lines_.size() >= maxLines_ || bytes_ + text.size() > maxBytes_) {
    dropping_ = true;
    return true;
  }
  dropping_ = false;
  if (text.size() > kMaxLineLength) text.resize(kMaxLineLength);
  bytes_ += text.size();
  lines_.push_back(std::move(text));
  return true;
}

}  // namespace quillet
