// DataFiles: opening the three data files as one unit and the server's load.
#include "config/DataFiles.h"

namespace quillet {

DataFiles::DataFiles(const Str& directory)
    : pop_(directory + DataPOP::kFileName),
      user_(directory + DataUser::kFileName),
      conf_(directory + DataConf::kFileName) {}

bool DataFiles::open() {
  if (pop_.open() && user_.open() && conf_.open()) return true;
  static_cast<void>(close());  // nothing was changed through the files yet
  return false;
}

bool DataFiles::close() {
  bool closed = pop_.close();
  closed = user_.close() && closed;
  closed = conf_.close() && closed;
  return closed;
}

bool DataFiles::loadForServer(MailboxTable& mailboxes, AddressList& addresses) {
  if (!open()) return false;
  if (mailboxes.build(pop_) && addresses.load(user_) && conf_.ensureFirstRecord()) return true;
  static_cast<void>(close());  // the load failed already; this only releases the files
  return false;
}

}  // namespace quillet
