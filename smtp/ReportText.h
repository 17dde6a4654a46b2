// The text part of the delivery status notifications, line by line: what the original
// message was (From, To, CC, subject, date), what happened to which recipients, the
// reason with its description, additional lines and the session transcript.
//
// Pure: values in, lines out. Every value comes from a message or a server reply, so CR,
// LF and NUL in it become blanks (a body line never breaks into two); the composer keeps
// over-long lines within SMTP's limit. A line shown as blank holds one space.
#pragma once

#include "base/ArrayTmpl.h"
#include "base/Str.h"
#include "decode/ParseResult.h"
#include "smtp/StatusDescriptions.h"

namespace quillet {

enum class ReportKind {
  Failed,   // a permanent delivery failure
  Expired,  // given up when its lifetime ended
  Forward,  // diverted and forwarded to an administrator
};

// At most this many addresses of each of From, To and CC are listed.
inline constexpr int kMaxListedAddresses = 5;

struct ReportDetails {
  ReportKind kind = ReportKind::Failed;
  ArrayStr recipients;  // the failed recipients, or the original ones of a forward
  StatusReason reason;
  ArrayStr additional;  // "Additional info:" lines; none = no section
  ArrayStr transcript;  // "Transcript of session:" lines; blank lines are left out
};

// The report text about the message whose header is original.
[[nodiscard]] ArrayStr reportText(const ParseResult& original, const ReportDetails& details);

// The closing sections shared by every kind: "Reason: " with the title (when not blank) and
// the description, a blank, then the additional info and transcript sections when present.
void appendReasonSections(const StatusReason* reason, const ArrayStr& additional,
                          const ArrayStr& transcript, ArrayStr& lines);

// The Date field of a header as written there (empty when it has none).
[[nodiscard]] Str originalDateText(const ParseResult& original);

}  // namespace quillet
