// Lock files on open + flock (see Sema.h).
#include "base/Sema.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "base/ProcessContext.h"

namespace quillet {

namespace {

// How often one try may find that the file it locked was replaced or deleted meanwhile (a
// holder releasing at that moment) before the try counts as failed; bounds the loop when
// other processes keep recreating the file.
constexpr int kReplacedFileRetries = 8;

// True when the open descriptor and the path name the same file.
bool isFileAtPath(int fd, const char* path) {
  struct stat opened {};
  struct stat named {};
  if (fstat(fd, &opened) != 0 || stat(path, &named) != 0) return false;
  return opened.st_dev == named.st_dev && opened.st_ino == named.st_ino;
}

}  // namespace

Sema::Sema(const Str& name) : name_(name) {}

Sema::~Sema() {
  // Best effort: the lock goes with the descriptor even when the file cannot be deleted.
  static_cast<void>(release());
}

bool Sema::acquire(int attempts) {
  if (held()) return true;
  Str path(ProcessContext::instance().programDirectory());
  path += name_;
  if (attempts < 1) attempts = 1;
  for (int attempt = 0; attempt < attempts; ++attempt) {
    if (tryOnce(path)) {
      path_ = path;
      return true;
    }
  }
  return false;
}

bool Sema::tryOnce(const Str& path) {
  for (int retry = 0; retry < kReplacedFileRetries; ++retry) {
    // O_NOFOLLOW: a symbolic link planted at the lock's name is not followed.
    int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) return false;
    int locked;
    do {
      locked = flock(fd, LOCK_EX | LOCK_NB);
    } while (locked != 0 && errno == EINTR);
    if (locked != 0) {
      close(fd);
      return false;  // another process holds it
    }
    if (isFileAtPath(fd, path.c_str())) {
      handle_ = fd;
      return true;
    }
    // The holder released (deleted) the file between our open and our lock: the lock we
    // got guards nothing. Try again with the file now at the path.
    close(fd);
  }
  return false;
}

bool Sema::release() {
  if (!held()) return false;
  // Delete before close: whoever locks the old file after our close sees that it is no
  // longer at the path and tries again, instead of holding a lock nobody else can see.
  if (isFileAtPath(handle_, path_.c_str())) unlink(path_.c_str());
  close(handle_);
  handle_ = -1;
  return true;
}

}  // namespace quillet
