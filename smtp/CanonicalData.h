// The canonical form of a queued message file on its way to the mail host: the one place
// that decides which bytes follow DATA, go into a BDAT chunk or into the XBDATA stream,
// whatever bytes the stored file holds (no SMTP smuggling).
//
// Reading the stored file. Lines end with CR LF, a lone LF or a lone CR; each ending is one
// line break. The file is normally in transfer form (dot-stuffed, ending with a "." line),
// so a line starting with ".." stands for the content line without its first dot. A line
// starting with a single "." followed by something else was not stuffed and is content as
// it is. A line that is a lone "." is the stored terminator only when
//   - it and the line before it end with CR LF (or it is the file's first line): the
//     strict "CR LF . CR LF" end of data; everything after it is not content; or
//   - it is the last line of the file, whatever its line end.
// Any other lone "." (the classic smuggling case "LF . LF" in the middle of a message) is a
// content line "." and never ends the data early. A file without a terminator is complete
// at its end; a last line without a line end is complete.
//
// Writing. Every content line ends with CR LF. In the dot-stuffed form (DATA, XBDATA) a
// content line starting with "." gets one more "." in front, and the stream ends with
// exactly one ".", CR LF and nothing after it. In the plain form (BDAT) content lines go
// out as they are and nothing ends the stream. A well-formed stored file therefore comes
// out byte for byte as it is stored.
//
// Streaming with constant memory: the converter keeps a few flags between pieces, and
// CanonicalDataReader reads the file in kBlockSize pieces; every byte in gives at most two
// bytes out, plus the final line. The stored file is never changed.
#pragma once

#include <cstdint>
#include <string>

#include "base/File.h"

namespace quillet::smtp {

enum class DataForm {
  DotStuffed,  // for DATA and XBDATA: stuffed, ending with the "." line
  Plain,       // for BDAT: the content lines as they are, no terminator
};

// Converts stored bytes that arrive in arbitrary pieces.
class CanonicalDataConverter {
 public:
  explicit CanonicalDataConverter(DataForm form) : form_(form) {}

  // Converts the next piece of the stored file, appending to out.
  void feed(const char* data, int length, std::string& out);
  // The file has ended: completes the last line and, in the dot-stuffed form, appends the
  // terminating line.
  void finish(std::string& out);
  // True once the strict terminator was read: nothing after it is content.
  [[nodiscard]] bool ended() const { return ended_; }

 private:
  enum class LineState {
    Start,   // nothing of the line yet
    OneDot,  // the line so far is a single "."
    Body,    // inside a line; bytes pass as they are
  };

  void byte(char c, std::string& out);
  void endLine(bool crLf, std::string& out);
  void releaseHeldDot(std::string& out);

  DataForm form_;
  LineState line_ = LineState::Start;
  bool pendingCr_ = false;         // the last byte was CR; the next one tells its meaning
  bool previousEndedCrLf_ = true;  // the line before ended with CR LF (or there was none)
  bool heldDot_ = false;           // a lone "." line: content unless the file ends now
  bool ended_ = false;             // the strict terminator was read; the rest is ignored
};

// Reads a stored message file in pieces and gives its canonical form block by block.
class CanonicalDataReader {
 public:
  static constexpr int kBlockSize = 64 * 1024;

  // file: open for reading, at its start.
  CanonicalDataReader(File& file, DataForm form) : file_(file), converter_(form) {}

  // Replaces block with the next canonical bytes. kData: block holds bytes and more may
  // follow; kEnd: block holds the last bytes (possibly none); kFailed: reading the file
  // failed and the stream must not be ended as if the message were complete.
  [[nodiscard]] ReadState next(std::string& block);

 private:
  File& file_;
  CanonicalDataConverter converter_;
  std::string input_;
  bool finished_ = false;
};

// The number of bytes of the file's canonical form (read once from the start), or -1 when
// the file cannot be opened or read.
[[nodiscard]] int64_t canonicalSize(const Str& path, DataForm form);

}  // namespace quillet::smtp
