// RecordFile: a data file made of fixed-length text records without a header, the
// mechanism behind DataPOP.DAT, DataUser.DAT and DATACONF.DAT.
//
// One record at a time is current; its bytes are held in memory, read and changed there
// by field, and written back (only that record's bytes, at its own offset) when another
// record is chosen, on flush() and on close(). So a bad record elsewhere in the file is
// never rewritten, and a write never moves or touches other records. A record that is
// written back gets its separators and CR LF restored; its field contents stay as they are.
//
// Reading is tolerant by design: the record count is the file size divided by the record
// length (an incomplete last record is not counted), fields are read at their fixed
// offsets whatever the separators say, a number is the decimal value at the start of its
// field (0 when there is none, saturated to 32 bits). A file that is not a record file
// at all therefore reads as records of garbage, never as an error or a crash.
//
// Files that are read often may use a read cache of up to kCacheRecords records. The file
// is opened read/write with others allowed only to read (an exclusive advisory lock), and
// created (mode 0600) when missing. It does not know any field's meaning: the data file
// classes do.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "base/File.h"
#include "base/Str.h"
#include "config/RecordLayout.h"

namespace quillet {

class RecordFile {
 public:
  static constexpr int kCacheRecords = 100;

  RecordFile(const RecordFile&) = delete;
  RecordFile& operator=(const RecordFile&) = delete;
  virtual ~RecordFile();  // close()

  // Creates the file empty when it does not exist, then opens it for reading and writing
  // (retried like every shared open). True when open; false also when the file was open
  // and its changed current record could not be written back (it is closed then).
  [[nodiscard]] bool open();
  // Writes a changed current record back, then closes. True when both succeeded; the file
  // is closed either way. Closing a closed file is true.
  [[nodiscard]] bool close();
  bool isOpen() const { return file_.isOpen(); }

  // Whole records in the file; 0 when closed.
  [[nodiscard]] int recordCount();
  // Makes record n (1-based) current after writing a changed current record back. False
  // when n is out of range, the write-back failed (the changed record stays current) or
  // the record could not be read (no record is current then).
  [[nodiscard]] bool goTo(int n);
  // The current record's number, 0 when none.
  int current() const { return current_; }

  // Appends a blank record after the last whole record and makes it current; an
  // incomplete tail (not a record) is overwritten. False when it could not be written.
  [[nodiscard]] bool appendBlank();
  // Writes the current record back if it was changed. True when nothing needed writing or
  // the write succeeded.
  [[nodiscard]] bool flush();

  // --- fields of the current record (no current record: empty text, 0, false) ---
  // The raw characters of a field.
  [[nodiscard]] Str readText(int offset, int width) const;
  // The raw characters with control bytes (below 0x20, and 0x7F) turned into blanks and
  // blanks trimmed at both ends: what a field means as one line of text.
  [[nodiscard]] Str readTrimmedText(int offset, int width) const;
  // The decimal number at the start of the field (leading blanks, sign); 0 when none.
  [[nodiscard]] int32_t readNumber(int offset, int width) const;
  // True when the one-character field is not a blank.
  [[nodiscard]] bool readFlag(int offset) const;
  [[nodiscard]] bool isDeleted() const { return readFlag(RecordLayout::kDeletedFlagOffset); }

  // Left-aligned, blank-padded, cut to the width.
  void writeText(int offset, int width, const Str& value);
  void writeNumber(int offset, int width, int32_t value);
  // "*" when set, a blank when clear.
  void writeFlag(int offset, bool set);
  void setDeleted(bool deleted) { writeFlag(RecordLayout::kDeletedFlagOffset, deleted); }

  // The blank record of this file's kind (separators, blanks, CR LF).
  [[nodiscard]] Str blankRecord() const;

  const Str& fileName() const { return file_.name(); }
  const RecordLayout& layout() const { return layout_; }

 protected:
  // cached: read through the cache of up to kCacheRecords records.
  RecordFile(const Str& fileName, const RecordLayout& layout, bool cached);

 private:
  [[nodiscard]] bool readRecord(int n, char* target);
  [[nodiscard]] bool fillCache(int n);
  [[nodiscard]] bool writeRecord(int n, char* record);
  [[nodiscard]] int64_t offsetOf(int n) const;
  [[nodiscard]] bool fieldInRecord(int offset, int width) const;

  File file_;
  const RecordLayout& layout_;
  const bool cached_;
  std::vector<char> record_;  // the current record's bytes
  int current_ = 0;
  bool changed_ = false;
  std::vector<char> cache_;  // records cacheFirst_ .. cacheFirst_ + cacheCount_ - 1
  int cacheFirst_ = 0;
  int cacheCount_ = 0;
};

}  // namespace quillet
