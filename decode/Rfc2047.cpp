// RFC 2047 encoded-word decoding and the character-set conversion behind it (see Rfc2047.h).
#include "decode/Rfc2047.h"

#include <algorithm>
#include <cerrno>

#include "base/CodePage.h"
#include "decode/ContentDecoders.h"
#include "decode/HeaderBlock.h"

namespace quillet {
namespace {

struct KnownCharset {
  const char* name;       // as written in messages
  const char* iconvName;  // as iconv knows it
};

constexpr KnownCharset kCharsets[] = {
    {"iso-8859-1", "ISO-8859-1"},
    {"iso-8859-2", "ISO-8859-2"},
    {"iso-8859-3", "ISO-8859-3"},
    {"iso-8859-5", "ISO-8859-5"},
    {"iso-8859-7", "ISO-8859-7"},
    {"iso-8859-9", "ISO-8859-9"},
    {"windows-1250", "WINDOWS-1250"},
    {"windows-1252", "WINDOWS-1252"},
    {"utf-8", "UTF-8"},
};

void blankControls(std::string& text) {
  for (char& c : text) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = ' ';
  }
}

std::string decodeQ(std::string_view text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == '_') {
      out += ' ';
    } else if (c == '=' && i + 2 < text.size() && hexDigitValue(text[i + 1]) >= 0 &&
               hexDigitValue(text[i + 2]) >= 0) {
      out += static_cast<char>(hexDigitValue(text[i + 1]) * 16 + hexDigitValue(text[i + 2]));
      i += 2;
    } else {
      out += c;
    }
  }
  return out;
}

std::string decodeB(std::string_view text) {
  std::string out;
  StringSink sink(out);
  Base64Decoder decoder(sink);
  decoder.line(text, true);
  decoder.finish();
  return out;
}

enum class WordScan { Found, NotHere, NoneFurther };

// One encoded word at text[start] ("=?" charset "?" letter "?" encoded "?="): its decoded
// text and where it ends. NoneFurther when no later "=?" can start a word either, which
// keeps the scan of a hostile line linear.
WordScan parseEncodedWord(std::string_view text, size_t start, std::string& decoded, size_t& end) {
  size_t charsetEnd = text.find('?', start + 2);
  if (charsetEnd == std::string_view::npos) return WordScan::NoneFurther;
  if (charsetEnd + 2 >= text.size() || text[charsetEnd + 2] != '?') return WordScan::NotHere;
  std::string_view charset = text.substr(start + 2, charsetEnd - start - 2);
  if (charset.empty() || charset.find(' ') != std::string_view::npos) return WordScan::NotHere;
  size_t close = text.find("?=", charsetEnd + 3);
  if (close == std::string_view::npos) return WordScan::NoneFurther;
  size_t star = charset.find('*');  // RFC 2231 language suffix
  if (star != std::string_view::npos) charset = charset.substr(0, star);
  char letter = text[charsetEnd + 1];
  std::string_view encoded = text.substr(charsetEnd + 3, close - charsetEnd - 3);
  std::string bytes;
  if (letter == 'B' || letter == 'b') {
    bytes = decodeB(encoded);
  } else if (letter == 'Q' || letter == 'q') {
    bytes = decodeQ(encoded);
  }
  decoded = charsetToUtf8(bytes, charset);
  end = close + 2;
  return WordScan::Found;
}

}  // namespace

std::string charsetToUtf8(std::string_view bytes, std::string_view charset) {
  for (const KnownCharset& known : kCharsets) {
    if (equalsNoCase(charset, known.name)) return convertCharset(bytes, "UTF-8", known.iconvName);
  }
  std::string out(bytes);  // us-ascii, or a set we do not know
  for (char& c : out) {
    if (static_cast<unsigned char>(c) >= 0x80) c = '?';
  }
  return out;
}

std::string decodeRfc2047(std::string_view text) {
  std::string out;
  size_t pos = 0;
  bool lastWasEncoded = false;
  while (pos < text.size()) {
    size_t start = text.find("=?", pos);
    std::string decoded;
    size_t end = 0;
    while (start != std::string_view::npos) {
      WordScan scan = parseEncodedWord(text, start, decoded, end);
      if (scan == WordScan::Found) break;
      start = scan == WordScan::NoneFurther ? std::string_view::npos : text.find("=?", start + 2);
    }
    if (start == std::string_view::npos) {
      out.append(text.substr(pos));
      break;
    }
    std::string_view between = text.substr(pos, start - pos);
    if (!(lastWasEncoded && trimBlanks(between).empty())) out.append(between);
    out += decoded;
    lastWasEncoded = true;
    pos = end;
  }
  blankControls(out);
  return out;
}

std::string decodeHeaderText(std::string_view text) {
  if (text.size() < 6 || std::count(text.begin(), text.end(), '?') < 4 ||
      text.find("=?") == std::string_view::npos || text.find("?=") == std::string_view::npos) {
    return std::string(text);
  }
  return decodeRfc2047(text);
}

}  // namespace quillet
