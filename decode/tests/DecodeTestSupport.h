// Helpers of the parser tests: a private temporary directory, reading a decoded file back,
// and parsing a message given as text (lines joined with CR LF, wire form).
#pragma once

#include <dirent.h>
#include <unistd.h>

#include <initializer_list>
#include <string>

#include "decode/SMTPDecode.h"
#include "tests/support/FileBytes.h"
#include "tests/support/TempDir.h"

namespace quillet::testing {

using quillet::testing::TempDir;

inline std::string readAll(const Str& path) { return readBytes(path.toStd()); }

// Lines joined by CR LF, ending with the wire form's "." line.
inline std::string message(std::initializer_list<std::string> lines) {
  std::string out;
  for (const std::string& line : lines) out += line + "\r\n";
  return out + ".\r\n";
}

inline DecodeOptions bodyOptions(const TempDir& dir) {
  DecodeOptions options;
  options.writeAttachments = true;
  options.flags = DecodeOptions::kEnvelopeFields;
  options.tempDirectory = Str(std::string_view(dir.path()));
  return options;
}

inline int parseText(const std::string& text, const DecodeOptions& options, ParseResult& result) {
  MemoryByteSource source(text);
  return SMTPDecode(options).parse(source, result);
}

}  // namespace quillet::testing
