// File-system steps beyond File: private directories, files with names of their own,
// flushing a file or a directory entry to disk, replacing a file atomically, and listing a
// directory by extension.
//
// Names are held in the OEM code page like every file name of the programs and converted
// to the system's encoding here, as File does.
// Directory listings ignore the case of the extension (files written by other systems may
// name it ".inx") and report regular files only.
#pragma once

#include <memory>

#include "base/ArrayTmpl.h"
#include "base/File.h"
#include "base/Str.h"

namespace quillet {

// The name a replacement of target is written under before it is renamed over target.
// It never ends in the target's extension, so directory scans do not pick it up.
[[nodiscard]] Str temporaryPathFor(const Str& target);

// The directory part of a path (up to and including its last '/'), empty when it has none.
[[nodiscard]] Str directoryOf(const Str& path);

// Creates a directory readable by its owner only (0700); an existing directory is fine and
// left as it is. True when the directory exists afterwards.
[[nodiscard]] bool makePrivateDirectory(const Str& path);

// A new empty file in directory (empty means the current directory) named prefix followed
// by six random letters and digits, so the name is this caller's alone and never derived
// from outside input. Created with mode 0600 and open for buffered writing as
// File::kCreateNew; null when no file can be made there.
[[nodiscard]] std::unique_ptr<File> createUniqueFile(const Str& directory, const char* prefix);

// True when path names a regular file (after following links).
[[nodiscard]] bool isRegularFile(const Str& path);

// Flushes a closed file's contents to disk; false when it cannot be opened or flushed.
[[nodiscard]] bool syncFileByName(const Str& path);

// Flushes the directory that holds path, so that names created, renamed or removed in it
// survive a crash. False when the directory cannot be opened or flushed.
[[nodiscard]] bool syncDirectoryOf(const Str& path);

// Appends to names the base name of every regular file in directory whose name ends in "."
// followed by extension, case ignored, in the order the system lists them. False (names
// unchanged) when the directory cannot be read.
[[nodiscard]] bool listFilesWithExtension(const Str& directory, const char* extension,
                                          ArrayStr& names);

// Writes a file so that a reader finds either its old contents or the complete new ones,
// never a part: the data goes into temporaryPathFor(target), which is flushed to disk,
// closed, given its permission mode and renamed over target, and the directory is flushed.
// Without a commit() the temporary file is deleted and target stays as it was.
class DurableReplace {
 public:
  // mode is the permission the new file has from the moment it appears under target
  // (0600 unless it holds nothing private).
  explicit DurableReplace(const Str& target, unsigned mode = 0600);
  ~DurableReplace();
  DurableReplace(const DurableReplace&) = delete;
  DurableReplace& operator=(const DurableReplace&) = delete;

  // Creates the temporary file (mode 0600, empty). False when it cannot be created.
  [[nodiscard]] bool begin();
  // The temporary file, open for writing after a successful begin().
  File& file() { return temporary_; }
  // Flushes, closes and renames the temporary file over target, then flushes the
  // directory. False when a step fails: before the rename target is unchanged and the
  // temporary file is deleted; after it (the directory flush failed) target holds the new
  // contents, which may not survive a crash.
  [[nodiscard]] bool commit();

 private:
  Str target_;
  File temporary_;
  unsigned mode_;
  bool committed_ = false;
};

// Copies the rest of from into to, byte for byte; false when a read or a write fails.
[[nodiscard]] bool copyFileContents(File& from, File& to);

}  // namespace quillet
