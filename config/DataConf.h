// DataConf: DATACONF.DAT, a configuration record file that the server only keeps in shape:
// it reads none of its fields and gives an empty file its first, blank record.
//
// Offsets of the 256-byte record (from 0; every field is followed by "|"):
//   0 "|"  1 deleted flag  2 "|"
//   3 one-character field   5 text (50)   56, 67, 78, 89, 100 five fields of 10
//   111 reserved, blanks (142)   253 "|"  254 CR LF
// The file is read without a cache.
#pragma once

#include "config/RecordFile.h"

namespace quillet {

class DataConf : public RecordFile {
 public:
  static constexpr const char kFileName[] = "DATACONF.DAT";
  static constexpr int kRecordLength = 256;

  static constexpr RecordField kMark{3, 1};
  static constexpr RecordField kText{5, 50};
  static constexpr RecordField kField1{56, 10};
  static constexpr RecordField kField2{67, 10};
  static constexpr RecordField kField3{78, 10};
  static constexpr RecordField kField4{89, 10};
  static constexpr RecordField kField5{100, 10};
  static constexpr RecordField kReserved{111, 142};

  static const RecordLayout& recordLayout();

  // fileName: the full path of the file (normally the program directory + kFileName).
  explicit DataConf(const Str& fileName);

  // Appends one blank record and writes it at once when the open file holds no record.
  // True when the file holds at least one record afterwards.
  [[nodiscard]] bool ensureFirstRecord();
};

}  // namespace quillet
