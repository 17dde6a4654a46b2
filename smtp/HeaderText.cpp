// Safe header values, encoded words, address lists and folding (see HeaderText.h).
#include "smtp/HeaderText.h"

#include <algorithm>
#include <cstdint>

#include "decode/AddressParser.h"
#include "decode/ContentEncoders.h"

namespace quillet {
namespace {

bool isBlank(char c) { return c == ' ' || c == '\t'; }

bool is7Bit(std::string_view text) {
  return std::none_of(text.begin(), text.end(),
                      [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
}

// True when some run of text without blanks could not be folded onto a line of its own.
bool hasUnfoldableRun(std::string_view text) {
  size_t run = 0;
  for (char c : text) {
    run = isBlank(c) ? 0 : run + 1;
    if (run + 1 > kFoldLength) return true;
  }
  return false;
}

bool needsEncodedWords(std::string_view text) { return !is7Bit(text) || hasUnfoldableRun(text); }

// The length of the UTF-8 sequence that starts at text[i] (1 for a byte that starts none),
// so that encoded words never split a character.
size_t utf8SequenceLength(std::string_view text, size_t i) {
  const auto lead = static_cast<unsigned char>(text[i]);
  size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
  size_t n = 1;
  while (n < length && i + n < text.size() &&
         (static_cast<unsigned char>(text[i + n]) & 0xC0) == 0x80) {
    ++n;
  }
  return n;
}

bool isTokenCharacter(char c) {
  const auto byte = static_cast<unsigned char>(c);
  if (byte <= 32 || byte >= 127) return false;
  return std::string_view("()<>@,;:\\\"/[]?=").find(c) == std::string_view::npos;
}

std::string quoted(std::string_view text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '"' || c == '\\') out += '\\';
    out += c;
  }
  return out + "\"";
}

}  // namespace

std::string headerSafe(std::string_view value) {
  std::string out(value);
  for (char& c : out) {
    if (c == '\r' || c == '\n' || c == '\0') c = ' ';
  }
  return out;
}

std::string hostText(std::string_view host) {
  std::string out;
  for (char c : host) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte > 32 && byte != 127 && c != '<' && c != '>') out += c;
  }
  return out.empty() ? "localhost" : out;
}

bool isValidUtf8(std::string_view text) {
  for (size_t i = 0; i < text.size();) {
    const auto lead = static_cast<unsigned char>(text[i]);
    size_t length = 0;
    uint32_t value = 0;
    if (lead < 0x80) {
      ++i;
      continue;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
      length = 2, value = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      length = 3, value = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4, value = lead & 0x07;
    } else {
      return false;
    }
    if (i + length > text.size()) return false;
    for (size_t k = 1; k < length; ++k) {
      const auto next = static_cast<unsigned char>(text[i + k]);
      if ((next & 0xC0) != 0x80) return false;
      value = (value << 6) | (next & 0x3F);
    }
    // Over-long forms, surrogates and values beyond Unicode are not UTF-8.
    const uint32_t smallest = length == 2 ? 0x80 : length == 3 ? 0x800 : 0x10000;
    if (value < smallest || (value >= 0xD800 && value <= 0xDFFF) || value > 0x10FFFF) {
      return false;
    }
    i += length;
  }
  return true;
}

std::string charsetForText(std::string_view text, std::string_view fallback) {
  if (isValidUtf8(text)) return is7Bit(text) ? "us-ascii" : "utf-8";
  if (fallback.empty() || fallback == "us-ascii" || fallback == "utf-8") return "iso-8859-1";
  return std::string(fallback);
}

std::string encodedWords(std::string_view text, std::string_view charset) {
  const std::string prefix = "=?" + std::string(charset) + "?Q?";
  const size_t overhead = prefix.size() + 2;
  const bool utf8 = charset == "utf-8";
  std::string out;
  std::string word;
  for (size_t i = 0; i < text.size();) {
    const size_t n = utf8 ? utf8SequenceLength(text, i) : 1;
    const std::string encoded = encodeQ(text.substr(i, n));
    if (!word.empty() && overhead + word.size() + encoded.size() > kMaxEncodedWordLength) {
      if (!out.empty()) out += ' ';
      out.append(prefix).append(word).append("?=");
      word.clear();
    }
    word += encoded;
    i += n;
  }
  if (!word.empty() || out.empty()) {
    if (!out.empty()) out += ' ';
    out.append(prefix).append(word).append("?=");
  }
  return out;
}

