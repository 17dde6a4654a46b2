// The in-memory inbound queue (see InboundQueue.h).
#include "server/queue/InboundQueue.h"

namespace quillet {

void InboundQueue::appendRun(const ArrayTmpl<SMTPInfo>& entries) {
  std::lock_guard<std::mutex> lock(mutex_);
  for (int i = 1; i <= entries.count(); ++i) {
    entries_.add(entries[i]);
    count_.fetch_add(1, std::memory_order_relaxed);
  }
}

void InboundQueue::takeAll(ArrayTmpl<SMTPInfo>& out) {
  std::lock_guard<std::mutex> lock(mutex_);
  for (int i = 1; i <= entries_.count(); ++i) out.add(std::move(entries_[i]));
  entries_.clear();
  count_.store(0, std::memory_order_relaxed);
}

}  // namespace quillet
