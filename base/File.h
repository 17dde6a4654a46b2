// File: one open file of the programs, with the open modes they need, a retrying open for
// files that another process may hold for a moment, optional write buffering, and a line
// reader for CR LF text files.
//
// Sharing is enforced with advisory locks (flock): modes that let others only read, or
// nothing (2, 3, 4, 5), hold an exclusive lock taken without waiting; modes 1 and 7 take
// none. Our own programs always lock before they write shared files.
// Files it creates get permission 0600 (they may hold passwords or mail).
// A File belongs to one thread. It does not convert line ends or code pages of contents.
// readLine returns at most kMaxLineLength bytes per line, so a file without line ends
// cannot make it use unbounded memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>  // SEEK_SET, SEEK_CUR, SEEK_END

#include "base/Buff.h"
#include "base/DateTime.h"
#include "base/FileNames.h"
#include "base/Str.h"

namespace quillet {

// How a read ended. kData: everything asked for (or a whole line) arrived and more may
// follow. kEnd: the end of the file came first. kFailed: the system reported an error; what
// arrived is not the file's contents and must not be used as if it were.
enum class [[nodiscard]] ReadState{kData, kEnd, kFailed};

// The result of File::read: the bytes that arrived and how the read ended. At kEnd, bytes
// may be anything from 0 to the count asked for.
struct [[nodiscard]] ReadResult {
  int bytes = 0;
  ReadState state = ReadState::kFailed;

  bool failed() const { return state == ReadState::kFailed; }
  bool atEnd() const { return state == ReadState::kEnd; }
};

class File {
 public:
  // The open modes.
  static constexpr int kReadShared = 1;          // read; others read and write; retried
  static constexpr int kReadWriteExclusive = 2;  // read/write; others nothing; retried
  static constexpr int kReadWriteShareRead = 3;  // read/write; others read; retried
  static constexpr int kCreate = 4;              // read/write, created empty; buffered
  static constexpr int kOpenOrCreate = 5;        // read/write at the end; buffered
  static constexpr int kNone = 6;                // opens nothing
  static constexpr int kReadSharedOnce = 7;      // as 1, without retries
  static constexpr int kCreateNew = 8;           // as 4, but fails when the name exists

  // readLine cuts a longer line: it returns this many bytes as one line and goes on with
  // the rest as the next line.
  static constexpr int kMaxLineLength = 1024 * 1024;

  explicit File(const Str& name);  // name in the OEM code page (CP850)
  virtual ~File();                 // closes (pending bytes are written)
  File(const File&) = delete;
  File& operator=(const File&) = delete;

  // Opens in the given mode (table above); true when the file is open. Modes 1 to 3 make
  // up to ProcessContext::fileOpenAttempts() attempts one second apart, and none when
  // ProcessContext::checkBeforeFileOpen() is set and the file does not exist. A lock held
  // by someone else is a failed attempt. An open File is closed first. Mode 8 leaves
  // nothing behind when it fails after creating the file, so a failed open with the name
  // in use means someone else holds that name.
  [[nodiscard]] virtual bool open(int mode);
  // Writes pending bytes and closes. False when writing or closing failed (the file is
  // closed anyway and later writes go straight to disk).
  [[nodiscard]] virtual bool close();
  // Opens an existing file in mode 3 at its end (created = false), or else creates it in
  // mode 5 (created = true). Writes are buffered. True when open.
  [[nodiscard]] bool openAppend(bool& created);
  bool isOpen() const { return fd_ >= 0; }

  // Reads up to n bytes: kData when all n arrived, kEnd when the end of the file came first
  // (n <= 0 reads nothing and is kData), kFailed when the file is closed or the read failed.
  [[nodiscard]] ReadResult read(void* buffer, int n);
  // Bytes written (or buffered), 0 when closed or on failure. Without buffering every
  // write is followed by a flush to disk; a failed flush is a failed write.
  [[nodiscard]] int write(const void* data, int n);
  // Writes the data (when n is above 0) and CR LF; true when all was written.
  [[nodiscard]] bool writeLine(const char* data, int n);
  [[nodiscard]] bool writeLine(const Str& line);
  // Reads the next line: up to LF, CR, CR LF or Ctrl-Z (26), terminator not included; a
  // last line without terminator counts. kData with a line, kEnd at the end of the file,
  // kFailed when the file is closed or a read failed; the line is empty unless kData.
  [[nodiscard]] ReadState readLine(Str& line);

  // Moves the position (SEEK_SET, SEEK_CUR, SEEK_END); the new position, -1 on failure.
  [[nodiscard]] int64_t seek(int method, int64_t distance);
  // The file size (pending bytes included), -1 when closed or on failure.
  [[nodiscard]] int64_t size();
  // True when the position is at or past the end (or the file is closed).
  bool atEnd();

  // Writes pending bytes and flushes the file's data to disk: true when durable.
  [[nodiscard]] bool sync();
  // Whether each write goes to disk at once (default) or is buffered until close/sync.
  bool flushEachWrite() const { return flushEachWrite_; }
  void setFlushEachWrite(bool on);

  const Str& name() const { return name_; }

 protected:
  // The one place bytes come from the disk: ::read on the descriptor (interrupted calls
  // are the caller's to repeat). Tests replace it to make a read fail part-way.
  virtual std::ptrdiff_t readDescriptor(int fd, char* into, std::size_t n);

 private:
  [[nodiscard]] bool openOnce(int mode);
  [[nodiscard]] bool writePending();
  int writeAll(const char* data, int n);  // bytes written before an error

  Str name_;
  int fd_ = -1;
  bool flushEachWrite_ = true;
  Buff writeBuffer_;
  int pending_ = 0;           // bytes at the start of writeBuffer_ not yet written
  bool writeFailed_ = false;  // a buffered write was lost; close() reports it
};

}  // namespace quillet
