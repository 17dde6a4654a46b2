// MIME field extraction and parameter lookup (see MimeHeaders.h).
#include "decode/MimeHeaders.h"

#include <cctype>

#include "decode/ContentDecoders.h"
#include "decode/HeaderBlock.h"
#include "decode/Rfc2047.h"

namespace quillet {
namespace {

std::string lowerCopy(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

std::string cut(std::string_view value) {
  value = trimBlanks(value);
  return std::string(value.substr(0, EntityHeaders::kMaxFieldValue));
}

// RFC 2231: charset'language'percent-encoded-text.
std::string decodeExtendedValue(std::string_view value) {
  size_t first = value.find('\'');
  size_t second =
      first == std::string_view::npos ? std::string_view::npos : value.find('\'', first + 1);
  std::string_view charset, text = value;
  if (second != std::string_view::npos) {
    charset = value.substr(0, first);
    text = value.substr(second + 1);
  }
  std::string bytes;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size() && hexDigitValue(text[i + 1]) >= 0 &&
        hexDigitValue(text[i + 2]) >= 0) {
      bytes += static_cast<char>(hexDigitValue(text[i + 1]) * 16 + hexDigitValue(text[i + 2]));
      i += 2;
    } else {
      bytes += text[i];
    }
  }
  return charsetToUtf8(bytes, charset.empty() ? std::string_view("us-ascii") : charset);
}

struct RawParameter {
  std::string_view name;
  std::string value;  // unquoted
};

// The parameters after the first ';', split at ';' outside quotes.
std::vector<RawParameter> parameters(std::string_view field) {
  std::vector<RawParameter> out;
  size_t pos = field.find(';');
  while (pos != std::string_view::npos && pos < field.size()) {
    size_t start = pos + 1;
    size_t i = start;
    bool quoted = false;
    std::string value;
    size_t equals = std::string_view::npos;
    for (; i < field.size(); ++i) {
      char c = field[i];
      if (quoted) {
        if (c == '\\' && i + 1 < field.size()) {
          value += field[++i];
        } else if (c == '"') {
          quoted = false;
        } else {
          value += c;
        }
      } else if (c == ';') {
        break;
      } else if (c == '"' && equals != std::string_view::npos) {
        quoted = true;
      } else if (c == '=' && equals == std::string_view::npos) {
        equals = i;
      } else if (equals != std::string_view::npos && c != ' ' && c != '\t') {
        value += c;
      }
    }
    if (equals != std::string_view::npos)
      out.push_back(RawParameter{trimBlanks(field.substr(start, equals - start)), value});
    pos = i < field.size() ? i : std::string_view::npos;
  }
  return out;
}

}  // namespace

std::string EntityHeaders::mediaType() const {
  std::string_view type = contentType;
  size_t semicolon = type.find(';');
  if (semicolon != std::string_view::npos) type = type.substr(0, semicolon);
  return lowerCopy(trimBlanks(type));
}

bool EntityHeaders::typeStartsWith(std::string_view prefix) const {
  return startsWithNoCase(trimBlanks(contentType), prefix);
}

TransferEncoding parseTransferEncoding(std::string_view value) {
  value = trimBlanks(value);
  size_t end = value.find_first_of(" ;(");
  if (end != std::string_view::npos) value = value.substr(0, end);
  if (value.empty()) return TransferEncoding::Missing;
  if (equalsNoCase(value, "quoted-printable")) return TransferEncoding::QuotedPrintable;
  if (equalsNoCase(value, "base64")) return TransferEncoding::Base64;
  if (equalsNoCase(value, "uuencode") || equalsNoCase(value, "x-uuencode") ||
      equalsNoCase(value, "x-uue")) {
    return TransferEncoding::UUEncode;
  }
  if (equalsNoCase(value, "7bit")) return TransferEncoding::SevenBit;
  if (equalsNoCase(value, "8bit")) return TransferEncoding::EightBit;
  if (equalsNoCase(value, "binary")) return TransferEncoding::Binary;
  return TransferEncoding::Unknown;
}

EntityHeaders readEntityHeaders(const std::vector<std::string>& lines) {
  EntityHeaders headers;
  bool haveEncoding = false, haveDisposition = false;
  for (const std::string& line : lines) {
    std::string_view value;
    if (!headers.hasContentType && matchField(line, "Content-Type", value)) {
      headers.hasContentType = true;
      headers.contentType = cut(value);
    } else if (!haveEncoding && matchField(line, "Content-Transfer-Encoding", value)) {
      haveEncoding = true;
      headers.encoding = parseTransferEncoding(value);
    } else if (!haveDisposition && matchField(line, "Content-Disposition", value)) {
      haveDisposition = true;
      headers.disposition = cut(value);
    }
  }
  if (!headers.hasContentType) headers.contentType = "text/plain";
  return headers;
}

std::optional<std::string> fieldParameter(std::string_view fieldValue, std::string_view name,
                                          bool decodeText) {
  std::vector<RawParameter> all = parameters(fieldValue);
  for (const RawParameter& parameter : all) {
    if (equalsNoCase(parameter.name, name))
      return decodeText ? decodeHeaderText(parameter.value) : parameter.value;
  }
  std::string extended = std::string(name) + "*";
  for (const RawParameter& parameter : all) {
    if (equalsNoCase(parameter.name, extended)) return decodeExtendedValue(parameter.value);
  }
  return std::nullopt;
}

}  // namespace quillet
