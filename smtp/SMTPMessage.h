// SMTPMessage: the in-memory description of a message that the composer (SMTPEncode.h)
// writes into the outbound queue, with its attachments and the composition parameters.
// The texts may come from other messages or server replies: the composer makes them safe.
#pragma once

#include <cstdint>

#include "base/ArrayTmpl.h"
#include "base/DateTime.h"
#include "base/Str.h"
#include "decode/ParseResult.h"

namespace quillet {

// One part to append: a file, the name it is shown under and its kind.
struct SMTPAttach {
  static constexpr int kFile = 0;            // any other value than the two below as well
  static constexpr int kMessage = 1;         // an RFC 822 message (a report's original)
  static constexpr int kDeliveryStatus = 2;  // the fields of a delivery status report

  Str path;  // the file to attach (read, never changed)
  Str name;  // the name to show; empty = the file name of path
  int kind = kFile;
};

// The parts of the "Received:" trace field. Empty parts are left out; an empty host is
// the composition's host name. Host names lose blanks and control characters.
struct SMTPTraceField {
  Str from;            // the sending party, when known
  Str by;              // this host
  Str with = "local";  // the protocol text
  Str recipient;       // the recipient, when there is one (written in angle brackets)
};

struct SMTPMessage {
  AddressList from;
  AddressList to;
  AddressList cc;
  Str subject;
  Timer date;                  // the Date field; all zero = the current local time
  bool universalTime = false;  // date is UTC: the zone is written as "GMT"
  bool receiptRequested = false;
  uint32_t priority = 3;  // 1 to 5; 3 is normal and writes no X-Priority field
  ArrayStr body;          // the text lines
  ArrayTmpl<SMTPAttach> attachments;
  bool report = false;  // a delivery report: multipart/report when it has attachments
  SMTPTraceField received;
};

// Character set codes of the text part (the charset parameter).
namespace charset {
constexpr int kUsAscii = 0;
constexpr int kIso8859_1 = 1;
constexpr int kIso8859_2 = 2;
constexpr int kIso8859_3 = 3;
constexpr int kIso8859_5 = 5;
constexpr int kIso8859_7 = 7;
constexpr int kIso8859_9 = 9;
constexpr int kUtf8 = 65001;  // the programs' own text on this system (code page number)
}  // namespace charset

// Transfer encodings of the text part.
namespace bodyencoding {
constexpr int k7Bit = 0;  // any value other than the two below as well
constexpr int kQuotedPrintable = 2;
constexpr int kBase64 = 3;
}  // namespace bodyencoding

struct ComposeParameters {
  static constexpr int kMime = 1;   // any value other than kPlain as well
  static constexpr int kPlain = 2;  // RFC 822 without MIME, attachments uuencoded

  int mimeMode = kMime;
  // A code outside the table is replaced: us-ascii for 7-bit text, else utf-8 for
  // well-formed UTF-8, else iso-8859-1.
  int charsetCode = charset::kUsAscii;
  // 7bit is replaced by quoted-printable when the body holds 8-bit bytes or a line
  // longer than SMTP allows.
  int bodyEncoding = bodyencoding::k7Bit;
  Str mailer;     // the X-Mailer text
  Str hostName;   // this host: Message-ID domain and default trace host
  Str directory;  // where the message file goes; empty = the outbound queue
  uint32_t boundaryNumber = 0;
};

}  // namespace quillet
