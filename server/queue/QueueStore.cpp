// The queue store: creating, copying, indexing, loading, listing and archiving queue files.
#include "server/queue/QueueStore.h"

#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "base/Clock.h"
#include "base/FileNames.h"
#include "base/FileSystem.h"

namespace quillet {

namespace {

// The name counter proposes at most this many names before creation gives up.
constexpr uint32_t kMaxNameAttempts = MessageNameCounter::kMaxValue;

// Guards creation of the shared directories (queues and archive) within the process.
std::mutex& directoryCreationLock() {
  static std::mutex lock;
  return lock;
}

Str withTrailingSlash(const Str& directory) {
  if (directory.empty() || directory.at(directory.length() - 1) == '/') return directory;
  return directory + "/";
}

Str twoDigits(int value) {
  Str text = Str::fromInt(value);
  return text.length() < 2 ? "0" + text : text;
}

}  // namespace

QueueStore::QueueStore(const Str& programDirectory, MessageNameCounter& counter)
    : programDirectory_(withTrailingSlash(programDirectory)), counter_(counter) {}

Str QueueStore::queueDirectory(QueueNumber queue) const {
  return programDirectory_ + queueDirectoryName(queue) + "/";
}

bool QueueStore::createQueueDirectories() const {
  std::lock_guard<std::mutex> lock(directoryCreationLock());
  const bool inbound =
      makePrivateDirectory(programDirectory_ + queueDirectoryName(QueueNumber::Inbound));
  const bool outbound =
      makePrivateDirectory(programDirectory_ + queueDirectoryName(QueueNumber::Outbound));
  return inbound && outbound;
}

std::unique_ptr<File> QueueStore::createMessageFile(QueueNumber queue, Str& path) const {
  return createMessageFileIn(queueDirectory(queue), path);
}

std::unique_ptr<File> QueueStore::createMessageFileIn(const Str& directory, Str& path) const {
  path = Str();
  const Str base = withTrailingSlash(directory);
  for (uint32_t attempt = 1; attempt <= kMaxNameAttempts; ++attempt) {
    const Str candidate = base + counter_.nextName() + "." + kMessageExtension;
    if (fileExists(candidate)) continue;
    // Created exclusively (0600): two threads or processes are never handed the same file.
    auto file = std::make_unique<File>(candidate);
    if (file->open(File::kCreateNew)) {
      path = candidate;
      return file;
    }
    // Someone else took the name meanwhile: the next one. A missing or unwritable
    // directory fails for every name alike.
    if (!fileExists(candidate)) return nullptr;
  }
  return nullptr;
}

int QueueStore::copyIntoNewMessageFile(const Str& sourcePath, QueueNumber queue, Str& path) const {
  std::unique_ptr<File> target = createMessageFile(queue, path);
  if (!target) return err::kCreateTempFile;

  File source(sourcePath);
  bool copied = source.open(File::kReadShared) && copyFileContents(source, *target);
  static_cast<void>(source.close());  // opened for reading only: nothing to lose
  copied = copied && target->sync();
  copied = target->close() && copied;
  if (!copied) {
    // Best effort: a partial copy has no index, so it is never taken for a message.
    static_cast<void>(removeFile(path));
    path = Str();
    return err::kWriteTempFile;
  }
  return 0;
}

Str QueueStore::relocate(const Str& storedPath, QueueNumber queue) const {
  return relocatePath(storedPath, queueDirectory(queue));
}

void QueueStore::initEntry(SMTPInfo& entry, const Str& messagePath, const SMTPInfoAddress& sender,
                           const ArraySMTPInfoAddress& recipients, uint32_t lifetimeSeconds,
                           uint32_t priority) const {
  const Timer time = now();
  entry.init(messagePath, sender, recipients, lifetimeSeconds, priority,
             toTimestamp(time.date, time.time));
}

bool QueueStore::writeIndex(SMTPInfo& entry, QueueNumber queue) const {
  if (entry.messageFile.empty()) return false;
  entry.indexFile = indexPathOf(entry.messageFile, queue);
  // The index must never name a message file that a crash could still lose.
  if (!syncFileByName(entry.messageFile)) return false;

  const std::string text = renderIndexFile(entry);
  DurableReplace replacement(entry.indexFile);
  if (!replacement.begin()) return false;
  if (replacement.file().write(text.data(), static_cast<int>(text.size())) !=
      static_cast<int>(text.size())) {
    return false;
  }
  return replacement.commit();
}

IndexStatus QueueStore::loadIndex(SMTPInfo& entry, QueueNumber queue) const {
  const Str indexPath = relocate(entry.indexFile, queue);
  File file(indexPath);
  if (!file.open(File::kReadSharedOnce)) return IndexStatus::Unreadable;
  const int64_t size = file.size();
  if (size < 0) return IndexStatus::Unreadable;
  if (size > kMaxIndexFileBytes) return IndexStatus::TooLarge;

  std::vector<Str> lines;
  Str line;
  ReadState got;
  while ((got = file.readLine(line)) == ReadState::kData) lines.push_back(line);
  // A read error must not pass a cut-off index as a whole one.
  if (got == ReadState::kFailed) return IndexStatus::Unreadable;
  static_cast<void>(file.close());  // opened for reading only: nothing to lose

  SMTPInfo parsed;
  const IndexStatus status = parseIndexLines(lines, parsed);
  if (status != IndexStatus::Loaded) return status;
  // The file actually read is the index of this entry, whatever its first line says: a
  // garbled or copied line 1 must not make a later clear() delete another entry's index.
  parsed.indexFile = indexPath;
  parsed.messageFile = relocate(parsed.messageFile, queue);
  if (!isRegularFile(parsed.messageFile)) return IndexStatus::MessageMissing;
  entry = parsed;
  return IndexStatus::Loaded;
}

bool QueueStore::listIndexFiles(QueueNumber queue, ArrayStr& names) const {
  return listFilesWithExtension(queueDirectory(queue), indexExtension(queue), names);
}

bool QueueStore::createArchiveDirectory(const Date& date, Str& directory) const {
  std::lock_guard<std::mutex> lock(directoryCreationLock());
  directory = programDirectory_ + kArchiveDirectoryName;
  if (!makePrivateDirectory(directory)) return false;
  Str year = Str::fromInt(date.year);
  while (year.length() < 4) year = "0" + year;
  for (const Str& part : {year, twoDigits(date.month), twoDigits(date.day)}) {
    directory += "/";
    directory += part;
    if (!makePrivateDirectory(directory)) return false;
  }
  directory += "/";
  return true;
}

bool QueueStore::archiveMessage(const SMTPInfo& entry, Str& archivePath) const {
  archivePath = Str();
  Str directory;
  if (entry.messageFile.isBlank() || !createArchiveDirectory(now().date, directory)) return false;

  const Str target = directory + baseNameOf(entry.messageFile);
  File source(entry.messageFile);
  if (!source.open(File::kReadShared)) return false;
  DurableReplace copy(target);
  if (!copy.begin() || !copyFileContents(source, copy.file()) || !copy.commit()) return false;
  archivePath = target;
  return true;
}

}  // namespace quillet
