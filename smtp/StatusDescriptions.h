// The status description table of the delivery status notifications: for an enhanced
// status code (RFC 3463 form "x.y.z") a title and the lines that explain it, and the code
// that stands for a failure that came without one.
//
// The table is text: a code line, a title line, then description lines up to the next code
// line. An administrator may put such a table into "smtpdsn.txt" in the program directory;
// it is read anew for every lookup (edits count at once) and searched before the built-in
// table, which answers for every code the file lacks.
//
// The file is untrusted: lines are cut at File::kMaxLineLength, at most kMaxFileLines lines
// are read, text before the first code line is ignored, and a code line without a title
// line after it counts as missing. Its text is OEM (code page 850) like every data file and
// is returned as UTF-8.
#pragma once

#include <string_view>

#include "base/ArrayTmpl.h"
#include "base/Str.h"

namespace quillet {

inline constexpr const char* kStatusTableFileName = "smtpdsn.txt";

// What the table says about one code.
struct StatusDescription {
  Str title;           // "ESC description is missing" when the code is found nowhere
  ArrayStr lines;      // the description lines (none when missing)
  bool found = false;  // the code is in the file or the built-in table
};

// The reason of one failure as a notification shows it.
struct StatusReason {
  Str code;  // the status code, "x.y.z"
  StatusDescription description;
};

class StatusDescriptions {
 public:
  static constexpr int kMaxFileLines = 100000;
  static constexpr const char* kMissingTitle = "ESC description is missing";

  // A table that reads "smtpdsn.txt" from programDirectory ('/'-terminated or empty).
  explicit StatusDescriptions(const Str& programDirectory);

  // The entry whose code line has the same subject and detail digits (the third and fifth
  // characters) as code; the class digit is ignored, so 4.2.2 finds 5.2.2. The file's
  // first match wins, then the built-in table's.
  [[nodiscard]] StatusDescription lookup(std::string_view code) const;

  // The reason of a failure: statusCode when it is a valid code, else the code derived
  // from the error number (5.4.3 for a name server failure, 5.4.1 for no connection, ...);
  // an error number without a code of its own gives 5.0.0 with the title replaced by the
  // error's text.
  [[nodiscard]] StatusReason reasonFor(const Str& statusCode, int error) const;

 private:
  Str tablePath_;
};

// True for a code line: at least 5 characters, "." second and fourth, "2", "4" or "5" first,
// digits third and fifth.
[[nodiscard]] bool isStatusCodeLine(std::string_view line);

// The code that stands for error number error when a failure came without a valid code.
[[nodiscard]] const char* statusCodeForError(int error);

}  // namespace quillet
