// The canonical message stream: line ends, dot-stuffing exactly once, the stored terminator
// told from content (the bare-LF "." of SMTP smuggling), content after the terminator, a
// last line without line end, both forms, any split into pieces, and whole files across
// block boundaries.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "base/File.h"
#include "smtp/CanonicalData.h"
#include "tests/support/FileBytes.h"
#include "tests/support/TempDir.h"

namespace quillet::smtp {
namespace {

std::string convert(const std::string& stored, DataForm form, size_t piece = 0) {
  CanonicalDataConverter converter(form);
  std::string out;
  if (piece == 0) piece = stored.size() + 1;
  for (size_t at = 0; at < stored.size(); at += piece) {
    const std::string part = stored.substr(at, piece);
    converter.feed(part.data(), static_cast<int>(part.size()), out);
  }
  converter.finish(out);
  return out;
}

struct Case {
  const char* name;
  std::string stored;
  std::string stuffed;  // DATA and XBDATA
  std::string plain;    // BDAT
};

const Case kCases[] = {
    {"well-formed file passes unchanged", "A: b\r\n\r\n..dot\r\nend\r\n.\r\n",
     "A: b\r\n\r\n..dot\r\nend\r\n.\r\n", "A: b\r\n\r\n.dot\r\nend\r\n"},
    {"bare LF lines", "a\nb\n.\n", "a\r\nb\r\n.\r\n", "a\r\nb\r\n"},
    {"lone CR lines", "a\rb\r", "a\r\nb\r\n.\r\n", "a\r\nb\r\n"},
    {"CR CR LF is an empty line", "a\r\r\nb\r\n", "a\r\n\r\nb\r\n.\r\n", "a\r\n\r\nb\r\n"},
    {"smuggling: LF . LF in the middle stays content", "a\n.\nMAIL FROM:<x>\r\n.\r\n",
     "a\r\n..\r\nMAIL FROM:<x>\r\n.\r\n", "a\r\n.\r\nMAIL FROM:<x>\r\n"},
    {"smuggling: LF . CR LF in the middle stays content", "a\n.\r\nb\r\n.\r\n",
     "a\r\n..\r\nb\r\n.\r\n", "a\r\n.\r\nb\r\n"},
    {"smuggling: CR LF . LF in the middle stays content", "a\r\n.\nb\r\n.\r\n",
     "a\r\n..\r\nb\r\n.\r\n", "a\r\n.\r\nb\r\n"},
    {"unstuffed dot line is stuffed once", ".x\r\n", "..x\r\n.\r\n", ".x\r\n"},
    {"stuffed dot lines stay stuffed once", "..\r\n...\r\n", "..\r\n...\r\n.\r\n", ".\r\n..\r\n"},
    {"no final line end", "a\r\nb", "a\r\nb\r\n.\r\n", "a\r\nb\r\n"},
    {"lone dot at the end without line end is the terminator", "a\r\n.", "a\r\n.\r\n", "a\r\n"},
    {"lone dot at the end after bare LF is the terminator", "a\n.\n", "a\r\n.\r\n", "a\r\n"},
    {"content after the strict terminator is dropped", "a\r\n.\r\nRSET\r\nMAIL\r\n", "a\r\n.\r\n",
     "a\r\n"},
    {"a lone dot that is followed by more lines is content", "a\n.\n\n", "a\r\n..\r\n\r\n.\r\n",
     "a\r\n.\r\n\r\n"},
    {"empty file", "", ".\r\n", ""},
    {"terminator only", ".\r\n", ".\r\n", ""},
    {"NUL and 8-bit bytes pass", std::string("a\0\xe9\r\n", 5), std::string("a\0\xe9\r\n.\r\n", 8),
     std::string("a\0\xe9\r\n", 5)},
};

TEST(CanonicalData, ConvertsEveryCaseInBothFormsWhateverThePieces) {
  for (const Case& c : kCases) {
    for (size_t piece : {size_t{0}, size_t{1}, size_t{2}, size_t{3}}) {
      EXPECT_EQ(convert(c.stored, DataForm::DotStuffed, piece), c.stuffed)
          << c.name << " piece " << piece;
      EXPECT_EQ(convert(c.stored, DataForm::Plain, piece), c.plain) << c.name << " piece " << piece;
    }
  }
}

TEST(CanonicalData, StuffedOutputHasExactlyOneTerminatorAndOnlyCrLf) {
  const std::string hostile = "x\n.\r\r\n.\n\r.\r..\n.\r\n.\n";
  const std::string out = convert(hostile, DataForm::DotStuffed);
  EXPECT_EQ(out.find("\r\n.\r\n"), out.size() - 5);
  for (size_t i = 0; i < out.size(); ++i) {
    if (out[i] == '\n') {
      EXPECT_EQ(out[i - 1], '\r') << i;
    }
    if (out[i] == '\r') {
      EXPECT_EQ(out[i + 1], '\n') << i;
    }
  }
}

// The stuffed form read back as a server reads DATA (RFC 5321 section 4.5.2): the content
// up to the first "." line, with one leading dot removed from each line; empty when the
// stream is not CR LF lines ending with exactly that one "." line.
std::string serverView(const std::string& stuffed) {
  std::string content;
  size_t at = 0;
  for (;;) {
    const size_t end = stuffed.find("\r\n", at);
    if (end == std::string::npos) return "(no terminator)";
    std::string line = stuffed.substr(at, end - at);
    at = end + 2;
    if (line.find_first_of("\r\n") != std::string::npos) return "(bare line end)";
    if (line == ".") return at == stuffed.size() ? content : "(bytes after the terminator)";
    if (!line.empty() && line[0] == '.') line.erase(0, 1);
    content += line + "\r\n";
  }
}

TEST(CanonicalData, AnyInputGivesOneTerminatorAndTheSameContentInBothForms) {
  // Inputs made of the bytes that matter, split into random pieces.
  const char alphabet[] = {'a', '.', '\r', '\n'};
  uint32_t seed = 12345;
  const auto next = [&seed] {
    seed = seed * 1103515245u + 12345u;
    return (seed >> 16) & 0x7fff;
  };
  for (int round = 0; round < 3000; ++round) {
    std::string stored;
    const int length = static_cast<int>(next() % 24);
    for (int i = 0; i < length; ++i) stored += alphabet[next() % 4];
    const size_t piece = 1 + next() % 5;
    const std::string stuffed = convert(stored, DataForm::DotStuffed, piece);
    const std::string plain = convert(stored, DataForm::Plain, piece);
    EXPECT_EQ(serverView(stuffed), plain) << "stored: " << ::testing::PrintToString(stored);
    EXPECT_EQ(convert(stored, DataForm::DotStuffed), stuffed);
  }
}

class CanonicalFile : public ::testing::Test {
 protected:
  std::string write(const std::string& bytes) {
    std::string path = dir.file("MSG00001.TXT");
    quillet::testing::writeBytes(path, bytes);
    return path;
  }
  quillet::testing::TempDir dir;
};

TEST_F(CanonicalFile, ReaderStreamsBlocksAcrossBoundariesAndCountsTheSize) {
  // Lines of 1000 bytes with bare LF, a dot line at varied offsets, past several blocks.
  std::string stored;
  std::string expected;
  for (int i = 0; i < 300; ++i) {
    const std::string line = (i % 7 == 0 ? "." : "") + std::string(999, 'a' + i % 26);
    stored += line + "\n";
    expected += (line[0] == '.' ? "." : "") + line + "\r\n";
  }
  stored += ".\n";
  expected += ".\r\n";
  const Str path(std::string_view(write(stored)));
  File file(path);
  ASSERT_TRUE(file.open(File::kReadShared));
  CanonicalDataReader reader(file, DataForm::DotStuffed);
  std::string all;
  std::string block;
  int blocks = 0;
  for (;;) {
    const ReadState state = reader.next(block);
    ASSERT_NE(state, ReadState::kFailed);
    EXPECT_LE(block.size(), 2u * CanonicalDataReader::kBlockSize + 8);
    all += block;
    ++blocks;
    if (state == ReadState::kEnd) break;
  }
  EXPECT_GT(blocks, 3);
  EXPECT_EQ(all, expected);
  EXPECT_EQ(canonicalSize(path, DataForm::DotStuffed), static_cast<int64_t>(expected.size()));
}

TEST_F(CanonicalFile, SizeOfAMissingFileIsMinusOne) {
  EXPECT_EQ(canonicalSize(Str(std::string_view(dir.file("gone.TXT"))), DataForm::Plain), -1);
}

}  // namespace
}  // namespace quillet::smtp
