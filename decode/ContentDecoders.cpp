// Base64, quoted-printable, uuencode and copy decoders (see ContentDecoders.h).
#include "decode/ContentDecoders.h"

#include "decode/HeaderBlock.h"

namespace quillet {
namespace {

int base64Value(unsigned char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

}  // namespace

int hexDigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// --- copy ---

void CopyDecoder::line(const Line& line) {
  if (breakPending_ && line.startsLine) sink_.write("\r\n", 2);
  sink_.write(line.text);
  breakPending_ = line.endsLine;
}

// --- base64 ---

void Base64Decoder::flushGroup() {
  if (filled_ >= 2) out_[outFill_++] = static_cast<char>(group_[0] << 2 | group_[1] >> 4);
  if (filled_ >= 3) out_[outFill_++] = static_cast<char>(group_[1] << 4 | group_[2] >> 2);
  if (filled_ >= 4) out_[outFill_++] = static_cast<char>(group_[2] << 6 | group_[3]);
  filled_ = 0;
}

void Base64Decoder::line(const Line& line) {
  if (ended_) return;
  for (char c : line.text) {
    if (c == '=') {
      // Padding: what the incomplete group holds is the last of the data.
      flushGroup();
      ended_ = true;
      break;
    }
    int value = base64Value(static_cast<unsigned char>(c));
    if (value < 0) continue;
    group_[filled_++] = static_cast<unsigned char>(value);
    if (filled_ == 4) {
      flushGroup();
      if (outFill_ + 3 > sizeof out_) {
        sink_.write(out_, outFill_);
        outFill_ = 0;
      }
    }
  }
  if (outFill_ > 0) {
    sink_.write(out_, outFill_);
    outFill_ = 0;
  }
}

void Base64Decoder::finish() {
  if (!ended_) flushGroup();  // data that ended without padding
  ended_ = true;
  if (outFill_ > 0) sink_.write(out_, outFill_);
  outFill_ = 0;
}

// --- quoted-printable ---

void QuotedPrintableDecoder::decode(std::string_view text) {
  size_t runStart = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '=' || i + 2 >= text.size() || hexDigitValue(text[i + 1]) < 0 ||
        hexDigitValue(text[i + 2]) < 0)
      continue;
    sink_.write(text.data() + runStart, i - runStart);
    char byte = static_cast<char>(hexDigitValue(text[i + 1]) * 16 + hexDigitValue(text[i + 2]));
    sink_.write(&byte, 1);
    i += 2;
    runStart = i + 1;
  }
  sink_.write(text.data() + runStart, text.size() - runStart);
}

void QuotedPrintableDecoder::line(const Line& line) {
  if (breakPending_ && line.startsLine) sink_.write("\r\n", 2);
  breakPending_ = false;
  std::string joined;
  std::string_view text = line.text;
  if (!carry_.empty()) {
    joined = carry_ + std::string(text);
    carry_.clear();
    text = joined;
  }
  if (!line.endsLine) {
    // Keep a cut escape for the next segment.
    size_t keep = 0;
    if (!text.empty() && text.back() == '=')
      keep = 1;
    else if (text.size() >= 2 && text[text.size() - 2] == '=' && hexDigitValue(text.back()) >= 0)
      keep = 2;
    carry_.assign(text.substr(text.size() - keep));
    decode(text.substr(0, text.size() - keep));
    return;
  }
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  if (!text.empty() && text.back() == '=') {
    decode(text.substr(0, text.size() - 1));  // soft line break: no CR LF
    return;
  }
  decode(text);
  breakPending_ = true;
}

void QuotedPrintableDecoder::finish() {
  if (!carry_.empty()) sink_.write(carry_);
  carry_.clear();
}

// --- uuencode ---

bool isUuEndLine(std::string_view text) {
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text == "end";
}

void UuDecoder::line(const Line& line) {
  if (ended_ || !line.startsLine) return;
  std::string_view text = line.text;
  if (isUuEndLine(text)) {
    ended_ = true;
    return;
  }
  if (text.empty() || startsWithNoCase(text, "begin ")) return;
  size_t count = static_cast<size_t>((static_cast<unsigned char>(text[0]) - 32) & 63);
  char out[64];
  size_t produced = 0;
  // Missing characters count as zero bits: some encoders drop trailing blanks.
  auto sextet = [&](size_t pos) {
    return pos < text.size() ? (static_cast<unsigned char>(text[pos]) - 32) & 63 : 0;
  };
  for (size_t pos = 1; produced < count; pos += 4) {
    int a = sextet(pos), b = sextet(pos + 1), c = sextet(pos + 2), d = sextet(pos + 3);
    char bytes[3] = {static_cast<char>(a << 2 | b >> 4), static_cast<char>(b << 4 | c >> 2),
                     static_cast<char>(c << 6 | d)};
    for (char byte : bytes) {
      if (produced < count) out[produced++] = byte;
    }
  }
  sink_.write(out, produced);
}

}  // namespace quillet
