// Queued messages for tests: a message file and its index written into a queue directory
// the way producers write them (the store's own writer), with the envelope a test names.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "server/queue/QueueStore.h"

namespace quillet::testing {

// A message of bodyBytes body bytes in the queue, for the recipients, queued now with a
// lifetime of three days; the index is on disk, the entry is returned (not queued in
// memory).
[[nodiscard]] SMTPInfo writeQueuedMessage(const QueueStore& store, QueueNumber queue,
                                          uint32_t priority, const std::vector<std::string>& to,
                                          const std::string& sender = "from@example.com",
                                          size_t bodyBytes = 20);

}  // namespace quillet::testing
