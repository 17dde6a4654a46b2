// The envelope commands of one message: the MAIL FROM line with SIZE, RET and ENVID (RFC
// 1870, RFC 3461) and one RCPT TO line per recipient with NOTIFY and ORCPT, following the
// sender rules (a sender that must stay silent is sent as the null reverse-path).
//
// Pure: addresses and the server's extensions in, command lines out. Addresses and DSN
// parameters come from queue index files and are written as stored, except that CR, LF
// and NUL become blanks so that no address can end a command line early.
#pragma once

#include <cstdint>

#include "base/ArrayTmpl.h"
#include "base/Str.h"
#include "server/queue/SMTPInfo.h"

namespace quillet::smtp {

struct Envelope {
  Str mailFrom;             // "MAIL FROM:<...>" with its parameters
  ArrayStr rcptTo;          // "RCPT TO:<...>" per recipient, in the recipients' order
  bool nullSender = false;  // the reverse-path is empty
};

// Builds the envelope. extensions: the server's EHLO extension lines (SIZE and DSN decide
// the parameters); fileSize: the message file's size for the SIZE parameter.
[[nodiscard]] Envelope buildEnvelope(const SMTPInfoAddress& sender,
                                     const ArraySMTPInfoAddress& recipients, int64_t fileSize,
                                     const ArrayStr& extensions);

}  // namespace quillet::smtp
