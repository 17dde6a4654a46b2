// UidlStore: the unique ids (UIDL) of messages already fetched from each mailbox, so that
// with messages left on the server the same message is not fetched twice. Held in memory
// as lines of key + id and in the file datauidl.dat, one line each, in list order.
//
// The key of a mailbox is its POP3 host padded with blanks to, or cut at, 128 characters,
// followed by its user name treated the same way; the id starts at character 257. Keys are
// compared without regard to case. The file is replaced atomically, so a crash leaves the
// old or the new list, never a part. The file is the server's own: lines are read as they
// are (each cut at File::kMaxLineLength), at most kMaxFileBytes of them; ids that could not
// be stored as one line are never written.
//
// A file that exists but cannot be read is never overwritten: it holds the ids of every
// mailbox, and replacing it by the ids of one would have the other mailboxes' messages
// fetched and delivered again. Until a later attempt reads it, saving is refused.
//
// One lock guards the list; mailbox threads call in concurrently. The store does not decide
// when it is loaded or saved (the mailbox thread does).
#pragma once

#include <cstdint>
#include <mutex>

#include "base/ArrayTmpl.h"
#include "base/Str.h"

namespace quillet {

class UidlStore {
 public:
  static constexpr const char* kFileName = "datauidl.dat";
  static constexpr int kKeyFieldWidth = 128;
  static constexpr int64_t kMaxFileBytes = 256LL * 1024 * 1024;

  // A store kept in filePath (the data directory's datauidl.dat).
  explicit UidlStore(const Str& filePath);
  UidlStore(const UidlStore&) = delete;
  UidlStore& operator=(const UidlStore&) = delete;

  // With leaveMessagesOnServer, replaces the list by the lines of the file (a missing file
  // gives an empty list); without it, empties the list and deletes the file. False when
  // the file exists but cannot be read, or cannot be deleted.
  bool load(bool leaveMessagesOnServer);

  // True when the ids are in memory; after a failed load, tries to read the file again.
  [[nodiscard]] bool ensureLoaded();

  // Empties ids, then appends the non-empty id of every line of the mailbox, in order.
  void knownIds(const Str& host, const Str& user, ArrayStr& ids) const;

  // Replaces the mailbox's lines by key + id for each usable id of ids, in order, and
  // writes the whole list to the file. False when the file could not be replaced (it then
  // keeps its old contents; the list in memory is updated anyway), and, changing nothing,
  // while the file could not be read.
  [[nodiscard]] bool saveIds(const Str& host, const Str& user, const ArrayStr& ids);

  // The 256-character key of a mailbox.
  [[nodiscard]] static Str keyFor(const Str& host, const Str& user);

  // Number of lines (all mailboxes).
  [[nodiscard]] int lineCount() const;
  const Str& filePath() const { return filePath_; }

 private:
  // Reads the file with the given File open mode; true also when it is missing.
  [[nodiscard]] bool readFileLocked(int openMode);
  [[nodiscard]] bool writeFileLocked() const;

  const Str filePath_;
  mutable std::mutex mutex_;
  ArrayStr lines_;      // guarded by mutex_
  bool loaded_ = true;  // guarded by mutex_: false after the file could not be read
};

}  // namespace quillet
