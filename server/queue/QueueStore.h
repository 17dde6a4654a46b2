// QueueStore: the message queue on disk. Every queued message is a message file
// "MSGxxxxx.TXT" and an index file of the same base name ("INX" in MSG-IN, "ONX" in
// MSG-OUT) in a queue directory under the program directory; archived copies go to
// HIST-OUT/YYYY/MM/DD.
//
// Durability: message files are flushed to disk before their index is written; index
// files are replaced atomically (temporary file, flush, rename, flush of the directory),
// so a crash leaves either the old or the new complete index. Everything the store creates
// is readable by its owner only (files 0600, directories 0700).
//
// Index files found on disk are untrusted: at most kMaxIndexFileBytes are read, lines are
// cut at File::kMaxLineLength, stored paths are reduced to their base name and joined to
// the current queue directory, and an index that is short, garbled, too large or names a
// missing message file is skipped and left where it is.
//
// The store does not hold the in-memory queue lists or their locks (the decode thread and
// the outbound manager own those) and writes no messages: callers report failures.
#pragma once

#include <cstdint>
#include <memory>

#include "base/ArrayTmpl.h"
#include "base/DateTime.h"
#include "base/ErrorCodes.h"
#include "base/File.h"
#include "base/Str.h"
#include "server/queue/IndexFileFormat.h"
#include "server/queue/MessageNameCounter.h"
#include "server/queue/QueuePaths.h"
#include "server/queue/SMTPInfo.h"

namespace quillet {

class QueueStore {
 public:
  static constexpr int64_t kMaxIndexFileBytes = 16 * 1024 * 1024;  // about 200000 recipients
  static constexpr const char* kArchiveDirectoryName = "HIST-OUT";

  // A store under programDirectory (OEM text; empty = the current directory), taking
  // message names from counter and the local date and time from base/Clock.h.
  explicit QueueStore(const Str& programDirectory,
                      MessageNameCounter& counter = MessageNameCounter::processCounter());

  // The program directory, ending in '/' (or empty).
  const Str& programDirectory() const { return programDirectory_; }
  // The queue's directory, ending in '/'.
  [[nodiscard]] Str queueDirectory(QueueNumber queue) const;

  // Creates MSG-IN and MSG-OUT (0700); existing ones stay as they are. True when both
  // exist afterwards.
  [[nodiscard]] bool createQueueDirectories() const;

  // Creates a new, empty message file "MSG" + five hex digits + ".TXT" in the queue's
  // directory (or in directory, which ends in '/') and opens it for writing (buffered: the
  // caller closes it, and checks the result, before writing the index). Returns the open
  // file and sets path; returns null with path cleared when no name could be created.
  [[nodiscard]] std::unique_ptr<File> createMessageFile(QueueNumber queue, Str& path) const;
  [[nodiscard]] std::unique_ptr<File> createMessageFileIn(const Str& directory, Str& path) const;

  // Copies sourcePath byte for byte into a new message file of the queue, flushed to disk.
  // 0 and path set; err::kCreateTempFile when no file could be created; err::kWriteTempFile
  // when the source could not be read or the copy not written (the new file is deleted).
  // path is cleared on failure.
  [[nodiscard]] int copyIntoNewMessageFile(const Str& sourcePath, QueueNumber queue,
                                           Str& path) const;

  // The stored path reduced to its base name, in the queue's directory.
  [[nodiscard]] Str relocate(const Str& storedPath, QueueNumber queue) const;

  // Sets up a new entry (SMTPInfo::init) with the current time.
  void initEntry(SMTPInfo& entry, const Str& messagePath, const SMTPInfoAddress& sender,
                 const ArraySMTPInfoAddress& recipients, uint32_t lifetimeSeconds,
                 uint32_t priority) const;

  // Derives the index path from the message path and stores it in the entry, flushes the
  // message file (which must be complete and closed) to disk, and replaces the index file
  // atomically. False when the message path is empty, the message file cannot be flushed
  // or a write fails; the old index file, if any, is then unchanged.
  [[nodiscard]] bool writeIndex(SMTPInfo& entry, QueueNumber queue) const;

  // Reads the index file named by entry.indexFile (relocated into the queue's directory)
  // and fills the entry; its paths become the relocated ones. Anything but Loaded leaves
  // the entry unchanged and the file in place.
  [[nodiscard]] IndexStatus loadIndex(SMTPInfo& entry, QueueNumber queue) const;

  // Appends the base names of the queue's index files ("*.INX" or "*.ONX", case ignored)
  // in directory order. False when the directory cannot be read.
  [[nodiscard]] bool listIndexFiles(QueueNumber queue, ArrayStr& names) const;

  // Copies the entry's message file into HIST-OUT/YYYY/MM/DD (today's local date; the
  // directories are created as needed, 0700) under its own name, replacing a copy of the
  // same name, and flushed to disk. True and archivePath set on success; false and
  // archivePath cleared otherwise.
  [[nodiscard]] bool archiveMessage(const SMTPInfo& entry, Str& archivePath) const;

 private:
  [[nodiscard]] bool createArchiveDirectory(const Date& date, Str& directory) const;

  Str programDirectory_;
  MessageNameCounter& counter_;
};

}  // namespace quillet
