// The index file that accompanies every queued message: rendering an SMTPInfo into its
// lines and parsing lines back, in the current layout (55 fixed lines, then 10 lines per
// recipient) and, for reading only, the earlier layout.
//
// Pure: text in, text out. Reading files, the size limit and relocating the stored paths
// into the queue directory are QueueStore's part. Every line ends with CR LF.
//
// Free text (paths, source, addresses, ENVID, ORCPT, the last reply, transcript lines) is
// written with CR, LF and NUL replaced by blanks, so no value can break the one-value-per-
// line layout and shift the lines after it. Parsing is strict about numbers: a number line
// that is not a plain unsigned decimal (the last error of the earlier layout may carry a
// minus sign) makes the whole file garbled rather than silently 0.
#pragma once

#include <string>
#include <vector>

#include "base/Str.h"
#include "server/queue/SMTPInfo.h"

namespace quillet {

// Outcome of reading an index file.
enum class IndexStatus {
  Loaded,          // the entry was filled
  Unreadable,      // the file could not be opened or read
  TooLarge,        // the file is larger than kMaxIndexFileBytes
  TooShort,        // fewer than 13 lines
  Incomplete,      // current layout with fewer than 55 lines
  Garbled,         // a number line is not a number
  MessageMissing,  // the message file it names does not exist
};

// Text of a status for log lines ("too short", "message file missing", ...).
[[nodiscard]] const char* indexStatusText(IndexStatus status);

inline constexpr int kIndexFixedLines = 55;  // current layout without recipients
inline constexpr int kIndexLinesPerRecipient = 10;
inline constexpr int kIndexMinimumLines = 13;  // both layouts: the format marker line
inline constexpr const char* kIndexFormatMarker = "1";

// The value with CR, LF and NUL replaced by blanks.
[[nodiscard]] Str oneLineValue(const Str& value);

// The complete index file of entry, in the current layout, lines ended by CR LF. Line 1 is
// entry.indexFile and line 2 entry.messageFile as they are.
[[nodiscard]] std::string renderIndexFile(const SMTPInfo& entry);

// Fills entry from the lines of an index file (without their line ends). Line 1 goes to
// entry.indexFile and line 2 to entry.messageFile unchanged; relocating them is the
// caller's part. On any result other than Loaded the entry is left unchanged.
[[nodiscard]] IndexStatus parseIndexLines(const std::vector<Str>& lines, SMTPInfo& entry);

}  // namespace quillet
