// MailboxTable: turning DataPOP.DAT records into mailbox entries.
#include "config/MailboxTable.h"

namespace quillet {
namespace {

constexpr int64_t kSecondsPerMinute = 60;

}  // namespace

MailboxTable::MailboxTable() { enableLock(); }

bool MailboxTable::isUsable(const DataPOP& file) { return !file.isDeleted() && !file.isDisabled(); }

POPItem MailboxTable::itemFromRecord(const DataPOP& file) {
  POPItem item;
  item.user = file.user().oemToAnsi();
  item.comment = file.comment();
  item.password = file.password().oemToAnsi();
  item.host = file.host();
  item.port = file.port();
  item.routeTo = file.routeTo();
  item.busy = 0;
  // The server always marks weekdays with any non-blank character.
  item.schedule.add(file.weekdaysText(), file.fromText(), file.untilText(),
                    file.everyMinutes() * kSecondsPerMinute, true);
  item.security = file.security();
  return item;
}

bool MailboxTable::build(DataPOP& file) {
  Guard guard(*this);
  items_.clear();
  firstServer_ = Str();
  const int records = file.recordCount();
  for (int n = 1; n <= records; ++n) {
    if (!file.goTo(n)) return false;
    if (!isUsable(file)) continue;
    POPItem item = itemFromRecord(file);
    if (firstServer_.empty() && !item.host.empty()) firstServer_ = item.host;
    items_.add(std::move(item));
  }
  return true;
}

Str MailboxTable::firstServer() const {
  Guard guard(*this);
  return firstServer_;
}

}  // namespace quillet
