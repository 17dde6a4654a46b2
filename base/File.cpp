// The File class: open modes with advisory locks, the retrying open, buffered and
// flushed writes, and the line reader.
#include "base/File.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "base/ProcessContext.h"

namespace quillet {

namespace {

constexpr int kWriteBufferSize = 64 * 1024;
constexpr int kReadLineBlock = 512;
constexpr char kCtrlZ = 26;

bool isRetriedMode(int mode) {
  return mode >= File::kReadShared && mode <= File::kReadWriteShareRead;
}

// Modes that let others read at most hold an exclusive lock.
bool isLockedMode(int mode) {
  return (mode >= File::kReadWriteExclusive && mode <= File::kOpenOrCreate) ||
         mode == File::kCreateNew;
}

bool isBufferedMode(int mode) {
  return mode == File::kCreate || mode == File::kOpenOrCreate || mode == File::kCreateNew;
}

int openFlags(int mode) {
  switch (mode) {
    case File::kReadShared:
    case File::kReadSharedOnce:
      return O_RDONLY;
    case File::kReadWriteExclusive:
    case File::kReadWriteShareRead:
      return O_RDWR;
    case File::kCreate:
    case File::kOpenOrCreate:
      // Truncation for kCreate waits until the lock is held, so a file someone else holds
      // is never emptied under them.
      return O_RDWR | O_CREAT;
    case File::kCreateNew:
      // The kernel decides between racing creators: only one is handed the name.
      return O_RDWR | O_CREAT | O_EXCL;
    default:
      return -1;
  }
}

}  // namespace

File::File(const Str& name) : name_(name) {}

File::~File() {
  // Callers that need to know whether pending bytes reached the disk close (or sync)
  // before; here there is no one left to tell.
  static_cast<void>(File::close());
}

bool File::open(int mode) {
  // Reopening drops the old file; its pending bytes were the previous user's to sync.
  if (isOpen()) static_cast<void>(File::close());
  if (!isRetriedMode(mode)) return openOnce(mode);

  ProcessContext& context = ProcessContext::instance();
  if (context.checkBeforeFileOpen() && !fileExists(name_)) return false;
  const int attempts = context.fileOpenAttempts();
  for (int attempt = 1; attempt <= attempts; ++attempt) {
    if (openOnce(mode)) return true;
    if (attempt < attempts) waitSeconds(1);
  }
  return false;
}

bool File::openOnce(int mode) {
  const int flags = openFlags(mode);
  if (flags < 0 || name_.isBlank()) return false;
  const Str systemName = name_.oemToAnsiCopy();
  // Non-blocking so that a FIFO given as a name cannot hang the open; refused below.
  int fd;
  do {
    fd = ::open(systemName.c_str(), flags | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, 0600);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return false;

  struct stat info {};
  bool ok = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
  if (ok) ok = ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) == 0;
  if (ok && isLockedMode(mode)) {
    int locked;
    do {
      locked = ::flock(fd, LOCK_EX | LOCK_NB);
    } while (locked != 0 && errno == EINTR);
    ok = locked == 0;
  }
  if (ok && mode == kCreate) ok = ::ftruncate(fd, 0) == 0;
  if (ok && mode == kOpenOrCreate) ok = ::lseek(fd, 0, SEEK_END) >= 0;
  if (!ok) {
    ::close(fd);
    // The name was created by this open alone; a failed open leaves nothing behind.
    if (mode == kCreateNew) ::unlink(systemName.c_str());
    return false;
  }
  ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);

  fd_ = fd;
  pending_ = 0;
  writeFailed_ = false;
  // Each open decides buffering afresh, so a File reused after a buffered mode does not
  // silently keep buffering writes that callers expect on disk.
  flushEachWrite_ = !isBufferedMode(mode);
  return true;
}

bool File::openAppend(bool& created) {
  if (fileExists(name_) && open(kReadWriteShareRead)) {
    if (seek(SEEK_END, 0) < 0) {
      static_cast<void>(File::close());  // nothing was written through it
      created = false;
      return false;
    }
    flushEachWrite_ = false;
    created = false;
    return true;
  }
  created = true;
  return open(kOpenOrCreate);
}

bool File::close() {
  if (!isOpen()) return true;
  bool ok = writePending() && !writeFailed_;
  // On Linux the descriptor is released even when close() is interrupted.
  if (::close(fd_) != 0 && errno != EINTR) ok = false;
  fd_ = -1;
  pending_ = 0;
  writeFailed_ = false;
  if (!ok) flushEachWrite_ = true;
  return ok;
}

int File::writeAll(const char* data, int n) {
  int done = 0;
  while (done < n) {
    const ssize_t written = ::write(fd_, data + done, static_cast<size_t>(n - done));
    if (written < 0) {
      if (errno == EINTR) continue;
      break;
    }
    if (written == 0) break;
    done += static_cast<int>(written);
  }
  return done;
}

bool File::writePending() {
  if (pending_ == 0) return true;
  const int n = pending_;
  pending_ = 0;
  if (writeAll(writeBuffer_.data(), n) == n) return true;
  writeFailed_ = true;
  return false;
}

