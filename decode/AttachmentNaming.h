// Names of decoded parts. A name comes from the message (Content-Disposition filename,
// Content-Type name, the uuencode "begin" line, the BinHex header) or, for unnamed parts,
// from fixed names: "NoteText.txt" for body text, "HTMLPage.htm" for HTML, "WINMAIL.DAT"
// for TNEF, otherwise "unknown." + an extension chosen by the content type.
//
// Names are data only: they are shown and logged (the virus report names the attachment)
// but never become part of a file path. cleanAttachmentName makes them safe for that use:
// control characters (CR, LF, NUL, ...) become '_' and the length is cut to kMaxNameLength.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace quillet {

inline constexpr size_t kMaxNameLength = 255;

[[nodiscard]] std::string cleanAttachmentName(std::string_view name);

// "htm", "gif", "jpg", ... for an unnamed part by its media type (prefix match); "txt"
// for any type not in the table.
[[nodiscard]] std::string_view extensionForType(std::string_view mediaType);

// The name of an unnamed, non-body-text part of the given media type.
[[nodiscard]] std::string unnamedPartName(std::string_view mediaType);

}  // namespace quillet
