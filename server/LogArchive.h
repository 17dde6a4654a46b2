// The zip archive of the log mailing: "strandel.zip" with one member, the current log file
// under its own file name (no directory) with its last-write time, deflated.
//
// The archive is written with minizip through base/File (its I/O callbacks), so it gets
// the programs' file rules: mode 0600 from creation, the descriptor owned by one object.
// The log is read in blocks while other threads may append to it: the archive holds the
// log as it stood when it was read. Nothing of the log's content is interpreted.
#pragma once

#include "base/Str.h"

namespace quillet {

inline constexpr const char* kLogArchiveName = "strandel.zip";

// Writes archivePath anew from logPath. True when the archive is complete; false when the
// log cannot be read or the archive cannot be created or written (an incomplete archive
// is then deleted).
[[nodiscard]] bool writeLogArchive(const Str& logPath, const Str& archivePath);

}  // namespace quillet
