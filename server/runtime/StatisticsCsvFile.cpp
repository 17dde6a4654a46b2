// The comma-separated statistic file writer.
#include "server/runtime/StatisticsCsvFile.h"

#include "base/File.h"

namespace quillet {

namespace {

// The pair of characters that may enclose a value, or 0 when c opens none.
char closingPartner(char c) {
  switch (c) {
    case '"':
      return '"';
    case '(':
      return ')';
    case '<':
      return '>';
    default:
      return 0;
  }
}

bool isDropped(char c) {
  const unsigned char byte = static_cast<unsigned char>(c);
  return byte == ' ' || byte < 0x20 || byte == 0x7F || byte == '"';
}

}  // namespace

CSVFile::CSVFile(const Str& path, bool oem, bool writeHeader)
    : path_(path), oem_(oem), writeHeader_(writeHeader) {}

Str CSVFile::cleanValue(const Str& value) {
  Str text = value;
  text.trim();
  const int length = text.length();
  if (length >= 2) {
    const char partner = closingPartner(text.at(0));
    if (partner != 0 && text.at(length - 1) == partner) text.keepMid(1, length - 2);
  }
  Str clean;
  for (const char c : text.view()) {
    if (!isDropped(c)) clean += c;
  }
  return clean;
}

Str CSVFile::headerLine() const {
  Str line;
  for (int i = 1; i <= header_.count(); ++i) {
    if (i > 1) line += kSeparator;
    line += '"';
    line += header_[i];
    line += '"';
  }
  return line;
}

Str CSVFile::rowLine(const ArrayStr& values) {
  Str line;
  for (int i = 1; i <= values.count(); ++i) {
    if (i > 1) line += kSeparator;
    line += cleanValue(values[i]);
  }
  return line;
}

Str CSVFile::encoded(const Str& line) const { return oem_ ? line : line.oemToAnsiCopy(); }

bool CSVFile::appendRow(const ArrayStr& values) {
  File file(path_);
  bool created = false;
  if (!file.openAppend(created)) return false;
  bool written = true;
  if (created && writeHeader_) written = file.writeLine(encoded(headerLine()));
  written = written && file.writeLine(encoded(rowLine(values)));
  return file.close() && written;
}

}  // namespace quillet
