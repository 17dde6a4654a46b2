// The content type of a file attached to a composed message, from its name.
#pragma once

#include <string_view>

namespace quillet {

// "application/ms-tnef" for "WINMAIL.DAT"; else the type of the name's extension (from
// its last "."; case ignored): .HTM/.HTML text/html, .TXT text/text, .GIF image/gif,
// .JPG/.JPEG image/jpeg, .BMP image/xbitmap, .ZIP application/x-zip, .PS
// application/postscript, .DOC application/msword, .AU audio/au, .WAV audio/wav,
// .MPEG/.MPG video/mpeg, .AVI video/avi; any other application/octet-stream.
[[nodiscard]] const char* attachmentContentType(std::string_view name);

// True for "WINMAIL.DAT" in any letter case.
[[nodiscard]] bool isTnefName(std::string_view name);

}  // namespace quillet
