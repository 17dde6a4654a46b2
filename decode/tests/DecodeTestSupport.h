// Helpers of the parser tests: a private temporary directory, reading a decoded file back,
// and parsing a message given as text (lines joined with CR LF, wire form).
#pragma once

#include <dirent.h>
#include <stdlib.h>
#include <unistd.h>

#include <fstream>
#include <initializer_list>
#include <iterator>
#include <string>

#include "decode/SMTPDecode.h"

namespace quillet::testing {

class TempDir {
 public:
  TempDir() {
    char pattern[] = "/tmp/quillet-decode-XXXXXX";
    path_ = mkdtemp(pattern);
  }
  ~TempDir() {
    std::string command = "rm -rf '" + path_ + "'";
    (void)!system(command.c_str());
  }
  const std::string& path() const { return path_; }
  // Number of entries in the directory.
  int entries() const {
    int n = 0;
    if (DIR* dir = opendir(path_.c_str())) {
      while (dirent* entry = readdir(dir))
        n += std::string(entry->d_name) != "." && std::string(entry->d_name) != "..";
      closedir(dir);
    }
    return n;
  }

 private:
  std::string path_;
};

inline std::string readAll(const Str& path) {
  std::ifstream in(path.c_str(), std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

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
