// MailboxTable: the server's list of POP3 mailboxes (POPItem), built from DataPOP.DAT at
// the start of every run, and the first server (for waking a router).
//
// Only records in use and not disabled become mailboxes, in file order, numbered from 1.
// User name and password are converted from the OEM code page to UTF-8; every text is
// trimmed, and control bytes in a field count as blanks, so no field can carry a line
// break into a protocol line. The password stays in its stored, scrambled form.
//
// The table has its own lock (BaseObj): hold a Guard on the table while reading entries
// or changing a busy flag; a schedule additionally locks itself. It does not decide when
// a mailbox thread runs; the inbound manager does, with Schedule::due().
#pragma once

#include <cstdint>

#include "base/ArrayTmpl.h"
#include "base/BaseObj.h"
#include "base/Str.h"
#include "config/DataPOP.h"
#include "config/Schedule.h"

namespace quillet {

// One mailbox of the table.
struct POPItem {
  Str user;          // UTF-8, trimmed
  Str comment;       // trimmed
  Str password;      // stored form (UTF-8, trimmed), descrambled only by the mailbox thread
  Str host;          // trimmed
  int32_t port = 0;  // 0 = POPInboundPort
  Str routeTo;       // fixed recipient; empty = detect recipients
  int32_t busy = 0;  // 1 while a mailbox thread works on this entry (under the table lock)
  Schedule schedule;
  ConnectionSecurity security = ConnectionSecurity::Plain;
};

class MailboxTable : public BaseObj {
 public:
  MailboxTable();

  // Replaces the table with one entry per usable record of the open file and finds the
  // first server. False when a record could not be read; the table then holds the
  // entries of the records before it.
  [[nodiscard]] bool build(DataPOP& file);

  // The entry of the current record of file (which must be usable: in use, not disabled).
  [[nodiscard]] static POPItem itemFromRecord(const DataPOP& file);
  // True when the current record is in use and not disabled.
  [[nodiscard]] static bool isUsable(const DataPOP& file);

  int count() const {
    Guard guard(*this);
    return items_.count();
  }
  // Entry at a 1-based index within 1..count().
  POPItem& item(int index) { return items_[index]; }
  const POPItem& item(int index) const { return items_[index]; }

  // Host of the first usable record whose host is not blank; empty when there is none.
  [[nodiscard]] Str firstServer() const;

 private:
  ArrayTmpl<POPItem> items_;  // guarded by the table lock
  Str firstServer_;           // guarded by the table lock
};

}  // namespace quillet
