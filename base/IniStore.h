// IniStore: the settings of one program (QUILLET.INI), as typed items with defaults.
//
// A program registers every key it knows with its type and default, then reads the file
// once; afterwards any thread may look a key up and read its value. The store has no lock:
// it is filled on the starting thread before other threads exist and only read later.
//
// File syntax: one "key=value" per line, split at the first "="; key and value are
// trimmed of spaces; lines starting with ";" are comments; lines without "=" (such as
// "[section]" headers) and unregistered keys are skipped; a later line for a key replaces
// an earlier one, except list keys, which collect one entry per line. Values are held as
// they stand in the file (OEM code page); callers convert where the text leaves.
//
// Limits for the file, which is read as untrusted text: reading stops after
// kMaxSettingsFileBytes; a line cut by the file layer's line limit (File::kMaxLineLength)
// and a line holding a NUL byte are skipped whole.
//
// write() replaces the file as a whole (comments, unknown keys and the former order are
// not kept) and only after every line was written: it writes a temporary file beside it
// and renames it over the old one, so a failed write leaves the old file as it was.
#pragma once

#include <cstdint>

#include "base/ArrayTmpl.h"
#include "base/FileReRead.h"
#include "base/IniItem.h"
#include "base/Str.h"

namespace quillet {

class IniStore {
 public:
  // More than this many bytes of a settings file are not read.
  static constexpr int64_t kMaxSettingsFileBytes = 4 * 1024 * 1024;

  // An empty store for the settings file at fileName (OEM code page, full path).
  explicit IniStore(const Str& fileName);

  const Str& fileName() const { return fileName_; }

  // --- registration (each returns the new item's 1-based index) ---
  // A string key; the flags (kIniUpperCase, kIniLowerCase, kIniTrim) are applied to the
  // value now and to every value read later, not to the default.
  int registerString(const Str& name, const Str& defaultValue, int32_t flags = 0);
  int registerInteger(const Str& name, int32_t defaultValue);
  int registerBoolean(const Str& name, bool defaultValue);
  // A list key, empty by default; the flags apply to each entry read.
  int registerList(const Str& name, int32_t flags = 0);

  // --- lookup ---
  // 1-based index of the first item whose name equals name ignoring case (same length);
  // 0 when name is empty or no item has it.
  [[nodiscard]] int find(const Str& name) const;
  // The item at a 1-based index from find() or registration (asserted to be in range).
  const IniItem& item(int index) const { return items_[index]; }
  IniItem& item(int index) { return items_[index]; }
  int count() const { return items_.count(); }

  // --- typed values by name; an unregistered name reads as empty, 0 or false ---
  [[nodiscard]] Str string(const Str& name) const;
  [[nodiscard]] int32_t integer(const Str& name) const;
  [[nodiscard]] bool boolean(const Str& name) const;
  [[nodiscard]] const ArrayStr& list(const Str& name) const;

  // --- the file ---
  // Records the file's last-write time, then reads it (see the syntax above). True when
  // the file was opened and read; false when it does not exist or cannot be opened, and
  // then every item keeps its value. Also false when a read fails part-way: the lines
  // before the failure have been applied.
  [[nodiscard]] bool read();
  // True when the file's last-write time differs from the one recorded by the last
  // read(); false before any read(), and when the file no longer exists.
  [[nodiscard]] bool changedSinceRead() const { return reread_.changed(); }
  // Writes every typed item whose value differs from its default, in registration order,
  // as "name=value" CR LF lines ("True"/"False" for booleans, one line per list entry).
  // False, with the old file left as it was, when a value holds CR, LF, NUL or Ctrl-Z
  // (it could not be read back) or when the file cannot be written completely.
  [[nodiscard]] bool write() const;

  // Applies one line of settings text as read() does: the parsing step on its own, for
  // callers that hold the text already.
  void applyLine(const Str& line);

 private:
  [[nodiscard]] bool allValuesWritable() const;

  ArrayTmpl<IniItem> items_;
  Str fileName_;
  FileReRead reread_;
};

}  // namespace quillet
