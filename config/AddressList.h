// AddressList: the local e-mail addresses from DataUser.DAT that recipient verification
// by address list accepts.
//
// Every record in use with a non-blank address gives one entry, in file order, trimmed
// and lower-cased (control bytes count as blanks); duplicates stay. The list is replaced
// as a whole at every load and guarded by its own lock, so the decode thread may look up
// addresses while nothing else changes it. Lower-casing is ASCII only, like every
// address comparison of the system.
#pragma once

#include "base/ArrayTmpl.h"
#include "base/Str.h"
#include "config/DataUser.h"

namespace quillet {

class AddressList {
 public:
  AddressList();

  // Replaces the list with the addresses of the open file. False when a record could not
  // be read; the list then holds the addresses of the records before it.
  [[nodiscard]] bool load(DataUser& file);

  int count() const { return entries_.count(); }
  // Entry at a 1-based index within 1..count() (a copy, safe to keep on any thread).
  [[nodiscard]] Str entry(int index) const;
  // True when address equals an entry exactly; callers pass it trimmed and lower-cased.
  [[nodiscard]] bool contains(const Str& address) const;

 private:
  ArrayStr entries_;  // with its own lock
};

}  // namespace quillet