std::string unstructuredValue(std::string_view text, std::string_view fallbackCharset) {
  std::string safe = headerSafe(text);
  if (!needsEncodedWords(safe)) return safe;
  return encodedWords(safe, charsetForText(safe, fallbackCharset));
}

std::string formatAddress(const MailAddress& address, std::string_view fallbackCharset) {
  std::string mailbox = headerSafe(address.address.view());
  if (!isValidAddress(mailbox)) return std::string();
  const std::string name = headerSafe(address.displayName.view());
  if (std::all_of(name.begin(), name.end(), isBlank)) return mailbox;
  const std::string phrase = needsEncodedWords(name)
                                 ? encodedWords(name, charsetForText(name, fallbackCharset))
                                 : quoted(name);
  return phrase + " <" + mailbox + ">";
}

std::string formatAddressList(const AddressList& addresses, std::string_view fallbackCharset) {
  std::string out;
  for (const MailAddress& address : addresses) {
    const std::string formatted = formatAddress(address, fallbackCharset);
    if (formatted.empty()) continue;
    if (!out.empty()) out += ", ";
    out += formatted;
  }
  return out;
}

std::string parameterValue(std::string_view value) {
  std::string safe = headerSafe(value);
  for (char& c : safe) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x80 || (byte < 32 && c != ' ') || byte == 127) c = '_';
  }
  if (!safe.empty() && std::all_of(safe.begin(), safe.end(), isTokenCharacter)) return safe;
  return quoted(safe);
}

std::vector<std::string> foldField(std::string_view field) {
  std::vector<std::string> lines;
  std::string rest(field);
  // The first line keeps the field name, its colon and the first word together.
  const size_t colon = rest.find(':');
  const bool continuation = !rest.empty() && isBlank(rest[0]);
  size_t firstBreak = continuation || colon == std::string::npos ? 1 : colon + 2;
  if (continuation) {
    const size_t word = rest.find_first_not_of(" \t");
    const size_t end = word == std::string::npos ? word : rest.find_first_of(" \t", word);
    firstBreak = end == std::string::npos ? rest.size() : end;
  }
  while (rest.size() > kFoldLength) {
    // A fold is only worth it where something other than blanks follows.
    const auto foldableAt = [&](size_t i) {
      return isBlank(rest[i]) && rest.find_first_not_of(" \t", i) != std::string::npos;
    };
    size_t cut = std::string::npos;
    for (size_t i = std::min(kFoldLength, rest.size() - 1); i >= firstBreak && i > 0; --i) {
      if (foldableAt(i)) {
        cut = i;
        break;
      }
    }
    // A value whose first word is too long for the first line starts on the next one.
    if (cut == std::string::npos && !continuation && colon != std::string::npos && lines.empty() &&
        colon + 1 < rest.size() && foldableAt(colon + 1)) {
      cut = colon + 1;
    }
    for (size_t i = kFoldLength + 1;
         cut == std::string::npos && i < rest.size() && i <= kMaxHeaderLineLength; ++i) {
      if (foldableAt(i)) cut = i;
    }
    if (cut != std::string::npos) {
      lines.push_back(rest.substr(0, cut));
      rest.erase(0, cut);
    } else if (rest.size() > kMaxHeaderLineLength) {
      // No blank within the hard limit: cut, and go on after a blank of our own.
      lines.push_back(rest.substr(0, kMaxHeaderLineLength));
      rest = " " + rest.substr(kMaxHeaderLineLength);
    } else {
      break;
    }
    firstBreak = 1;
  }
  lines.push_back(rest);
  return lines;
}

}  // namespace quillet
