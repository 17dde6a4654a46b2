// Reading and judging SMTP server replies (RFC 5321 section 4.2): assembling a possibly
// multi-line reply from the lines that arrive, classifying a reply by the phase of the
// dialogue into a result and an enhanced status code (RFC 3463, RFC 2034), the extension
// list of an EHLO reply and the tests on it, and the transcript form of a line.
//
// Pure: lines in, values out; no sockets or files. Replies are untrusted: lines without a
// three-digit code are skipped, a reply keeps at most kMaxKeptLines lines and ends with an
// error after kMaxReadLines lines (a reply that never ends cannot grow memory or hold the
// session forever; the time limit is the reader's), and numbers saturate.
#pragma once

#include <cstdint>

#include "base/ArrayTmpl.h"
#include "base/Str.h"

namespace quillet::smtp {

// The phase of the dialogue a reply answers; it selects the status code table.
enum class Phase {
  Session,   // RSET, QUIT
  Greeting,  // greeting, EHLO, HELO (also of a verification session), STARTTLS
  Auth,      // AUTH and its continuation lines
  MailFrom,  // MAIL FROM
  RcptTo,    // RCPT TO
  Data,      // DATA, BDAT, XBDATA and the reply after the message data
};

// One complete reply.
struct Reply {
  static constexpr int kMaxKeptLines = 1000;
  static constexpr int kMaxReadLines = 10000;

  ArrayStr lines;  // the accepted lines in order (at most kMaxKeptLines)
  Str line;        // the last line: the reply line
  int code = 0;    // the value of the reply line's first three characters

  [[nodiscard]] bool isSuccess() const { return code > 0 && code < 400; }
};

// Builds a reply from the lines read one at a time.
class ReplyAssembler {
 public:
  enum class Step {
    NeedMore,  // the reply goes on: read another line
    Complete,  // the reply is complete (reply())
    TooLong,   // more than Reply::kMaxReadLines lines: give up the reply
  };

  // Takes the next received line (without CR LF).
  [[nodiscard]] Step add(const Str& line);
  const Reply& reply() const { return reply_; }

 private:
  Reply reply_;
  int linesRead_ = 0;
};

// The outcome of a reply: result 0 (success), 50 (permanent), 51 (temporary) or 155 (code
// 590), and the status code ("5.1.1"; empty on success).
struct Verdict {
  int result = 0;
  Str statusCode;
};

// Classifies the reply line of a reply given in phase. enhancedCodes: the server advertises
// ENHANCEDSTATUSCODES, so a well-formed code at the start of the text is taken as it is.
[[nodiscard]] Verdict classify(const Str& replyLine, Phase phase, bool enhancedCodes);

// The extension lines of a successful EHLO reply: every line with its first four characters
// removed and blanks trimmed, the first left out when it contains a ".".
[[nodiscard]] ArrayStr extensionsOf(const ArrayStr& replyLines);

// True when some extension line is at least as long as keyword and starts with it (case
// ignored).
[[nodiscard]] bool advertises(const ArrayStr& extensions, const char* keyword);

// The server's SIZE limit: the number after "SIZE" of the first SIZE line (saturated at
// INT64_MAX); 0 (no limit) when SIZE is not advertised or has no number.
[[nodiscard]] int64_t sizeLimit(const ArrayStr& extensions);

// True when the server offers the SASL mechanism: as one of the blank-separated words of an
// "AUTH ..." line (RFC 4954) or of an "AUTH=..." line (the form of some older servers).
[[nodiscard]] bool offersAuthMechanism(const ArrayStr& extensions, const char* mechanism);

// A line as the transcript keeps it: CR and LF replaced by blanks, blanks trimmed.
[[nodiscard]] Str transcriptLine(const Str& line);

}  // namespace quillet::smtp
