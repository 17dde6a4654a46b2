// The service name of this copy of Runnel: read from the file with the program's base name
// and the extension "svc" in the program directory, so that copies in different
// directories can be installed as separate services. The same name is the syslog ident
// and the base of the systemd unit name.
//
// The file is untrusted text: it is read only when it holds at most kMaxServiceFileBytes;
// of its bytes only those from 0x21 to 0x79 are kept, in order, and the result is trimmed.
// A missing, unreadable, too long or empty file, or one that yields nothing, gives
// kDefaultServiceName. The name may still hold characters a unit file name cannot (such
// as '/'); ServiceUnit escapes those.
#pragma once

#include <string_view>

#include "base/Str.h"

namespace quillet {

inline constexpr const char* kDefaultServiceName = "Quillet";
inline constexpr int kMaxServiceFileBytes = 256;

// The name that the bytes of a service name file yield (kDefaultServiceName when none).
[[nodiscard]] Str cleanServiceName(std::string_view fileBytes);

// The name file of a program: programDirectory + the base name of programPath (without its
// extension) + ".svc". programDirectory ends in '/' or is empty.
[[nodiscard]] Str serviceNameFilePath(const Str& programDirectory, const Str& programPath);

// Reads the name file at path and cleans it (see above).
[[nodiscard]] Str readServiceName(const Str& path);

}  // namespace quillet
