// Content types of attached files by name (see AttachmentTypes.h).
#include "smtp/AttachmentTypes.h"

#include <strings.h>

#include <string>

namespace quillet {
namespace {

struct ExtensionType {
  const char* extension;
  const char* type;
};

constexpr ExtensionType kTypes[] = {
    {".HTM", "text/html"},
    {".HTML", "text/html"},
    {".TXT", "text/text"},
    {".GIF", "image/gif"},
    {".JPG", "image/jpeg"},
    {".JPEG", "image/jpeg"},
    {".BMP", "image/xbitmap"},
    {".ZIP", "application/x-zip"},
    {".PS", "application/postscript"},
    {".DOC", "application/msword"},
    {".AU", "audio/au"},
    {".WAV", "audio/wav"},
    {".MPEG", "video/mpeg"},
    {".MPG", "video/mpeg"},
    {".AVI", "video/avi"},
};

bool equalsNoCase(std::string_view a, const char* b) {
  const std::string text(a);
  return strcasecmp(text.c_str(), b) == 0;
}

}  // namespace

bool isTnefName(std::string_view name) { return equalsNoCase(name, "WINMAIL.DAT"); }

const char* attachmentContentType(std::string_view name) {
  if (isTnefName(name)) return "application/ms-tnef";
  const size_t dot = name.rfind('.');
  if (dot != std::string_view::npos) {
    for (const ExtensionType& entry : kTypes) {
      if (equalsNoCase(name.substr(dot), entry.extension)) return entry.type;
    }
  }
  return "application/octet-stream";
}

}  // namespace quillet
