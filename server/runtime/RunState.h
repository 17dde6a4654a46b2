// The counters and request flags of one server run, shared by the worker threads, the
// status line and the wait step. Each is a lock-free atomic: one side sets, the other
// reads or consumes; a request set twice before it is consumed counts once.
// It holds no queues, settings or threads (the run's state object owns those).
#pragma once

#include <atomic>
#include <cstdint>

namespace quillet {

// What the status line shows and the worker threads count.
struct ServerCounters {
  std::atomic<uint32_t> sent{0};         // messages delivered by SMTP since the run began
  std::atomic<uint32_t> received{0};     // messages fetched by POP3 since the run began
  std::atomic<uint32_t> connections{0};  // connections open now
};

// One operator request: set by a key or a signal file, consumed by its manager thread.
class RunRequest {
 public:
  void set() { flag_.store(true, std::memory_order_relaxed); }
  bool isSet() const { return flag_.load(std::memory_order_relaxed); }
  // True when the request was set; clears it.
  [[nodiscard]] bool consume() { return flag_.exchange(false, std::memory_order_relaxed); }

 private:
  std::atomic<bool> flag_{false};
};

struct RunRequests {
  RunRequest inboundRun;    // fetch every mailbox now (key P, "IPOP3.sig")
  RunRequest outboundRun;   // every queued message is due now (key R, "OSMTP.sig")
  RunRequest queueListing;  // list the outbound queue (key Q)
};

}  // namespace quillet
