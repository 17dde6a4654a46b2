// The MIME fields of one entity (Content-Type, Content-Transfer-Encoding,
// Content-Disposition) taken from its unfolded header lines, and parameter lookup
// (name, filename, charset, boundary) in such a field value.
//
// Limits: each kept field value is cut to kMaxFieldValue bytes, so an entity costs a small,
// fixed amount of memory however deeply entities nest. Parameter values may be quoted
// (backslash escapes honoured), RFC 2231 encoded ("name*=charset''text" with %XX) or RFC
// 2047 encoded; the result is UTF-8 text.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quillet {

enum class TransferEncoding {
  Missing,
  SevenBit,
  EightBit,
  Binary,
  QuotedPrintable,
  Base64,
  UUEncode,
  Unknown
};

struct EntityHeaders {
  static constexpr size_t kMaxFieldValue = 4096;

  bool hasContentType = false;
  std::string contentType;  // full value; "text/plain" when the field is missing
  std::string disposition;  // full value, empty when missing
  TransferEncoding encoding = TransferEncoding::Missing;

  // The media type alone ("text/plain"), lower case.
  [[nodiscard]] std::string mediaType() const;
  // True when the media type begins with prefix (case ignored).
  [[nodiscard]] bool typeStartsWith(std::string_view prefix) const;
};

// Reads the MIME fields of an entity; the first occurrence of each field counts.
[[nodiscard]] EntityHeaders readEntityHeaders(const std::vector<std::string>& lines);

// The value of parameter name in a field value such as `text/plain; charset="x"`, found
// case-insensitively; nothing when absent. With decodeText, RFC 2047 words in the value are
// decoded (names); without, the value is returned exactly as written (boundaries).
[[nodiscard]] std::optional<std::string> fieldParameter(std::string_view fieldValue,
                                                        std::string_view name,
                                                        bool decodeText = true);

[[nodiscard]] TransferEncoding parseTransferEncoding(std::string_view value);

}  // namespace quillet
