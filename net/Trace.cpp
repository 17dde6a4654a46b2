// Formatting of trace lines (see Trace.h).
#include "net/Trace.h"

namespace quillet {

std::string formatTraceLine(uint32_t id, TraceDirection direction, const Str& line, bool withoutId,
                            bool hidePassword) {
  std::string text;
  if (!withoutId) text = std::to_string(id) + ": ";
  switch (direction) {
    case TraceDirection::Sent:
      text += "> ";
      break;
    case TraceDirection::Received:
      text += "< ";
      break;
  }
  if (hidePassword && line.length() >= 6 && line.startsWith("PASS ", true)) {
    return text + "PASS *****";
  }
  for (char c : line.view()) {
    const auto byte = static_cast<unsigned char>(c);
    text += (byte < 0x20 && byte != '\t') || byte == 0x7f ? '?' : c;
  }
  return text;
}

}  // namespace quillet
