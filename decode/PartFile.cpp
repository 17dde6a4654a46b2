// Temporary part files (see PartFile.h).
#include "decode/PartFile.h"

#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include "base/CodePage.h"
#include "base/FileNames.h"

namespace quillet {

std::unique_ptr<PartFile> PartFile::create(const Str& directory) {
  Str dir = directory.empty() ? Str(".") : directory;
  if (dir.at(dir.length() - 1) != '/') dir += '/';
  std::string pattern = oemToAnsi(dir.view()) + "qdpXXXXXX";
  int fd = mkstemp(pattern.data());  // mode 0600
  if (fd < 0) return nullptr;
  Str path = dir + Str(std::string_view(pattern).substr(pattern.size() - 9));
  return std::unique_ptr<PartFile>(new PartFile(fd, path));
}

PartFile::~PartFile() {
  if (fd_ >= 0) close(fd_);
  if (!kept_) removeFile(path_);
}

void PartFile::flush() {
  size_t done = 0;
  while (done < fill_ && !failed_) {
    ssize_t n = ::write(fd_, buffer_ + done, fill_ - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      failed_ = true;
      break;
    }
    done += static_cast<size_t>(n);
  }
  fill_ = 0;
}

void PartFile::write(const char* data, size_t n) {
  if (fd_ < 0) {
    failed_ = true;
    return;
  }
  size_ += n;
  while (n > 0) {
    size_t chunk = kBufferSize - fill_ < n ? kBufferSize - fill_ : n;
    std::memcpy(buffer_ + fill_, data, chunk);
    fill_ += chunk;
    data += chunk;
    n -= chunk;
    if (fill_ == kBufferSize) flush();
  }
}

bool PartFile::finish() {
  if (fd_ >= 0) {
    flush();
    if (close(fd_) != 0) failed_ = true;
    fd_ = -1;
  }
  return !failed_;
}

}  // namespace quillet
