// RecordFile: current-record handling, the read cache and the write-back of one record.
#include "config/RecordFile.h"

#include <algorithm>
#include <cassert>
#include <climits>
#include <cstring>

#include "base/FileNames.h"

namespace quillet {

RecordFile::RecordFile(const Str& fileName, const RecordLayout& layout, bool cached)
    : file_(fileName),
      layout_(layout),
      cached_(cached),
      record_(static_cast<size_t>(layout.length())) {
  assert(layout.isConsistent());
}

RecordFile::~RecordFile() {
  // Callers that must know whether a changed record reached the file close before.
  static_cast<void>(close());
}

bool RecordFile::open() {
  // A changed record of the previous opening that could not be written is reported here
  // rather than lost without a word.
  if (!close()) return false;
  if (!fileExists(file_.name())) {
    // Open-or-create rather than create: a file that another program made meanwhile is
    // kept, never truncated.
    File creator(file_.name());
    if (!creator.open(File::kOpenOrCreate)) return false;
    if (!creator.close()) return false;
  }
  return file_.open(File::kReadWriteShareRead);
}

bool RecordFile::close() {
  if (!file_.isOpen()) return true;
  bool written = flush();
  bool closed = file_.close();
  current_ = 0;
  changed_ = false;
  cacheCount_ = 0;
  return written && closed;
}

int RecordFile::recordCount() {
  int64_t size = file_.isOpen() ? file_.size() : 0;
  if (size <= 0) return 0;
  return static_cast<int>(std::min<int64_t>(size / layout_.length(), INT_MAX));
}

int64_t RecordFile::offsetOf(int n) const { return static_cast<int64_t>(n - 1) * layout_.length(); }

bool RecordFile::goTo(int n) {
  if (!flush()) return false;
  if (n < 1 || n > recordCount()) return false;
  current_ = 0;
  if (!readRecord(n, record_.data())) return false;
  current_ = n;
  return true;
}

bool RecordFile::readRecord(int n, char* target) {
  const size_t length = static_cast<size_t>(layout_.length());
  if (cached_) {
    if (n < cacheFirst_ || n >= cacheFirst_ + cacheCount_) {
      if (!fillCache(n)) return false;
    }
    std::memcpy(target, cache_.data() + static_cast<size_t>(n - cacheFirst_) * length, length);
    return true;
  }
  if (file_.seek(SEEK_SET, offsetOf(n)) < 0) return false;
  const ReadResult got = file_.read(target, layout_.length());
  return !got.failed() && got.bytes == layout_.length();
}

// Reads up to kCacheRecords whole records from record n on.
bool RecordFile::fillCache(int n) {
  cacheCount_ = 0;
  int count = std::min(kCacheRecords, recordCount() - n + 1);
  if (count < 1) return false;
  const int bytes = count * layout_.length();
  cache_.resize(static_cast<size_t>(bytes));
  if (file_.seek(SEEK_SET, offsetOf(n)) < 0) return false;
  const ReadResult got = file_.read(cache_.data(), bytes);
  if (got.failed()) return false;
  // Another program may have shortened the file meanwhile: keep the whole records read.
  count = got.bytes / layout_.length();
  if (count < 1) return false;
  cacheFirst_ = n;
  cacheCount_ = count;
  return true;
}

bool RecordFile::writeRecord(int n, char* record) {
  layout_.restoreStructure(record);
  if (file_.seek(SEEK_SET, offsetOf(n)) < 0) return false;
  if (file_.write(record, layout_.length()) != layout_.length()) return false;
  if (cached_ && n >= cacheFirst_ && n < cacheFirst_ + cacheCount_) {
    const size_t length = static_cast<size_t>(layout_.length());
    std::memcpy(cache_.data() + static_cast<size_t>(n - cacheFirst_) * length, record, length);
  }
  return true;
}

bool RecordFile::flush() {
  if (current_ == 0 || !changed_) return true;
  if (!writeRecord(current_, record_.data())) return false;
  changed_ = false;
  return true;
}

bool RecordFile::appendBlank() {
  if (!file_.isOpen() || !flush()) return false;
  const int n = recordCount() + 1;
  std::vector<char> blank(static_cast<size_t>(layout_.length()));
  layout_.fillBlank(blank.data());
  current_ = 0;
  if (!writeRecord(n, blank.data())) return false;
  record_ = std::move(blank);
  current_ = n;
  changed_ = false;
  return true;
}

bool RecordFile::fieldInRecord([[maybe_unused]] int offset, [[maybe_unused]] int width) const {
  // Offsets are constants of the data file classes; a wrong one is a programming error.
  assert(offset >= 1 && width >= 1 && offset + width <= layout_.length() - 2);
  return current_ != 0;
}

Str RecordFile::readText(int offset, int width) const {
  if (!fieldInRecord(offset, width)) return Str();
  return Str(record_.data() + offset, width);
}

Str RecordFile::readTrimmedText(int offset, int width) const {
  Str text = readText(offset, width);
  char* bytes = text.data();
  for (int i = 0; i < text.length(); ++i) {
    auto byte = static_cast<unsigned char>(bytes[i]);
    if (byte < 0x20 || byte == 0x7F) bytes[i] = ' ';
  }
  return text.trim();
}

int32_t RecordFile::readNumber(int offset, int width) const {
  return readText(offset, width).toLong();
}

bool RecordFile::readFlag(int offset) const {
  if (!fieldInRecord(offset, 1)) return false;
  return record_[static_cast<size_t>(offset)] != ' ';
}

void RecordFile::writeText(int offset, int width, const Str& value) {
  if (!fieldInRecord(offset, width)) return;
  const int used = std::min(value.length(), width);
  char* field = record_.data() + offset;
  std::memcpy(field, value.c_str(), static_cast<size_t>(used));
  std::memset(field + used, ' ', static_cast<size_t>(width - used));
  changed_ = true;
}

void RecordFile::writeNumber(int offset, int width, int32_t value) {
  writeText(offset, width, Str::fromInt(value));
}

void RecordFile::writeFlag(int offset, bool set) {
  if (!fieldInRecord(offset, 1)) return;
  record_[static_cast<size_t>(offset)] = set ? RecordLayout::kDeletedMark : ' ';
  changed_ = true;
}

Str RecordFile::blankRecord() const {
  Str blank(' ', layout_.length());
  layout_.fillBlank(blank.data());
  return blank;
}

}  // namespace quillet
