// Private directories, files with names of their own, flushing to disk, atomic
// replacement and listing by extension.
#include "base/FileSystem.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <random>
#include <string>

#include "base/FileNames.h"

namespace quillet {

namespace {

constexpr int kCopyBlockSize = 64 * 1024;

// Names tried by createUniqueFile before it gives up; each is taken only when another
// file already has it, which the random part makes rare.
constexpr int kUniqueNameAttempts = 100;
constexpr int kUniqueNameLength = 6;

// kUniqueNameLength random letters and digits.
Str randomNamePart() {
  static constexpr char kAlphabet[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  thread_local std::mt19937_64 generator{std::random_device{}()};
  std::uniform_int_distribution<size_t> pick(0, sizeof kAlphabet - 2);
  std::string part;
  for (int i = 0; i < kUniqueNameLength; ++i) part += kAlphabet[pick(generator)];
  return Str(std::string_view(part));
}

// Opens name read-only for fsync; -1 on failure.
int openForSync(const Str& name, int extraFlags) {
  const Str systemName = name.oemToAnsiCopy();
  int fd;
  do {
    fd = ::open(systemName.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | extraFlags);
  } while (fd < 0 && errno == EINTR);
  return fd;
}

bool syncAndClose(int fd) {
  const bool synced = ::fsync(fd) == 0;
  ::close(fd);
  return synced;
}

bool endsWithIgnoreCase(std::string_view name, std::string_view suffix) {
  if (name.size() < suffix.size()) return false;
  return Str::compare(name.data() + name.size() - suffix.size(), static_cast<int>(suffix.size()),
                      suffix.data(), static_cast<int>(suffix.size()), true, true, false);
}

}  // namespace

Str temporaryPathFor(const Str& target) { return target + ".tmp"; }

Str directoryOf(const Str& path) {
  const std::string_view text = path.view();
  const size_t slash = text.rfind('/');
  if (slash == std::string_view::npos) return Str();
  return Str(text.substr(0, slash + 1));
}

bool makePrivateDirectory(const Str& path) {
  if (path.isBlank()) return false;
  const Str systemName = path.oemToAnsiCopy();
  if (::mkdir(systemName.c_str(), 0700) == 0) return true;
  if (errno != EEXIST) return false;
  struct stat info {};
  return ::stat(systemName.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool isRegularFile(const Str& path) {
  if (path.isBlank()) return false;
  struct stat info {};
  return ::stat(path.oemToAnsiCopy().c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

bool syncFileByName(const Str& path) {
  if (!isRegularFile(path)) return false;
  const int fd = openForSync(path, O_NONBLOCK);
  return fd >= 0 && syncAndClose(fd);
}

bool syncDirectoryOf(const Str& path) {
  Str directory = directoryOf(path);
  if (directory.empty()) directory = ".";
  const int fd = openForSync(directory, O_DIRECTORY);
  return fd >= 0 && syncAndClose(fd);
}

bool listFilesWithExtension(const Str& directory, const char* extension, ArrayStr& names) {
  const Str systemDirectory = (directory.empty() ? Str(".") : directory).oemToAnsiCopy();
  std::unique_ptr<DIR, int (*)(DIR*)> listing(::opendir(systemDirectory.c_str()), ::closedir);
  if (!listing) return false;
  const std::string suffix = std::string(".") + extension;
  std::string base = systemDirectory.toStd();
  if (base.back() != '/') base += '/';

  ArrayStr found;
  while (const dirent* entry = ::readdir(listing.get())) {
    const std::string_view name(entry->d_name);
    if (!endsWithIgnoreCase(name, suffix)) continue;
    struct stat info {};
    if (::stat((base + entry->d_name).c_str(), &info) != 0 || !S_ISREG(info.st_mode)) continue;
    found.add(Str(name).ansiToOem());
  }
  for (const Str& name : found) names.add(name);
  return true;
}

std::unique_ptr<File> createUniqueFile(const Str& directory, const char* prefix) {
  Str base = directory.empty() ? Str("./") : directory;
  if (base.at(base.length() - 1) != '/') base += '/';
  for (int attempt = 0; attempt < kUniqueNameAttempts; ++attempt) {
    auto file = std::make_unique<File>(base + prefix + randomNamePart());
    if (file->open(File::kCreateNew)) return file;
    // A name in use is tried again; a directory that refuses refuses every name.
    if (!fileExists(file->name())) return nullptr;
  }
  return nullptr;
}

DurableReplace::DurableReplace(const Str& target, unsigned mode)
    : target_(target), temporary_(temporaryPathFor(target)), mode_(mode) {}

DurableReplace::~DurableReplace() {
  if (committed_) return;
  // An abandoned replacement: the target is untouched, the half-written temporary goes.
  // A temporary that cannot be removed is harmless (the next replacement truncates it).
  static_cast<void>(temporary_.close());
  static_cast<void>(removeFile(temporary_.name()));
}

bool DurableReplace::begin() {
  if (target_.isBlank()) return false;
  return temporary_.open(File::kCreate);
}

bool DurableReplace::commit() {
  if (committed_ || !temporary_.isOpen()) return false;
  // A close that fails after a good sync may still have lost nothing, but an unchecked
  // close before a rename is how half files replace good ones: both must succeed.
  if (!temporary_.sync() || !temporary_.close()) return false;
  const Str from = temporary_.name().oemToAnsiCopy();
  const Str to = target_.oemToAnsiCopy();
  if (::chmod(from.c_str(), static_cast<mode_t>(mode_)) != 0) return false;
  if (::rename(from.c_str(), to.c_str()) != 0) return false;
  committed_ = true;
  // After a crash without the directory flush either the old or the new complete file is
  // found; the caller is told so that it acknowledges nothing yet.
  return syncDirectoryOf(target_);
}

bool copyFileContents(File& from, File& to) {
  auto block = std::make_unique<char[]>(kCopyBlockSize);
  for (;;) {
    const ReadResult got = from.read(block.get(), kCopyBlockSize);
    if (got.failed()) return false;
    if (got.bytes > 0 && to.write(block.get(), got.bytes) != got.bytes) return false;
    if (got.atEnd()) return true;
  }
}

}  // namespace quillet
