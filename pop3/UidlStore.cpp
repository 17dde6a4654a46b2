// The unique-id store and its file datauidl.dat (see UidlStore.h).
#include "pop3/UidlStore.h"

#include "base/File.h"
#include "base/FileNames.h"
#include "base/FileSystem.h"
#include "pop3/Pop3Replies.h"

namespace quillet {

UidlStore::UidlStore(const Str& filePath) : filePath_(filePath) {}

Str UidlStore::keyFor(const Str& host, const Str& user) {
  Str hostField = host;
  Str userField = user;
  hostField.setLength(kKeyFieldWidth);
  userField.setLength(kKeyFieldWidth);
  return hostField + userField;
}

bool UidlStore::load(bool leaveMessagesOnServer) {
  std::lock_guard<std::mutex> lock(mutex_);
  lines_.clear();
  if (!leaveMessagesOnServer) {
    loaded_ = true;  // nothing is kept, so nothing can be lost
    return removeFile(filePath_);
  }
  loaded_ = readFileLocked(File::kReadShared);
  return loaded_;
}

bool UidlStore::ensureLoaded() {
  std::lock_guard<std::mutex> lock(mutex_);
  // Without retries: mailbox threads wait on the lock meanwhile.
  if (!loaded_) loaded_ = readFileLocked(File::kReadSharedOnce);
  return loaded_;
}

bool UidlStore::readFileLocked(int openMode) {
  lines_.clear();
  if (!fileExists(filePath_)) return true;
  File file(filePath_);
  if (!file.open(openMode)) return false;
  int64_t bytes = 0;
  Str line;
  while (bytes < kMaxFileBytes) {
    const ReadState got = file.readLine(line);
    // Ids known before a read error are not trusted as the whole list: the store stays
    // unloaded, so nothing is saved over the file from a partial copy.
    if (got == ReadState::kFailed) {
      lines_.clear();
      return false;
    }
    if (got == ReadState::kEnd) break;
    bytes += line.length() + 2;
    lines_.add(line);
  }
  static_cast<void>(file.close());  // opened for reading only: nothing to lose
  return true;
}

void UidlStore::knownIds(const Str& host, const Str& user, ArrayStr& ids) const {
  const Str key = keyFor(host, user);
  ids.clear();
  std::lock_guard<std::mutex> lock(mutex_);
  for (const Str& line : lines_) {
    if (line.length() <= key.length() || !line.startsWith(key.c_str(), true)) continue;
    ids.add(line.mid(key.length()));
  }
}

bool UidlStore::saveIds(const Str& host, const Str& user, const ArrayStr& ids) {
  const Str key = keyFor(host, user);
  std::lock_guard<std::mutex> lock(mutex_);
  if (!loaded_) return false;
  for (int i = lines_.count(); i >= 1; --i) {
    if (lines_[i].startsWith(key.c_str(), true)) lines_.remove(i);
  }
  for (const Str& id : ids) {
    if (pop3::isUsableUniqueId(id)) lines_.add(key + id);
  }
  return writeFileLocked();
}

bool UidlStore::writeFileLocked() const {
  DurableReplace replace(filePath_);
  if (!replace.begin()) return false;
  for (const Str& line : lines_) {
    if (!replace.file().writeLine(line)) return false;
  }
  return replace.commit();
}

int UidlStore::lineCount() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return lines_.count();
}

}  // namespace quillet
