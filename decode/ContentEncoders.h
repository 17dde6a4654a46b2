// Encoders for the transfer encodings of composed messages, the counterparts of
// ContentDecoders.h: base64 and uuencode of any amount of bytes in lines (streamed, fixed
// memory), quoted-printable of one text line, the Q encoding of RFC 2047 encoded words,
// and base64 of a short text in one line (protocol arguments).
//
// Encoders hand out lines without line ends; writing them (CR LF, dot-stuffing) is the
// caller's business. They accept any bytes, NUL and 8-bit included.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace quillet {

// Where encoded lines go.
class LineSink {
 public:
  virtual ~LineSink() = default;
  virtual void line(std::string_view text) = 0;
};

// RFC 2045 base64 ("=" padding) in lines of kLineLength characters, the last one shorter.
class Base64LineEncoder {
 public:
  static constexpr size_t kLineLength = 76;

  explicit Base64LineEncoder(LineSink& sink) : sink_(sink) {}
  void write(std::string_view bytes);
  // Pads the last group and hands out the last line; nothing for no bytes at all.
  void finish();

 private:
  void group(const unsigned char* bytes, size_t n);

  LineSink& sink_;
  unsigned char held_[3] = {};
  size_t heldCount_ = 0;
  std::string line_;
};

// Classic uuencode: each line is a length character and up to kBytesPerLine bytes as four
// characters per three (60 characters for a full line); the value 0 is written as a
// backquote. finish() ends the data with a line holding a single backquote; the "begin"
// and "end" lines are the caller's.
class UuLineEncoder {
 public:
  static constexpr size_t kBytesPerLine = 45;

  explicit UuLineEncoder(LineSink& sink) : sink_(sink) {}
  void write(std::string_view bytes);
  void finish();

 private:
  void emit(std::string_view bytes);

  LineSink& sink_;
  std::string held_;  // less than kBytesPerLine bytes
};

// One text line in quoted-printable: bytes 33 to 60 and 62 to 126 as they are, TAB and
// blank as they are except at the end of the line, every other byte as "=" and two
// upper-case hexadecimal digits. An encoded line longer than kQuotedPrintableLineLength
// is broken after the last blank before that limit, or else at the limit (never inside an
// "=XX"), each broken piece ending in "=" (soft line break). Appends the pieces to out.
inline constexpr size_t kQuotedPrintableLineLength = 75;
void encodeQuotedPrintableLine(std::string_view line, std::vector<std::string>& out);

// The Q encoding of RFC 2047 for text in a phrase or an unstructured field: letters,
// digits and "!*+-/" as they are, every other byte (blank included) as "=" and two
// upper-case hexadecimal digits.
[[nodiscard]] std::string encodeQ(std::string_view bytes);
// The length encodeQ gives one byte: 1 or 3.
[[nodiscard]] size_t encodedQLength(unsigned char byte);

// Base64 of bytes in one line, without line breaks.
[[nodiscard]] std::string base64Encode(std::string_view bytes);

}  // namespace quillet
