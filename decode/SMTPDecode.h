// SMTPDecode: the header and MIME parser of one stored inbound message.
//
// It reads the message (CR LF lines, dot-stuffed, final "." line, as the POP3 client stores
// it), unfolds and reads the header fields into a ParseResult, and, when the options ask
// for attachment files, walks the body and writes every part into a fresh temporary file
// in the options' directory (see MimeWalker.h). It reads no settings: the caller fills
// DecodeOptions.
//
// Limits for untrusted input: lines are read in segments of at most 64 KiB (LineReader),
// the message's header block keeps at most kHeaderLines lines and kHeaderBytes bytes
// (further header lines are read past), entities nest at most 220 levels, and parts are
// streamed to their files through 4096-byte buffers. Memory use therefore does not grow
// with the size of the message.
#pragma once

#include <cstddef>
#include <utility>

#include "base/Str.h"
#include "decode/DecodeOptions.h"
#include "decode/LineReader.h"
#include "decode/ParseResult.h"

namespace quillet {

class SMTPDecode {
 public:
  static constexpr size_t kHeaderLines = 10000;
  static constexpr size_t kHeaderBytes = 1024 * 1024;

  explicit SMTPDecode(DecodeOptions options) : options_(std::move(options)) {}

  // Parses the message file (name in the OEM code page, opened with the retrying shared
  // read of File). result is cleared first (its old attachment files deleted). Returns 0,
  // err::kOpenMessageFile when the file cannot be opened, err::kParseHeader when reading it
  // fails, err::kCreatePartFile when a temporary file for a part cannot be made,
  // err::kWritePartFile when writing one fails; with the last two the walk stopped at that
  // part and the attachments so far are in the result.
  [[nodiscard]] int parseFile(const Str& messageFile, ParseResult& result) const;

  // The same over bytes from any source (tests and fuzzing use memory).
  [[nodiscard]] int parse(ByteSource& source, ParseResult& result) const;

  const DecodeOptions& options() const { return options_; }

 private:
  DecodeOptions options_;
};

}  // namespace quillet
