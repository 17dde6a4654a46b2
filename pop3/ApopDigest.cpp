// The APOP digest (see ApopDigest.h), with OpenSSL's MD5.
#include "pop3/ApopDigest.h"

#include <openssl/evp.h>

#include <string>

namespace quillet {

Str apopDigest(const Str& timestamp, const Str& password) {
  const std::string input = timestamp.toStd() + password.toStd();
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int digestLength = 0;
  if (EVP_Digest(input.data(), input.size(), digest, &digestLength, EVP_md5(), nullptr) != 1) {
    return Str();
  }
  static constexpr char kHex[] = "0123456789abcdef";
  Str text;
  for (unsigned int i = 0; i < digestLength; ++i) {
    text.append(kHex[digest[i] >> 4]);
    text.append(kHex[digest[i] & 0x0f]);
  }
  return text;
}

}  // namespace quillet
