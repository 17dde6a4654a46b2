// DuplicateMessageIds: the Message-IDs of recent inbound messages that went to two or more
// recipients, each held for two hours, so that the copy of the same message that arrives
// through a second provider mailbox (one per recipient) is recognised and dropped.
//
// Memory only, empty at start. Ids are compared exactly (case-sensitive). At most
// kMaxEntries ids are held: beyond that the oldest is forgotten early, so a flood of
// messages cannot grow the list without bound. The caller decides whether the test applies
// at all (the setting and the recipient count); time comes from base/Clock.h.
#pragma once

#include <cstdint>
#include <deque>
#include <mutex>

#include "base/Str.h"

namespace quillet {

class DuplicateMessageIds {
 public:
  static constexpr uint32_t kHoldSeconds = 7200;
  static constexpr size_t kMaxEntries = 100000;

  DuplicateMessageIds() = default;
  DuplicateMessageIds(const DuplicateMessageIds&) = delete;
  DuplicateMessageIds& operator=(const DuplicateMessageIds&) = delete;

  // True when the message is a duplicate: its entry carries the mailbox-or-pickup flag
  // (0x08), messageId is not empty and was seen before and not yet forgotten. An id seen
  // for the first time is remembered until now + kHoldSeconds. Expired ids are forgotten
  // after the search, so an id is still found on the test that comes after its expiry.
  [[nodiscard]] bool isDuplicate(uint32_t entryFlags, const Str& messageId);

  [[nodiscard]] size_t size() const;

 private:
  struct Entry {
    std::string id;
    uint32_t expiresAt;
  };

  mutable std::mutex mutex_;
  std::deque<Entry> entries_;  // guarded by mutex_; oldest first, so in expiry order
};

}  // namespace quillet
