// The encoders of composed messages: exact forms where the bytes are the contract (line
// lengths, padding, the quoted-printable breaks and blanks, Q encoding) and round trips
// through the parser's decoders for any bytes fed in any pieces.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "decode/ContentDecoders.h"
#include "decode/ContentEncoders.h"

using namespace quillet;

namespace {

struct Lines final : LineSink {
  std::vector<std::string> lines;
  void line(std::string_view text) override { lines.emplace_back(text); }
};

std::string randomBytes(size_t n, unsigned seed) {
  std::mt19937 generator(seed);
  std::string out(n, '\0');
  for (char& c : out) c = static_cast<char>(generator() & 0xFF);
  return out;
}

// Feeds bytes to an encoder in pieces of growing odd sizes, so held groups cross pieces.
template <typename Encoder>
void feedInPieces(Encoder& encoder, const std::string& bytes) {
  size_t piece = 1;
  for (size_t i = 0; i < bytes.size(); i += piece, piece = piece * 2 + 1) {
    encoder.write(std::string_view(bytes).substr(i, piece));
  }
}

template <typename Decoder>
std::string decodeLines(const std::vector<std::string>& lines) {
  std::string out;
  StringSink sink(out);
  Decoder decoder(sink);
  for (const std::string& line : lines) decoder.line(line, true);
  decoder.finish();
  return out;
}

std::vector<std::string> quotedPrintable(std::string_view line) {
  std::vector<std::string> out;
  encodeQuotedPrintableLine(line, out);
  return out;
}

TEST(Base64Encoding, PadsGroupsAndWritesLinesOf76) {
  EXPECT_EQ(base64Encode(""), "");
  EXPECT_EQ(base64Encode("M"), "TQ==");
  EXPECT_EQ(base64Encode("Ma"), "TWE=");
  EXPECT_EQ(base64Encode("Man"), "TWFu");
  EXPECT_EQ(base64Encode(std::string("\xff\xfe\x00", 3)), "//4A");

  Lines out;
  Base64LineEncoder encoder(out);
  encoder.write(std::string(57 * 2 + 1, 'x'));  // two full lines and one byte
  encoder.finish();
  ASSERT_EQ(out.lines.size(), 3U);
  EXPECT_EQ(out.lines[0].size(), 76U);
  EXPECT_EQ(out.lines[1].size(), 76U);
  EXPECT_EQ(out.lines[2], "eA==");

  Lines none;
  Base64LineEncoder empty(none);
  empty.finish();
  EXPECT_TRUE(none.lines.empty());
}

TEST(Base64Encoding, AnyBytesInAnyPiecesDecodeBackExactly) {
  for (size_t size : {0U, 1U, 2U, 3U, 56U, 57U, 58U, 10000U, 69121U}) {
    const std::string bytes = randomBytes(size, static_cast<unsigned>(size));
    Lines out;
    Base64LineEncoder encoder(out);
    feedInPieces(encoder, bytes);
    encoder.finish();
    for (const std::string& line : out.lines) EXPECT_LE(line.size(), 76U);
    EXPECT_EQ(decodeLines<Base64Decoder>(out.lines), bytes) << size;
  }
}

TEST(UuEncoding, WritesLengthCharactersBackquotesForZeroAndTheEndLine) {
  Lines out;
  UuLineEncoder encoder(out);
  encoder.write("Cat");
  encoder.finish();
  EXPECT_EQ(out.lines, (std::vector<std::string>{"#0V%T", "`"}));

  Lines zeros;
  UuLineEncoder zeroEncoder(zeros);
  zeroEncoder.write(std::string(45, '\0'));
  zeroEncoder.write(std::string(14, '\0'));  // a last line whose length character is "."
  zeroEncoder.finish();
  ASSERT_EQ(zeros.lines.size(), 3U);
  EXPECT_EQ(zeros.lines[0], "M" + std::string(60, '`'));
  EXPECT_EQ(zeros.lines[1], "." + std::string(20, '`'));
  EXPECT_EQ(zeros.lines[2], "`");
}

TEST(UuEncoding, AnyBytesInAnyPiecesDecodeBackExactly) {
  for (size_t size : {1U, 44U, 45U, 46U, 90U, 5000U}) {
    const std::string bytes = randomBytes(size, static_cast<unsigned>(size) + 7);
    Lines out;
    UuLineEncoder encoder(out);
    feedInPieces(encoder, bytes);
    encoder.finish();
    for (size_t i = 0; i + 1 < out.lines.size(); ++i) EXPECT_LE(out.lines[i].size(), 61U);
    out.lines.emplace_back("end");
    EXPECT_EQ(decodeLines<UuDecoder>(out.lines), bytes) << size;
  }
}

TEST(QuotedPrintable, EncodesByTheByteRules) {
  EXPECT_EQ(quotedPrintable(""), std::vector<std::string>{""});
  EXPECT_EQ(quotedPrintable("a=b"), std::vector<std::string>{"a=3Db"});
  EXPECT_EQ(quotedPrintable("Gr\xfc\xdf"
                            "e"),
            std::vector<std::string>{"Gr=FC=DFe"});
  EXPECT_EQ(quotedPrintable("tab\there"), std::vector<std::string>{"tab\there"});
  // A blank or TAB at the end of the line would be lost as transport padding.
  EXPECT_EQ(quotedPrintable("ends in a blank "), std::vector<std::string>{"ends in a blank=20"});
  EXPECT_EQ(quotedPrintable("ends in a tab\t"), std::vector<std::string>{"ends in a tab=09"});
  EXPECT_EQ(quotedPrintable("."), std::vector<std::string>{"."});
  EXPECT_EQ(quotedPrintable(std::string("nul\0", 4)), std::vector<std::string>{"nul=00"});
}

TEST(QuotedPrintable, BreaksLongLinesAtTheLastBlankOrAtTheLimit) {
  // 70 letters, a blank, 10 letters: broken after the blank.
  const std::string words = std::string(70, 'a') + " " + std::string(10, 'b');
  EXPECT_EQ(quotedPrintable(words),
            (std::vector<std::string>{std::string(70, 'a') + " =", std::string(10, 'b')}));
  // No blank: 75 characters and a soft break.
  EXPECT_EQ(quotedPrintable(std::string(80, 'c')),
            (std::vector<std::string>{std::string(75, 'c') + "=", std::string(5, 'c')}));
  // An "=XX" that would cross the limit moves to the next piece whole.
  const std::string escaped = std::string(74, 'd') + "\xe9" + "e";
  EXPECT_EQ(quotedPrintable(escaped),
            (std::vector<std::string>{std::string(74, 'd') + "=", "=E9e"}));
}

TEST(QuotedPrintable, EveryPieceFitsAndDecodesBackToTheLine) {
  std::mt19937 generator(5);
  for (int round = 0; round < 200; ++round) {
    std::string line(generator() % 400, ' ');
    for (char& c : line) {
      const unsigned pick = generator() % 10;
      c = pick < 2 ? ' ' : pick < 3 ? static_cast<char>(generator() & 0xFF) : 'a' + pick;
    }
    if (line.find_first_of("\r\n") != std::string::npos) continue;  // one line only
    const std::vector<std::string> pieces = quotedPrintable(line);
    for (const std::string& piece : pieces) EXPECT_LE(piece.size(), 76U) << piece;
    EXPECT_EQ(decodeLines<QuotedPrintableDecoder>(pieces), line);
  }
}

TEST(QEncoding, KeepsOnlyLettersDigitsAndThePhraseSafeCharacters) {
  EXPECT_EQ(encodeQ("Abc09!*+-/"), "Abc09!*+-/");
  EXPECT_EQ(encodeQ("a b_c=d?e"), "a=20b=5Fc=3Dd=3Fe");
  EXPECT_EQ(encodeQ("M\xc3\xbcller"), "M=C3=BCller");
  EXPECT_EQ(encodedQLength('a'), 1U);
  EXPECT_EQ(encodedQLength(' '), 3U);
}

}  // namespace
