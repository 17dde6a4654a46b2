// A fresh temporary file for one decoded part, written through File's write buffer.
//
// Files are made by base's createUniqueFile in the directory the caller names, so their
// names are ours alone ("qdp" + random characters) and never derived from the message;
// they are created with mode 0600 because they hold mail. The file is deleted when the
// object dies unless keep() was called (the attachment list then owns it).
#pragma once

#include <cstdint>
#include <memory>

#include "base/File.h"
#include "base/Str.h"
#include "decode/ContentDecoders.h"

namespace quillet {

class PartFile final : public ByteSink {
 public:
  // A new empty file in directory (OEM; empty means the current directory); null when it
  // cannot be made.
  [[nodiscard]] static std::unique_ptr<PartFile> create(const Str& directory);
  ~PartFile() override;
  PartFile(const PartFile&) = delete;
  PartFile& operator=(const PartFile&) = delete;

  using ByteSink::write;
  void write(const char* data, size_t n) override;
  // Writes what is buffered and closes; false when any write failed.
  [[nodiscard]] bool finish();
  // Leaves the file on disk when this object dies.
  void keep() { kept_ = true; }

  const Str& path() const { return path_; }  // OEM, like every file name we hold
  uint64_t size() const { return size_; }

 private:
  explicit PartFile(std::unique_ptr<File> file) : file_(std::move(file)), path_(file_->name()) {}

  std::unique_ptr<File> file_;
  Str path_;
  uint64_t size_ = 0;
  bool failed_ = false;
  bool kept_ = false;
};

}  // namespace quillet
