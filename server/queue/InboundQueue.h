// InboundQueue: the in-memory list of fetched messages waiting for the decode thread.
// Mailbox threads append the entries of one run at once under the queue's lock, so a
// reader sees all messages of a run together; the count is kept beside the list as an
// interlocked value the status line can read without the lock.
//
// The entries' message and index files are already on disk when they arrive here (the
// POP3 client wrote and flushed both); the queue holds memory only and touches no files.
#pragma once
#include <atomic>
#include <cstdint>
#include <mutex>

#include "base/ArrayTmpl.h"
#include "server/queue/SMTPInfo.h"
namespace quillet {

class InboundQueue {
 public:
  InboundQueue() = default;
  InboundQueue(const InboundQueue&) = delete;
  InboundQueue& operator=(const InboundQueue&) = delete;

  // Appends every entry of one run, in order, under one hold of the lock.
  void appendRun(const ArrayTmpl<SMTPInfo>& entries);
  // Moves every queued entry into out (appended in queue order) and empties the queue.
  void takeAll(ArrayTmpl<SMTPInfo>& out);
  [[nodiscard]] uint32_t count() const { return count_.load(std::memory_order_relaxed); }

 private:
  mutable std::mutex mutex_;
  ArrayTmpl<SMTPInfo> entries_;  // guarded by mutex_
  std::atomic<uint32_t> count_{0};
};

}  // namespace quillet
