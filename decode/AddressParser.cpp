// Address list parsing, validity and envelope rewriting (see AddressParser.h).
#include "decode/AddressParser.h"

#include <cctype>
#include <cstring>

#include "decode/HeaderBlock.h"
#include "decode/Rfc2047.h"

namespace quillet {
namespace {

// Commas outside quotes, comments and angle brackets separate the elements.
std::vector<std::string_view> splitElements(std::string_view value) {
  std::vector<std::string_view> out;
  bool quoted = false, angle = false;
  int comment = 0;
  size_t start = 0;
  for (size_t i = 0; i < value.size(); ++i) {
    char c = value[i];
    if (c == '\\' && (quoted || comment > 0)) {
      ++i;
    } else if (quoted) {
      quoted = c != '"';
    } else if (comment > 0) {
      if (c == '(') ++comment;
      if (c == ')') --comment;
    } else if (c == '"') {
      quoted = true;
    } else if (c == '(') {
      comment = 1;
    } else if (c == '<') {
      angle = true;
    } else if (c == '>') {
      angle = false;
    } else if (c == ',' && !angle) {
      out.push_back(value.substr(start, i - start));
      start = i + 1;
    }
  }
  out.push_back(value.substr(start));
  return out;
}

void addNamePart(std::string& name, std::string_view part) {
  part = trimBlanks(part);
  if (part.empty()) return;
  if (!name.empty()) name += ' ';
  name.append(part);
}

ParsedAddress parseElement(std::string_view element) {
  std::string address, name, pending;
  bool quoted = false, inAngle = false, angleDone = false;
  int comment = 0;
  std::string piece;  // current quoted text or comment
  for (size_t i = 0; i < element.size(); ++i) {
    char c = element[i];
    if (c == '\t') continue;
    if (quoted || comment > 0) {
      if (c == '\\' && i + 1 < element.size()) {
        piece += element[++i];
        continue;
      }
      if (quoted && c == '"') {
        quoted = false;
        addNamePart(name, piece);
        piece.clear();
      } else if (comment > 0 && c == '(') {
        ++comment;
        piece += c;
      } else if (comment > 0 && c == ')') {
        if (--comment == 0) {
          addNamePart(name, piece);
          piece.clear();
        } else {
          piece += c;
        }
      } else {
        piece += c;
      }
      continue;
    }
    if (c == '"') {
      quoted = true;
    } else if (c == '(') {
      comment = 1;
    } else if (c == '<' && !inAngle) {
      addNamePart(name, address);  // what came before "<" was a name
      address.clear();
      inAngle = true;
    } else if (c == '>' && inAngle) {
      inAngle = false;
      angleDone = true;
    } else if (!inAngle && c == ':' && !angleDone) {
      address.clear();  // "group name:" starts a group
    } else if (!inAngle && c == ';') {
      // ends a group
    } else if (angleDone) {
      pending += c;  // text after the bracketed address belongs to the name
    } else {
      address += c;
    }
  }
  addNamePart(name, pending);
  std::string cleanAddress;
  for (char c : address) {
    if (c != ' ' && c != '\t') cleanAddress += c;
  }
  return ParsedAddress{cleanAddress, decodeHeaderText(name)};
}

bool isLocalChar(unsigned char c) {
  return std::isalnum(c) || (c != 0 && std::strchr("!#$%&'*+-/=?^_`{|}~.", c) != nullptr);
}

bool isDomainChar(unsigned char c) { return std::isalnum(c) || c == '-' || c == '.' || c == '_'; }

bool validDomain(std::string_view domain) {
  if (domain.empty()) return false;
  if (domain.front() == '[') {
    if (domain.size() < 3 || domain.back() != ']') return false;
    for (unsigned char c : domain.substr(1, domain.size() - 2)) {
      if (!std::isxdigit(c) && c != '.' && c != ':') {
        if (!std::isalnum(c)) return false;  // "IPv6:" tag letters
      }
    }
    return true;
  }
  if (domain.front() == '.' || domain.find("..") != std::string_view::npos) return false;
  for (unsigned char c : domain) {
    if (!isDomainChar(c)) return false;
  }
  return true;
}

std::string underscored(std::string_view domain) {
  std::string out(domain);
  for (char& c : out) {
    if (c == '.') c = '_';
  }
  return out;
}

// The rest of local after domain + separator (either spelling of the domain), if it begins so.
std::optional<std::string_view> restAfterDomain(std::string_view local, std::string_view domain,
                                                std::string_view separator) {
  if (local.find(separator) == std::string_view::npos || local.size() <= domain.size())
    return std::nullopt;
  for (const std::string& prefix : {std::string(domain) + std::string(separator),
                                    underscored(domain) + std::string(separator)}) {
    if (startsWithNoCase(local, prefix)) return local.substr(prefix.size());
  }
  return std::nullopt;
}

}  // namespace

bool isValidAddress(std::string_view address) {
  size_t at = address.find('@');
  if (at == std::string_view::npos || at == 0 || at + 1 >= address.size()) return false;
  for (unsigned char c : address.substr(0, at)) {
    if (!isLocalChar(c)) return false;
  }
  return validDomain(address.substr(at + 1));
}

std::vector<ParsedAddress> parseAddressList(std::string_view value) {
  std::vector<ParsedAddress> out;
  for (std::string_view element : splitElements(value)) {
    ParsedAddress parsed = parseElement(element);
    if (parsed.address.empty() || !isValidAddress(parsed.address)) continue;
    out.push_back(std::move(parsed));
  }
  return out;
}

std::optional<std::string> rewriteEnvelopeAddress(std::string_view address) {
  size_t at = address.find('@');
  if (at == std::string_view::npos) return std::string(address);
  std::string_view local = address.substr(0, at), domain = address.substr(at + 1);
  std::optional<std::string_view> rest = restAfterDomain(local, domain, "%");
  if (!rest) rest = restAfterDomain(local, domain, "-");
  if (!rest && local.find('+') != std::string_view::npos &&
      local.find('-') != std::string_view::npos &&
      startsWithNoCase(local, std::string(domain) + "+-")) {
    rest = local.substr(domain.size() + 2);
  }
  if (!rest) return std::string(address);
  if (rest->empty() || equalsNoCase(*rest, "pop")) return std::nullopt;
  return std::string(*rest) + "@" + std::string(domain);
}

}  // namespace quillet
