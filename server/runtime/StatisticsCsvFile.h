// CSVFile: the comma-separated writer behind the daily statistic files. Each row opens the
// file, appends one line and closes it again, so other programs can read the file between
// rows; a new file gets the header line first when asked to.
//
// Values are cleaned rather than quoted: blanks at both ends and one pair of surrounding
// double quotes, parentheses or angle brackets go, then every blank, control character and
// double quote is dropped. A comma inside a value stays as it is. The text is written as
// held (OEM, code page 850) or converted to ANSI (UTF-8) first.
#pragma once

#include "base/ArrayTmpl.h"
#include "base/Str.h"

namespace quillet {

class CSVFile {
 public:
  static constexpr char kSeparator = ',';

  // A writer for path; oem = write text unchanged, otherwise convert it from OEM to ANSI;
  // writeHeader = a file this writer creates starts with the header line.
  CSVFile(const Str& path, bool oem, bool writeHeader);

  const Str& path() const { return path_; }
  void setHeader(const ArrayStr& columns) { header_ = columns; }

  // Appends one line of the cleaned values (after the header line when the file is new and
  // the header is on). False when the file cannot be opened, written or closed.
  [[nodiscard]] bool appendRow(const ArrayStr& values);

  // The header line: each column in double quotes, separated by commas (no line end).
  [[nodiscard]] Str headerLine() const;
  // A row line: the cleaned values separated by commas (no line end).
  [[nodiscard]] static Str rowLine(const ArrayStr& values);
  // The value as it is written (see the top of this file).
  [[nodiscard]] static Str cleanValue(const Str& value);

 private:
  [[nodiscard]] Str encoded(const Str& line) const;

  Str path_;
  bool oem_;
  bool writeHeader_;
  ArrayStr header_;
};

}  // namespace quillet
