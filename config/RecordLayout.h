// RecordLayout: the shape of one fixed-length record of the data files.
//
// Every record starts with "|", the deleted flag and "|"; then the fields follow, each
// closed by "|"; the record ends with CR LF. A layout lists the fields (offset and width)
// and derives everything else from them: the separator positions and the blank record.
// isConsistent() checks at compile time that the fields tile the record exactly, so an
// offset typed wrongly in a table cannot go unnoticed.
//
// It holds no bytes and does no I/O; RecordFile applies a layout to a file.
#pragma once

#include <cstddef>
#include <span>

namespace quillet {

struct RecordField {
  int offset;
  int width;
};

class RecordLayout {
 public:
  static constexpr int kDeletedFlagOffset = 1;
  static constexpr int kFirstFieldOffset = 3;
  static constexpr char kSeparator = '|';
  static constexpr char kDeletedMark = '*';

  // fields in record order, each followed by one separator; length includes CR LF.
  constexpr RecordLayout(int length, std::span<const RecordField> fields)
      : length_(length), fields_(fields) {}

  constexpr int length() const { return length_; }
  constexpr std::span<const RecordField> fields() const { return fields_; }

  // True when the fields start at offset 3, each follows the previous field's separator,
  // none is empty, and the last separator sits just before the closing CR LF.
  constexpr bool isConsistent() const {
    int next = kFirstFieldOffset;
    for (const RecordField& field : fields_) {
      if (field.offset != next || field.width < 1) return false;
      next = field.offset + field.width + 1;
    }
    return next == length_ - 2 && length_ > kFirstFieldOffset + 2;
  }

  // Writes the blank record into record (length() bytes): separators, blanks elsewhere,
  // the deleted flag clear, CR LF at the end.
  void fillBlank(char* record) const;

  // Puts the separators and CR LF of the layout into record, leaving the field contents
  // alone. Used before a changed record is written back, so a record that was damaged on
  // disk is stored well-formed again.
  void restoreStructure(char* record) const;

 private:
  int length_;
  std::span<const RecordField> fields_;
};

}  // namespace quillet
