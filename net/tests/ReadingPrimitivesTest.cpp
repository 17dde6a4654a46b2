// The pure pieces under the readers: line cutting with its cap, the dot terminator scan
// across arbitrary splits, the slice count, and trace formatting.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "net/DotTerminator.h"
#include "net/ReadBuffer.h"
#include "net/SliceWait.h"
#include "net/Trace.h"

namespace quillet {
namespace {

void fill(ReadBuffer& buffer, std::string_view bytes) {
  int room = 0;
  char* space = buffer.space(room);
  ASSERT_GE(room, static_cast<int>(bytes.size()));
  std::memcpy(space, bytes.data(), bytes.size());
  buffer.commit(static_cast<int>(bytes.size()));
}

TEST(TakeLine, CutsLinesAndKeepsTheRestBuffered) {
  ReadBuffer buffer;
  fill(buffer, "+OK a\r\nsecond\nstill\r\nrest");
  Str line;
  EXPECT_EQ(takeLine(buffer, line, 100), LineScan::Complete);
  EXPECT_STREQ(line.c_str(), "+OK a");
  line = Str();
  EXPECT_EQ(takeLine(buffer, line, 100), LineScan::Complete);
  EXPECT_STREQ(line.c_str(), "second\nstill");  // a lone LF does not end a line
  line = Str();
  EXPECT_EQ(takeLine(buffer, line, 100), LineScan::NeedMore);
  EXPECT_STREQ(line.c_str(), "rest");
  EXPECT_TRUE(buffer.empty());
}

TEST(TakeLine, CompletesAcrossPiecesAndDropsZeroBytes) {
  ReadBuffer buffer;
  Str line;
  const std::string wire("a\0b\r\0\nX", 7);
  for (char c : wire) {
    fill(buffer, std::string_view(&c, 1));
    if (takeLine(buffer, line, 100) == LineScan::Complete) break;
  }
  EXPECT_EQ(line.length(), 2);
  EXPECT_STREQ(line.c_str(), "ab");
}

TEST(TakeLine, RefusesLinesOverTheCapAtTheBoundary) {
  ReadBuffer buffer;
  Str line;
  fill(buffer, std::string(10, 'x') + "\r\n");
  EXPECT_EQ(takeLine(buffer, line, 10), LineScan::Complete);
  EXPECT_EQ(line.length(), 10);

  line = Str();
  fill(buffer, std::string(11, 'x') + "\r\n");
  EXPECT_EQ(takeLine(buffer, line, 10), LineScan::TooLong);
  EXPECT_TRUE(line.empty());

  // Without any line end the cap stops the growth after cap + 1 bytes.
  ReadBuffer endless;
  line = Str();
  fill(endless, std::string(12, 'y'));
  EXPECT_EQ(takeLine(endless, line, 10), LineScan::TooLong);
}

struct TerminatorCase {
  const char* bytes;
  int end;  // bytes up to the end of the "." line, -1 when not ended
};

TEST(DotTerminator, FindsTheEndOfTheBlockAtEverySplit) {
  const TerminatorCase cases[] = {
      {".\r\n", 3},
      {"a\r\n.\r\nnext", 6},
      {"..\r\nb\r\n.\r\n", 10},  // dot-stuffed line first
      {"a.\r\n.x\r\n", -1},
      {"a\r\n. \r\n", -1},
      {"a\n.\r\nz", 5},  // LF alone ends a line too
      {"x\r\n.\r.\r\n", -1},
  };
  for (const TerminatorCase& c : cases) {
    const int length = static_cast<int>(std::strlen(c.bytes));
    for (int split = 0; split <= length; ++split) {
      DotTerminator scanner;
      const int first = scanner.scan(c.bytes, split);
      int end = first;
      if (first < 0) {
        const int second = scanner.scan(c.bytes + split, length - split);
        end = second < 0 ? -1 : split + second;
      }
      EXPECT_EQ(end, c.end) << c.bytes << " split at " << split;
    }
  }
}

TEST(SliceWait, CountsSlicesByTheTimeOutRule) {
  EXPECT_EQ(slicesFor(0), 1);
  EXPECT_EQ(slicesFor(5000), 1);
  EXPECT_EQ(slicesFor(10999), 1);
  EXPECT_EQ(slicesFor(11000), 1);
  EXPECT_EQ(slicesFor(25000), 2);
  EXPECT_EQ(slicesFor(60000), 6);
  EXPECT_EQ(slicesFor(300000), 30);
}

TEST(TraceLine, MarksDirectionPrefixesIdAndMasksPasswords) {
  EXPECT_EQ(formatTraceLine(12, TraceDirection::Sent, "USER bob", false, true), "12: > USER bob");
  EXPECT_EQ(formatTraceLine(12, TraceDirection::Received, "+OK", true, false), "< +OK");
  EXPECT_EQ(formatTraceLine(3, TraceDirection::Sent, "PASS secret", false, true),
            "3: > PASS *****");
  EXPECT_EQ(formatTraceLine(3, TraceDirection::Sent, "pass secret", true, true), "> PASS *****");
  EXPECT_EQ(formatTraceLine(3, TraceDirection::Sent, "PASS", true, true), "> PASS");
  EXPECT_EQ(formatTraceLine(3, TraceDirection::Sent, "PASS secret", true, false), "> PASS secret");
  EXPECT_EQ(formatTraceLine(3, TraceDirection::Received, "a\x1b[2Jb", true, false), "< a?[2Jb");
}

}  // namespace
}  // namespace quillet
