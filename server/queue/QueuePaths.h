// Names of the queue directories and files, and the two path rewrites the store applies:
// the index path of a message file, and relocation of a stored path into the current
// queue directory.
//
// Pure text operations: nothing here touches the disk. Stored paths may come from index
// files written on another system, so '/', '\' and a drive's ':' all count as separators
// when the base name is taken; relocation therefore never leaves the queue directory.
#pragma once

#include "base/Str.h"

namespace quillet {

// The two queues; the numbers are those the queue files and callers use.
enum class QueueNumber : int {
  Inbound = 1,   // "MSG-IN", index extension "INX"
  Outbound = 2,  // "MSG-OUT", index extension "ONX"
};

// "MSG-IN" or "MSG-OUT".
[[nodiscard]] const char* queueDirectoryName(QueueNumber queue);
// "INX" or "ONX".
[[nodiscard]] const char* indexExtension(QueueNumber queue);

// Extension of message files, and the prefix of their names.
inline constexpr const char* kMessageExtension = "TXT";
inline constexpr const char* kMessageNamePrefix = "MSG";

// The file name of a path: everything after its last '/', '\' or ':'.
[[nodiscard]] Str baseNameOf(const Str& path);

// The same directory and base name with the queue's index extension ("INX" or "ONX") in
// place of the file's extension (appended when the name has none).
[[nodiscard]] Str indexPathOf(const Str& messagePath, QueueNumber queue);

// queueDirectory (ending in '/') joined with the base name of storedPath; the directory
// and drive of storedPath are ignored.
[[nodiscard]] Str relocatePath(const Str& storedPath, const Str& queueDirectory);

}  // namespace quillet
