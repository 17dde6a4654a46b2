// The place where message lines are shown when a status display exists: its scrolling
// message area. The message output writes through this interface so that it does not
// depend on the display code above it.
#pragma once

#include "base/Str.h"

namespace quillet {

class MessageAreaSink {
 public:
  virtual ~MessageAreaSink() = default;
  // Shows one screen line (OEM text, no line breaks) as the newest line of the area,
  // cut to the area's width. Thread-safe.
  virtual void showLine(const Str& line) = 0;
};

}  // namespace quillet
