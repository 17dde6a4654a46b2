// Temporary part files (see PartFile.h).
#include "decode/PartFile.h"

#include <algorithm>

#include "base/FileNames.h"
#include "base/FileSystem.h"

namespace quillet {

namespace {

// File takes int counts: larger writes go in pieces of this size.
constexpr size_t kMaxWritePiece = 1 << 20;

}  // namespace

std::unique_ptr<PartFile> PartFile::create(const Str& directory) {
  std::unique_ptr<File> file = createUniqueFile(directory, "qdp");
  if (!file) return nullptr;
  return std::unique_ptr<PartFile>(new PartFile(std::move(file)));
}

PartFile::~PartFile() {
  if (kept_) return;  // File's destructor writes what is pending and closes
  file_.reset();
  // Best effort: a part file left behind holds a copy of mail the queue still has.
  static_cast<void>(removeFile(path_));
}

void PartFile::write(const char* data, size_t n) {
  size_ += n;
  while (n > 0 && !failed_) {
    const size_t piece = std::min(n, kMaxWritePiece);
    const int count = static_cast<int>(piece);
    if (file_->write(data, count) != count) failed_ = true;
    data += piece;
    n -= piece;
  }
}

bool PartFile::finish() {
  if (file_->isOpen() && !file_->close()) failed_ = true;
  return !failed_;
}

}  // namespace quillet
