// The duplicate Message-ID list (see DuplicateMessageIds.h).
#include "server/queue/DuplicateMessageIds.h"

#include "base/Clock.h"
#include "server/queue/SMTPInfo.h"

namespace quillet {

bool DuplicateMessageIds::isDuplicate(uint32_t entryFlags, const Str& messageId) {
  if ((entryFlags & SMTPInfo::kFromMailboxOrPickup) == 0 || messageId.empty()) return false;
  const uint32_t now = currentTimestamp();
  const std::string_view id = messageId.view();
  std::lock_guard<std::mutex> lock(mutex_);
  bool duplicate = false;
  for (const Entry& entry : entries_) {
    if (entry.id == id) {
      duplicate = true;
      break;
    }
  }
  if (!duplicate) {
    if (entries_.size() >= kMaxEntries) entries_.pop_front();
    entries_.push_back(Entry{std::string(id), now + kHoldSeconds});
  }
  while (!entries_.empty() && entries_.front().expiresAt < now) entries_.pop_front();
  return duplicate;
}

size_t DuplicateMessageIds::size() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return entries_.size();
}

}  // namespace quillet
