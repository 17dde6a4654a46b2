// Tests, dates and deletes files by name. Names are held in the OEM code page (CP850) and
// converted to UTF-8 before they reach the system. Wildcards are not expanded: a name is
// one path.
#pragma once

#include "base/DateTime.h"
#include "base/Str.h"

namespace quillet {

// True when the name exists (a file, a directory or anything else); a blank name is false.
[[nodiscard]] bool fileExists(const Str& name);

// The local date and time, to the millisecond, of the last change of the file's contents;
// false (date and time unchanged) when it does not exist.
[[nodiscard]] bool fileLastWrite(const Str& name, Date& date, Time& time);

// Deletes the file if it exists; true when it is gone afterwards.
[[nodiscard]] bool removeFile(const Str& name);

}  // namespace quillet
