// Base64, uuencode, quoted-printable and Q encoders (see ContentEncoders.h).
#include "decode/ContentEncoders.h"

#include <algorithm>
#include <cstdint>

namespace quillet {
namespace {

constexpr char kBase64Alphabet[] =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr char kHexDigits[] = "0123456789ABCDEF";

// Three bytes (n of them real, 1 to 3) as four base64 characters with "=" padding.
void appendBase64Group(const unsigned char* bytes, size_t n, std::string& out) {
  const uint32_t value = (uint32_t{bytes[0]} << 16) | (n > 1 ? uint32_t{bytes[1]} << 8 : 0) |
                         (n > 2 ? uint32_t{bytes[2]} : 0);
  out += kBase64Alphabet[(value >> 18) & 63];
  out += kBase64Alphabet[(value >> 12) & 63];
  out += n > 1 ? kBase64Alphabet[(value >> 6) & 63] : '=';
  out += n > 2 ? kBase64Alphabet[value & 63] : '=';
}

void appendHexEscape(unsigned char byte, std::string& out) {
  out += '=';
  out += kHexDigits[byte >> 4];
  out += kHexDigits[byte & 15];
}

char uuCharacter(uint32_t value) { return value == 0 ? '`' : static_cast<char>(value + 32); }

bool isQuotedPrintableLiteral(unsigned char c) {
  return (c >= 33 && c <= 60) || (c >= 62 && c <= 126);
}

bool isQLiteral(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '!' ||
         c == '*' || c == '+' || c == '-' || c == '/';
}

}  // namespace

// --- base64 ---

void Base64LineEncoder::group(const unsigned char* bytes, size_t n) {
  appendBase64Group(bytes, n, line_);
  if (line_.size() >= kLineLength) {
    sink_.line(line_);
    line_.clear();
  }
}

void Base64LineEncoder::write(std::string_view bytes) {
  const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
  size_t i = 0;
  while (heldCount_ > 0 && heldCount_ < 3 && i < bytes.size()) held_[heldCount_++] = data[i++];
  if (heldCount_ == 3) {
    group(held_, 3);
    heldCount_ = 0;
  }
  for (; i + 3 <= bytes.size(); i += 3) group(data + i, 3);
  while (i < bytes.size()) held_[heldCount_++] = data[i++];
}

void Base64LineEncoder::finish() {
  if (heldCount_ > 0) group(held_, heldCount_);
  heldCount_ = 0;
  if (!line_.empty()) sink_.line(line_);
  line_.clear();
}

std::string base64Encode(std::string_view bytes) {
  std::string out;
  const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
  for (size_t i = 0; i < bytes.size(); i += 3) {
    appendBase64Group(data + i, bytes.size() - i < 3 ? bytes.size() - i : 3, out);
  }
  return out;
}

// --- uuencode ---

void UuLineEncoder::emit(std::string_view bytes) {
  std::string line(1, uuCharacter(static_cast<uint32_t>(bytes.size())));
  for (size_t i = 0; i < bytes.size(); i += 3) {
    const auto byte = [&](size_t k) {
      return k < bytes.size() ? static_cast<uint32_t>(static_cast<unsigned char>(bytes[k])) : 0;
    };
    const uint32_t value = (byte(i) << 16) | (byte(i + 1) << 8) | byte(i + 2);
    for (int shift = 18; shift >= 0; shift -= 6) line += uuCharacter((value >> shift) & 63);
  }
  sink_.line(line);
}

void UuLineEncoder::write(std::string_view bytes) {
  if (!held_.empty()) {
    const size_t take = std::min(kBytesPerLine - held_.size(), bytes.size());
    held_.append(bytes.substr(0, take));
    bytes.remove_prefix(take);
    if (held_.size() < kBytesPerLine) return;
    emit(held_);
    held_.clear();
  }
  while (bytes.size() >= kBytesPerLine) {
    emit(bytes.substr(0, kBytesPerLine));
    bytes.remove_prefix(kBytesPerLine);
  }
  held_.assign(bytes);
}

void UuLineEncoder::finish() {
  if (!held_.empty()) emit(held_);
  held_.clear();
  sink_.line("`");
}

// --- quoted-printable ---

void encodeQuotedPrintableLine(std::string_view line, std::vector<std::string>& out) {
  std::string piece;
  for (size_t i = 0; i < line.size(); ++i) {
    const auto c = static_cast<unsigned char>(line[i]);
    std::string token;
    const bool last = i + 1 == line.size();
    if (isQuotedPrintableLiteral(c) || ((c == ' ' || c == '\t') && !last)) {
      token.assign(1, static_cast<char>(c));
    } else {
      appendHexEscape(c, token);
    }
    // Room for the soft break "=" stays on every broken piece.
    while (piece.size() + token.size() > kQuotedPrintableLineLength) {
      const size_t blank = piece.find_last_of(" \t");
      if (blank != std::string::npos) {
        out.push_back(piece.substr(0, blank + 1) + "=");
        piece.erase(0, blank + 1);
      } else {
        out.push_back(piece + "=");
        piece.clear();
      }
    }
    piece += token;
  }
  out.push_back(piece);
}

// --- Q encoding ---

size_t encodedQLength(unsigned char byte) { return isQLiteral(byte) ? 1 : 3; }

std::string encodeQ(std::string_view bytes) {
  std::string out;
  for (char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    if (isQLiteral(byte)) {
      out += c;
    } else {
      appendHexEscape(byte, out);
    }
  }
  return out;
}

}  // namespace quillet
