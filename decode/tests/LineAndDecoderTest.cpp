// The bounded line reader (line ends, dot-unstuffing, segments of over-long lines) and the
// streaming decoders fed with segments.
#include <gtest/gtest.h>

#include <vector>

#include "decode/ContentDecoders.h"
#include "decode/LineReader.h"

using namespace quillet;

namespace {

struct Piece {
  std::string text;
  bool startsLine, endsLine;
  bool operator==(const Piece& other) const {
    return text == other.text && startsLine == other.startsLine && endsLine == other.endsLine;
  }
};

std::vector<Piece> readAllLines(const std::string& bytes, bool wireForm) {
  MemoryByteSource source(bytes);
  LineReader reader(source, wireForm);
  std::vector<Piece> out;
  Line line;
  while (reader.next(line))
    out.push_back(Piece{std::string(line.text), line.startsLine, line.endsLine});
  return out;
}

void decodeAll(ContentDecoder& decoder, std::initializer_list<Line> lines) {
  for (const Line& line : lines) decoder.line(line);
  decoder.finish();
}

}  // namespace

TEST(LineReader, SplitsAtLfDropsCrAndUndoesDotStuffing) {
  std::vector<Piece> lines = readAllLines("a\r\nb\n\r\n..c\r\n.\r\nd\re\r\nlast", true);
  std::vector<Piece> expected = {{"a", true, true},  {"b", true, true},    {"", true, true},
                                 {".c", true, true}, {"d\re", true, true}, {"last", true, true}};
  EXPECT_EQ(lines, expected);
  EXPECT_EQ(readAllLines("..c\r\n.\r\n", false),
            (std::vector<Piece>{{"..c", true, true}, {".", true, true}}));
}

TEST(LineReader, CutsOverLongLinesIntoMarkedSegments) {
  const size_t max = LineReader::kMaxSegment;
  std::string longLine = std::string(max, 'x') + std::string(max, 'y') + "z";
  std::vector<Piece> lines = readAllLines(longLine + "\r\n..next\r\n", true);
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[0], (Piece{std::string(max, 'x'), true, false}));
  EXPECT_EQ(lines[1], (Piece{std::string(max, 'y'), false, false}));
  EXPECT_EQ(lines[2], (Piece{"z", false, true}));
  EXPECT_EQ(lines[3], (Piece{".next", true, true}));
  // A CR at the cut stays with its LF; a segment is never dot-unstuffed.
  std::string crAtCut = std::string(max - 1, 'x') + "\r\n";
  EXPECT_EQ(readAllLines(crAtCut, true),
            (std::vector<Piece>{{std::string(max - 1, 'x'), true, true}}));
  std::string dots = std::string(max, 'x') + "..";
  EXPECT_EQ(readAllLines(dots, true),
            (std::vector<Piece>{{std::string(max, 'x'), true, false}, {"..", false, true}}));
  // Input ending exactly at a cut still closes the line.
  EXPECT_EQ(readAllLines(std::string(max, 'q'), true),
            (std::vector<Piece>{{std::string(max, 'q'), true, false}, {"", false, true}}));
}

TEST(QuotedPrintable, EscapesCutBetweenSegmentsAreJoined) {
  std::string out;
  StringSink sink(out);
  QuotedPrintableDecoder decoder(sink);
  decodeAll(decoder, {Line{"a=4", true, false}, Line{"1b=", false, false}, Line{"42c", false, true},
                      Line{"next=  ", true, true}, Line{"x", true, true}});
  EXPECT_EQ(out, "aAbBc\r\nnextx");
}

TEST(QuotedPrintable, DanglingEqualsAtTheEndIsKept) {
  std::string out;
  StringSink sink(out);
  QuotedPrintableDecoder decoder(sink);
  decodeAll(decoder, {Line{"tail=4", true, false}});
  EXPECT_EQ(out, "tail=4");
}

TEST(Base64, UnpaddedEndAndGarbageBetweenCharacters) {
  std::string out;
  StringSink sink(out);
  Base64Decoder decoder(sink);
  decodeAll(decoder, {Line{"SG", true, true}, Line{"k!@#", true, true}});
  EXPECT_EQ(out, "Hi");
}

TEST(CopyDecoder, JoinsSegmentsAndPutsBreaksOnlyBetweenLines) {
  std::string out;
  StringSink sink(out);
  CopyDecoder decoder(sink);
  decodeAll(decoder, {Line{"ab", true, false}, Line{"cd", false, true}, Line{"", true, true},
                      Line{"e", true, true}});
  EXPECT_EQ(out, "abcd\r\n\r\ne");
}

TEST(UuDecoder, StopsAtEndAndIgnoresSegments) {
  std::string out;
  StringSink sink(out);
  UuDecoder decoder(sink);
  decodeAll(decoder,
            {Line{"begin 644 x", true, true}, Line{"#0V%T", true, false},
             Line{"#0V%T", false, true}, Line{"end", true, true}, Line{"#0V%T", true, true}});
  EXPECT_EQ(out, "Cat");
  EXPECT_TRUE(decoder.ended());
}
