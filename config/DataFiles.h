// DataFiles: the three data files of a program directory opened as one unit, in the order
// every program uses (DataPOP.DAT, DataUser.DAT, DATACONF.DAT), and the server's load of
// them into its mailbox table and address list.
//
// It does not take the data-file lock: the caller holds "QUILLETDBT.LCK" around open and
// load, and closes the files again before releasing it (an open data file keeps other
// programs from opening it).
#pragma once

#include "base/Str.h"
#include "config/AddressList.h"
#include "config/DataConf.h"
#include "config/DataPOP.h"
#include "config/DataUser.h"
#include "config/MailboxTable.h"

namespace quillet {

class DataFiles {
 public:
  // directory: the program directory, ending in '/' (empty = the current directory).
  explicit DataFiles(const Str& directory);

  // Opens (creating when missing) the three files in order. On the first failure closes
  // what was opened and returns false.
  [[nodiscard]] bool open();
  // Closes all three (changed records are written first); true when all closed cleanly.
  [[nodiscard]] bool close();

  // The server's load: open, build the mailbox table and the address list, and give an
  // empty DATACONF.DAT its first record. False when a file cannot be opened or read or
  // the record cannot be written; the files are closed then. The files stay open on
  // success (close them before releasing the data lock).
  [[nodiscard]] bool loadForServer(MailboxTable& mailboxes, AddressList& addresses);

  DataPOP& pop() { return pop_; }
  DataUser& user() { return user_; }
  DataConf& conf() { return conf_; }

 private:
  DataPOP pop_;
  DataUser user_;
  DataConf conf_;
};

}  // namespace quillet
