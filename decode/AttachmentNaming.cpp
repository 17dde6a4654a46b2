// Attachment naming rules (see AttachmentNaming.h).
#include "decode/AttachmentNaming.h"

#include "decode/HeaderBlock.h"

namespace quillet {

std::string cleanAttachmentName(std::string_view name) {
  std::string out(trimBlanks(name).substr(0, kMaxNameLength));
  for (char& c : out) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = '_';
  }
  return out;
}

std::string_view extensionForType(std::string_view mediaType) {
  struct TypeExtension {
    std::string_view type;
    std::string_view extension;
  };
  static constexpr TypeExtension kTable[] = {
      {"text/html", "htm"},          {"image/gif", "gif"},         {"image/jpeg", "jpg"},
      {"image/xbitmap", "bmp"},      {"application/x-zip", "zip"}, {"application/postscript", "ps"},
      {"application/msword", "doc"}, {"audio/au", "au"},           {"audio/wav", "wav"},
      {"video/mpeg", "mpg"},         {"video/avi", "avi"},
  };
  for (const TypeExtension& entry : kTable) {
    if (startsWithNoCase(mediaType, entry.type)) return entry.extension;
  }
  return "txt";
}

std::string unnamedPartName(std::string_view mediaType) {
  if (startsWithNoCase(mediaType, "application/ms-tnef")) return "WINMAIL.DAT";
  if (startsWithNoCase(mediaType, "text/html")) return "HTMLPage.htm";
  return "unknown." + std::string(extensionForType(mediaType));
}

}  // namespace quillet
