// AddressList: building the address list from DataUser.DAT.
#include "config/AddressList.h"

namespace quillet {

AddressList::AddressList() { entries_.enableLock(); }

bool AddressList::load(DataUser& file) {
  // Built aside and swapped in, so readers never see a half-loaded list.
  ArrayStr loaded;
  bool complete = true;
  const int records = file.recordCount();
  for (int n = 1; n <= records; ++n) {
    if (!file.goTo(n)) {
      complete = false;
      break;
    }
    if (file.isDeleted()) continue;
    Str address = file.address();
    if (address.empty()) continue;
    loaded.add(address.toLower());
  }
  BaseObj::Guard guard(entries_);
  entries_.clear();
  for (const Str& address : loaded) entries_.add(address);
  return complete;
}

Str AddressList::entry(int index) const {
  BaseObj::Guard guard(entries_);
  return entries_[index];
}

bool AddressList::contains(const Str& address) const { return entries_.find(address) != 0; }

}  // namespace quillet
