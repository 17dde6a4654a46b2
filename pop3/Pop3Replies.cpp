// Reading POP3 server replies (see Pop3Replies.h).
#include "pop3/Pop3Replies.h"

#include <cctype>
#include <limits>

namespace quillet::pop3 {
namespace {

constexpr const char* kCompressedCapability = "XBCOMP";
constexpr const char* kNoopRecoveryCapability = "IMPLEMENTATION Ipswitch_IMail_5.0";
constexpr const char* kPasswordCommand = "PASS ";
constexpr const char* kMaskedPassword = "PASS *****";
constexpr int kMinMaskedLength = 6;

bool isWhite(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }

}  // namespace

bool isPositiveReply(const Str& reply) {
  int pos = 0;
  while (pos < reply.length() && isWhite(reply.at(pos))) ++pos;
  return reply.mid(pos).startsWith("+OK", true);
}

uint64_t leadingDecimal(const Str& text) {
  constexpr uint64_t kMax = std::numeric_limits<uint64_t>::max();
  int pos = 0;
  while (pos < text.length() && isWhite(text.at(pos))) ++pos;
  uint64_t value = 0;
  for (; pos < text.length() && std::isdigit(static_cast<unsigned char>(text.at(pos))); ++pos) {
    const uint64_t digit = static_cast<uint64_t>(text.at(pos) - '0');
    value = value > (kMax - digit) / 10 ? kMax : value * 10 + digit;
  }
  return value;
}

uint32_t statMessageCount(const Str& reply) {
  const Str rest = reply.mid(4);
  const int blank = rest.find(' ');
  if (blank < 0) return 0;
  const uint64_t count = leadingDecimal(rest.left(blank));
  return count > std::numeric_limits<uint32_t>::max() ? std::numeric_limits<uint32_t>::max()
                                                      : static_cast<uint32_t>(count);
}

Str thirdWord(const Str& reply) {
  Str text = reply;
  text.trimWhite();
  if (text.count(' ') != 2) return Str();
  const int first = text.find(' ');
  const int second = text.find(' ', first + 1);
  return text.mid(second + 1);
}

bool isUsableUniqueId(const Str& id) {
  if (id.empty() || id.length() > kMaxUniqueIdLength) return false;
  for (int i = 0; i < id.length(); ++i) {
    const unsigned char c = static_cast<unsigned char>(id.at(i));
    if (c < 0x20 || c == 0x7f) return false;
  }
  return true;
}

Str uniqueIdOf(const Str& reply) {
  Str id = thirdWord(reply);
  return isUsableUniqueId(id) ? id : Str();
}

uint64_t listSize(const Str& reply) {
  const Str word = thirdWord(reply);
  // "12abc" is no size: only a word made of digits counts.
  for (int i = 0; i < word.length(); ++i) {
    if (!std::isdigit(static_cast<unsigned char>(word.at(i)))) return 0;
  }
  return leadingDecimal(word);
}

uint64_t compressedSize(const Str& reply) { return leadingDecimal(reply.mid(3)); }

Str apopTimestamp(const Str& greeting) {
  const int open = greeting.find('<');
  if (open < 0) return Str();
  const int close = greeting.find('>', open + 1);
  if (close < 0) return Str();
  return greeting.mid(open).left(close - open + 1);
}

Capabilities capabilitiesOf(const ArrayStr& lines) {
  Capabilities capabilities;
  for (const Str& line : lines) {
    Str text = line;
    text.trimWhite();
    if (text.equalsIgnoreCase(kCompressedCapability)) capabilities.compressedRetrieval = true;
    if (text.equalsIgnoreCase(kNoopRecoveryCapability)) capabilities.noopRecovery = true;
  }
  return capabilities;
}

Str transcriptLine(const Str& line, bool hidePassword) {
  Str text = line;
  text.replace('\r', ' ').replace('\n', ' ');
  text.trim();
  if (hidePassword && text.length() >= kMinMaskedLength &&
      text.startsWith(kPasswordCommand, true)) {
    return Str(kMaskedPassword);
  }
  return text;
}

bool isSendablePassword(const Str& password) {
  for (int i = 0; i < password.length(); ++i) {
    const char c = password.at(i);
    if (c == '\r' || c == '\n' || c == '\0') return false;
  }
  return true;
}

}  // namespace quillet::pop3
