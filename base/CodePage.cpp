// CP850 <-> UTF-8 conversion (see CodePage.h). Every call opens its own iconv descriptor,
// so the conversion is safe from any thread.
#include "base/CodePage.h"

#include <iconv.h>

#include <cerrno>

namespace quillet {
namespace {

bool is7Bit(std::string_view text) {
  for (unsigned char c : text) {
    if (c >= 0x80) return false;
  }
  return true;
}

}  // namespace

std::string convertCharset(std::string_view text, const char* to, const char* from) {
  if (is7Bit(text)) return std::string(text);
  iconv_t cd = iconv_open(to, from);
  // (iconv_t)-1 is iconv_open's documented failure value.
  // NOLINTNEXTLINE(performance-no-int-to-ptr)
  if (cd == reinterpret_cast<iconv_t>(-1)) {
    // No converter on this system: keep 7-bit characters, mark the rest.
    std::string out(text);
    for (char& c : out) {
      if (static_cast<unsigned char>(c) >= 0x80) c = '?';
    }
    return out;
  }
  std::string out;
  out.reserve(text.size() * 2);
  char* in = const_cast<char*>(text.data());
  size_t inLeft = text.size();
  char buffer[512];
  while (inLeft > 0) {
    char* outPtr = buffer;
    size_t outLeft = sizeof buffer;
    size_t rc = iconv(cd, &in, &inLeft, &outPtr, &outLeft);
    out.append(buffer, outPtr - buffer);
    if (rc == static_cast<size_t>(-1)) {
      if (errno == E2BIG) continue;
      // EILSEQ (unmappable or malformed) or EINVAL (cut sequence at the end): one '?'
      // for the byte, then skip the rest of a UTF-8 sequence so it gives one '?' only.
      out += '?';
      ++in;
      --inLeft;
      while (inLeft > 0 && (static_cast<unsigned char>(*in) & 0xC0) == 0x80 &&
             std::string_view(from) == "UTF-8") {
        ++in;
        --inLeft;
      }
    }
  }
  iconv_close(cd);
  return out;
}

std::string oemToAnsi(std::string_view oem) { return convertCharset(oem, "UTF-8", "CP850"); }

std::string ansiToOem(std::string_view ansi) { return convertCharset(ansi, "CP850", "UTF-8"); }

}  // namespace quillet
