// What the header and MIME parser produces for one message: the address lists of the
// address-bearing header fields, the Received "for" addresses with the position of their
// Received field, the subject, Message-ID and date, the unfolded header lines, and (when
// attachment files were asked for) the list of decoded parts, each in a file of its own.
//
// The attachment list owns its files: clearing the result or destroying it deletes them,
// so a caller that is done with a message leaves nothing behind in the temporary
// directory. Names in the list come from the message and are data only; they are never
// used to build a path.
#pragma once

#include <cstdint>

#include "base/ArrayTmpl.h"
#include "base/DateTime.h"
#include "base/Str.h"

namespace quillet {

// One entry of an address list: the address as it will be used for delivery and the
// display name (RFC 2047 decoded, UTF-8). An address never holds CR, LF, NUL or blanks.
struct MailAddress {
  Str address;
  Str displayName;
};
using AddressList = ArrayTmpl<MailAddress>;

// An address from the "for" clause of a Received field and the 1-based number of that
// Received field among all Received fields of the message.
struct ReceivedForAddress {
  Str address;
  int position = 0;
};

// The Date field as written in the message: local date and time of the sender and the
// sender's offset from GMT in minutes (positive east of Greenwich).
struct MessageDate {
  bool valid = false;
  Date date;
  Time time;
  int zoneMinutes = 0;
};

// One decoded part: its name taken from the message (data only, control characters
// replaced by '_') and the full path of the temporary file holding its decoded content.
struct Attachment {
  Str name;
  Str path;
};

// The attachments of one message. Owns the files: they are deleted when the list is
// cleared or destroyed. Move-only, so a file has exactly one owner.
class AttachmentList {
 public:
  AttachmentList() = default;
  AttachmentList(AttachmentList&& other) noexcept;
  AttachmentList& operator=(AttachmentList&& other) noexcept;
  AttachmentList(const AttachmentList&) = delete;
  AttachmentList& operator=(const AttachmentList&) = delete;
  ~AttachmentList();

  int count() const { return items_.count(); }
  const Attachment& operator[](int index) const { return items_[index]; }  // 1-based
  ArrayTmpl<Attachment>::iterator begin() const { return items_.begin(); }
  ArrayTmpl<Attachment>::iterator end() const { return items_.end(); }

  // Takes ownership of the file at path.
  void add(const Str& name, const Str& path);
  // Deletes every file and empties the list.
  void clear();
  // Gives up ownership: the files stay on disk and the list is empty.
  void releaseFiles();

 private:
  ArrayTmpl<Attachment> items_;
};

// The parse result of one message, in header order within each list.
struct ParseResult {
  AddressList from, sender, replyTo, returnPath;
  AddressList to;
  AddressList cc;
  AddressList envelope;  // Resent-To, Apparently-To, Envelope-to, X-RCPT-TO, Delivered-To
  AddressList custom;    // the caller's custom header fields
  ArrayTmpl<ReceivedForAddress> receivedFor;
  Str subject;
  Str messageId;
  MessageDate date;
  int priority = 0;       // 5 when Precedence holds "bulk"
  int receivedCount = 0;  // number of Received fields
  ArrayStr headerLines;   // the unfolded header lines of the message
  AttachmentList attachments;

  // Empties everything and deletes the attachment files.
  void clear();
};

}  // namespace quillet
