// Scrambling and descrambling of stored passwords (see Password.h).
#include "base/Password.h"

namespace quillet {
namespace {

constexpr int kNotAHexDigit = 127;

int hexDigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return kNotAHexDigit;
}

// Key byte for password position i; Str::at gives 0 past the end of a short key.
unsigned char keyByte(const Str& key, int i) {
  return static_cast<unsigned char>(key.at(i % kPasswordKeyPeriod));
}

}  // namespace

Str descramble(const Str& stored, const Str& key) {
  Str plain;
  if (stored.length() <= 2) return plain;
  if (stored.at(0) == '2' && stored.at(1) == '2') {
    // Only complete pairs: a trailing single digit is dropped.
    for (int i = 0; 2 + 2 * i < stored.length() - 1; ++i) {
      int high = hexDigitValue(stored.at(2 + 2 * i));
      int low = hexDigitValue(stored.at(3 + 2 * i));
      int byte = (high * 16 + low) ^ keyByte(key, i);
      plain.append(static_cast<char>(byte & 0xFF));
    }
    return plain;
  }
  if (stored.at(0) == '1' && stored.at(1) == '0') {
    plain = stored.mid(2);
    plain.trimRightWhite();
  }
  return plain;
}

Str scramble(const Str& plain, const Str& key) {
  static constexpr char kHexDigits[] = "0123456789ABCDEF";
  Str stored("22");
  for (int i = 0; i < plain.length(); ++i) {
    // Work on the unsigned byte so characters of 0x80 and above give two digits too.
    unsigned char byte = static_cast<unsigned char>(plain.at(i)) ^ keyByte(key, i);
    stored.append(kHexDigits[byte >> 4]);
    stored.append(kHexDigits[byte & 0x0F]);
  }
  return stored;
}

}  // namespace quillet
