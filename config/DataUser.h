// DataUser: DataUser.DAT, the list of local e-mail addresses, one 256-byte record each.
//
// Offsets of the record (from 0; every field is followed by "|"):
//   0 "|"  1 deleted flag  2 "|"
//   3 e-mail address (128)   132 name of the person (30)   163 reserved, blanks (88)
//   252 origin marker: "*" written by the Exchange import, blank entered by hand
//   253 "|"  254 CR LF
//
// The accessors read and write the current record. Building the server's address list
// from it is AddressList's job.
#pragma once

#include "config/RecordFile.h"

namespace quillet {

class DataUser : public RecordFile {
 public:
  static constexpr const char kFileName[] = "DataUser.DAT";
  static constexpr int kRecordLength = 256;

  static constexpr RecordField kAddress{3, 128};
  static constexpr RecordField kName{132, 30};
  static constexpr RecordField kReserved{163, 88};
  static constexpr RecordField kImported{252, 1};

  static const RecordLayout& recordLayout();

  // fileName: the full path of the file (normally the program directory + kFileName).
  explicit DataUser(const Str& fileName);

  // --- current record (text in the OEM code page; control bytes blanked, trimmed) ---
  [[nodiscard]] Str address() const { return readTrimmedText(kAddress.offset, kAddress.width); }
  [[nodiscard]] Str name() const { return readTrimmedText(kName.offset, kName.width); }
  // True for a record written by the Exchange import.
  [[nodiscard]] bool isImported() const { return readFlag(kImported.offset); }

  void setAddress(const Str& value) { writeText(kAddress.offset, kAddress.width, value); }
  void setName(const Str& value) { writeText(kName.offset, kName.width, value); }
  void setImported(bool imported) { writeFlag(kImported.offset, imported); }
};

}  // namespace quillet
