// DataPOP: DataPOP.DAT, the mailboxes the server empties, one 1024-byte record each.
//
// Offsets of the record (from 0; every field is followed by "|"):
//   0 "|"  1 deleted flag  2 "|"
//   3 user name (50)            54 password, stored scrambled (102)
//   157 server host (128)       286 route-to address (128)
//   415 schedule from "HH:MM"   421 schedule until "HH:MM"   427 every, minutes (10)
//   438 weekday flags, Sunday first (7)   446 comment (50)   497 port (10)
//   508 disabled flag           510 connection security (1)  512 reserved, blanks (509)
//   1021 "|"  1022 CR LF
// Files written before the connection-security field existed hold a blank there, which
// reads as plain POP3.
//
// The accessors read and write the current record; text comes back as stored (OEM code
// page), with control bytes blanked and blanks trimmed where it says so. Building the
// server's mailbox entries from these records is MailboxTable's job.
#pragma once

#include "config/RecordFile.h"

namespace quillet {

// How a mailbox connection is secured.
enum class ConnectionSecurity {
  Plain,     // plain POP3 (blank)
  Tls,       // TLS from the start ("T")
  StartTls,  // plain connection upgraded with STLS ("S")
};

class DataPOP : public RecordFile {
 public:
  static constexpr const char kFileName[] = "DataPOP.DAT";
  static constexpr int kRecordLength = 1024;

  static constexpr RecordField kUser{3, 50};
  static constexpr RecordField kPassword{54, 102};
  static constexpr RecordField kHost{157, 128};
  static constexpr RecordField kRouteTo{286, 128};
  static constexpr RecordField kFrom{415, 5};
  static constexpr RecordField kUntil{421, 5};
  static constexpr RecordField kEvery{427, 10};
  static constexpr RecordField kWeekdays{438, 7};
  static constexpr RecordField kComment{446, 50};
  static constexpr RecordField kPort{497, 10};
  static constexpr RecordField kDisabled{508, 1};
  static constexpr RecordField kSecurity{510, 1};
  static constexpr RecordField kReserved{512, 509};

  static const RecordLayout& recordLayout();

  // fileName: the full path of the file (normally the program directory + kFileName).
  explicit DataPOP(const Str& fileName);

  // --- current record, read ---
  [[nodiscard]] Str user() const { return readTrimmedText(kUser.offset, kUser.width); }
  [[nodiscard]] Str password() const { return readTrimmedText(kPassword.offset, kPassword.width); }
  [[nodiscard]] Str host() const { return readTrimmedText(kHost.offset, kHost.width); }
  [[nodiscard]] Str routeTo() const { return readTrimmedText(kRouteTo.offset, kRouteTo.width); }
  [[nodiscard]] Str comment() const { return readTrimmedText(kComment.offset, kComment.width); }
  // The schedule fields as stored (untrimmed: they are read by character position).
  [[nodiscard]] Str fromText() const { return readText(kFrom.offset, kFrom.width); }
  [[nodiscard]] Str untilText() const { return readText(kUntil.offset, kUntil.width); }
  [[nodiscard]] Str weekdaysText() const { return readText(kWeekdays.offset, kWeekdays.width); }
  // Minutes between two fetches; 0 when the field holds no number.
  [[nodiscard]] int32_t everyMinutes() const { return readNumber(kEvery.offset, kEvery.width); }
  // 0 when blank or not a number: the server then uses POPInboundPort.
  [[nodiscard]] int32_t port() const { return readNumber(kPort.offset, kPort.width); }
  [[nodiscard]] bool isDisabled() const { return readFlag(kDisabled.offset); }
  // "T" (or "t") TLS, "S" (or "s") STLS; a blank, and anything else, plain.
  [[nodiscard]] ConnectionSecurity security() const;

  // --- current record, write (values in the OEM code page; cut to the field width) ---
  void setUser(const Str& value) { writeText(kUser.offset, kUser.width, value); }
  void setPassword(const Str& stored) { writeText(kPassword.offset, kPassword.width, stored); }
  void setHost(const Str& value) { writeText(kHost.offset, kHost.width, value); }
  void setRouteTo(const Str& value) { writeText(kRouteTo.offset, kRouteTo.width, value); }
  void setComment(const Str& value) { writeText(kComment.offset, kComment.width, value); }
  void setFromText(const Str& hhmm) { writeText(kFrom.offset, kFrom.width, hhmm); }
  void setUntilText(const Str& hhmm) { writeText(kUntil.offset, kUntil.width, hhmm); }
  void setWeekdaysText(const Str& flags) { writeText(kWeekdays.offset, kWeekdays.width, flags); }
  void setEveryMinutes(int32_t minutes) { writeNumber(kEvery.offset, kEvery.width, minutes); }
  void setPort(int32_t port) { writeNumber(kPort.offset, kPort.width, port); }
  void setDisabled(bool disabled) { writeFlag(kDisabled.offset, disabled); }
  void setSecurity(ConnectionSecurity security);
};

}  // namespace quillet