int File::write(const void* data, int n) {
  if (!isOpen() || n <= 0 || data == nullptr) return 0;
  const char* bytes = static_cast<const char*>(data);
  if (flushEachWrite_) {
    if (!writePending()) return 0;
    const int done = writeAll(bytes, n);
    if (done == 0 || ::fdatasync(fd_) != 0) return 0;
    return done;
  }
  if (pending_ + n > kWriteBufferSize) {
    if (!writePending()) return 0;
  }
  if (n >= kWriteBufferSize) {
    const int done = writeAll(bytes, n);
    if (done < n) writeFailed_ = true;
    return done;
  }
  if (writeBuffer_.size() < kWriteBufferSize) writeBuffer_.resize(kWriteBufferSize);
  std::memcpy(writeBuffer_.data() + pending_, bytes, static_cast<size_t>(n));
  pending_ += n;
  return n;
}

bool File::writeLine(const char* data, int n) {
  if (n < 0) n = 0;
  if (flushEachWrite_) {
    // One write, so the line costs one flush to disk rather than two.
    std::string line(data == nullptr ? "" : std::string(data, static_cast<size_t>(n)));
    line += "\r\n";
    return write(line.data(), static_cast<int>(line.size())) == static_cast<int>(line.size());
  }
  if (n > 0 && write(data, n) != n) return false;
  return write("\r\n", 2) == 2;
}

bool File::writeLine(const Str& line) { return writeLine(line.c_str(), line.length()); }

std::ptrdiff_t File::readDescriptor(int fd, char* into, std::size_t n) {
  return ::read(fd, into, n);
}

ReadResult File::read(void* buffer, int n) {
  if (!isOpen() || buffer == nullptr || !writePending()) return {0, ReadState::kFailed};
  char* bytes = static_cast<char*>(buffer);
  int done = 0;
  while (done < n) {
    const std::ptrdiff_t got =
        readDescriptor(fd_, bytes + done, static_cast<std::size_t>(n - done));
    if (got < 0) {
      if (errno == EINTR) continue;
      return {done, ReadState::kFailed};
    }
    if (got == 0) return {done, ReadState::kEnd};
    done += static_cast<int>(got);
  }
  return {done, ReadState::kData};
}

ReadState File::readLine(Str& line) {
  line = Str();
  if (!isOpen() || !writePending()) return ReadState::kFailed;
  const int64_t start = ::lseek(fd_, 0, SEEK_CUR);
  if (start < 0) return ReadState::kFailed;

  std::string text;
  int64_t consumed = 0;
  bool complete = false;
  bool afterCr = false;
  char block[kReadLineBlock];
  while (!complete) {
    std::ptrdiff_t got;
    do {
      got = readDescriptor(fd_, block, sizeof block);
    } while (got < 0 && errno == EINTR);
    // A failed read leaves the position where the line started: a half line is never
    // handed out as a whole one.
    if (got < 0) {
      static_cast<void>(::lseek(fd_, start, SEEK_SET));
      return ReadState::kFailed;
    }
    if (got == 0) break;  // end of file: what was read is the last line
    for (std::ptrdiff_t i = 0; i < got; ++i) {
      const char c = block[i];
      if (afterCr) {  // the character after a CR ends the line; a LF belongs to the CR
        if (c == '\n') ++consumed;
        complete = true;
        break;
      }
      if (c == '\n' || c == kCtrlZ) {
        ++consumed;
        complete = true;
        break;
      }
      if (c == '\r') {
        ++consumed;
        afterCr = true;
        continue;
      }
      if (text.size() == static_cast<size_t>(kMaxLineLength)) {  // cut an overlong line here
        complete = true;
        break;
      }
      text.push_back(c);
      ++consumed;
    }
  }
  if (::lseek(fd_, start + consumed, SEEK_SET) < 0) return ReadState::kFailed;
  if (consumed == 0) return ReadState::kEnd;
  line = Str(std::string_view(text));
  return ReadState::kData;
}

int64_t File::seek(int method, int64_t distance) {
  if (!isOpen() || !writePending()) return -1;
  const off_t position = ::lseek(fd_, static_cast<off_t>(distance), method);
  return position < 0 ? -1 : static_cast<int64_t>(position);
}

int64_t File::size() {
  if (!isOpen() || !writePending()) return -1;
  struct stat info {};
  if (::fstat(fd_, &info) != 0) return -1;
  return static_cast<int64_t>(info.st_size);
}

bool File::atEnd() {
  if (!isOpen()) return true;
  const int64_t total = size();
  const off_t position = ::lseek(fd_, 0, SEEK_CUR);
  return total < 0 || position < 0 || position >= total;
}

bool File::sync() {
  if (!isOpen()) return false;
  const bool written = writePending();
  return written && !writeFailed_ && ::fdatasync(fd_) == 0;
}

void File::setFlushEachWrite(bool on) {
  if (on && isOpen()) (void)writePending();  // a failure is remembered for close()
  flushEachWrite_ = on;
}

}  // namespace quillet
