// Streaming decoders for the transfer encodings of message bodies: base64, quoted-printable,
// uuencode, and plain copying of lines. Each takes the body line by line (segments of
// over-long lines included, see LineReader.h) and writes the decoded bytes to a sink as it
// goes, so a part of any size is decoded with a fixed amount of memory.
//
// Line breaks: the copying and quoted-printable decoders write CR LF between lines, not
// after the last one (the line break before a MIME delimiter belongs to the delimiter).
// They do not know about MIME boundaries or files: the caller feeds only the part's lines.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "decode/LineReader.h"

namespace quillet {

// Where decoded bytes go.
class ByteSink {
 public:
  virtual ~ByteSink() = default;
  virtual void write(const char* data, size_t n) = 0;
  void write(std::string_view text) { write(text.data(), text.size()); }
};

// Appends to a string (short texts such as encoded words).
class StringSink final : public ByteSink {
 public:
  explicit StringSink(std::string& out) : out_(out) {}
  void write(const char* data, size_t n) override { out_.append(data, n); }

 private:
  std::string& out_;
};

class ContentDecoder {
 public:
  explicit ContentDecoder(ByteSink& sink) : sink_(sink) {}
  virtual ~ContentDecoder() = default;
  // Takes the next line (or segment) of the content.
  virtual void line(const Line& line) = 0;
  void line(std::string_view text, bool endsLine = true) { line(Line{text, true, endsLine}); }
  // Writes what is still held back; call once after the last line.
  virtual void finish() {}

 protected:
  ByteSink& sink_;
};

// 7bit, 8bit, binary and unknown encodings: the lines as they are.
class CopyDecoder final : public ContentDecoder {
 public:
  using ContentDecoder::ContentDecoder;
  using ContentDecoder::line;
  void line(const Line& line) override;

 private:
  bool breakPending_ = false;
};

// Characters outside the base64 alphabet are skipped; four alphabet characters give up to
// three bytes; "=" ends the data. A group cut by a line end is completed on the next line.
class Base64Decoder final : public ContentDecoder {
 public:
  using ContentDecoder::ContentDecoder;
  using ContentDecoder::line;
  void line(const Line& line) override;
  void finish() override;

 private:
  void flushGroup();

  unsigned char group_[4] = {};
  int filled_ = 0;
  bool ended_ = false;
  char out_[3 * 1024] = {};
  size_t outFill_ = 0;
};

// "=" and two hexadecimal digits (either case) give that byte; "=" at the end of a line
// joins it with the next (soft line break); any other "=" is copied. Blanks and TABs at
// the end of a line are transport padding and dropped (RFC 2045 section 6.7).
class QuotedPrintableDecoder final : public ContentDecoder {
 public:
  using ContentDecoder::ContentDecoder;
  using ContentDecoder::line;
  void line(const Line& line) override;
  void finish() override;

 private:
  void decode(std::string_view text);

  bool breakPending_ = false;
  std::string carry_;  // "=" or "=X" cut off by the end of a segment (at most 2 bytes)
};

// Classic uuencoding: the first character of a line gives its byte count, then groups of
// four characters give three bytes. "begin" lines are skipped, "end" ends the data.
// Segments of over-long lines are not uuencoded data and are ignored.
class UuDecoder final : public ContentDecoder {
 public:
  using ContentDecoder::ContentDecoder;
  using ContentDecoder::line;
  void line(const Line& line) override;
  bool ended() const { return ended_; }

 private:
  bool ended_ = false;
};

// The value of a hexadecimal digit (either case), -1 for any other character.
[[nodiscard]] int hexDigitValue(char c);

// True for the line that ends a uuencoded block ("end", trailing blanks allowed).
[[nodiscard]] bool isUuEndLine(std::string_view text);

}  // namespace quillet
