// Puts a message the server composed itself (a notification, the log mail) into the
// outbound queue like any other outbound message: its queue entry is made and its ONX
// index written next to the composed file, then the entry is handed to the in-memory
// outbound queue.
//
// The message file must be complete and closed (SMTPEncode::compose). When the index
// cannot be written the composed file is deleted, so no file without an index is left
// behind in MSG-OUT.
#pragma once

#include <cstdint>
#include <functional>

#include "server/queue/QueueStore.h"
#include "server/queue/SMTPInfo.h"

namespace quillet {

// Hands a queued entry (its files on disk) to the in-memory outbound queue. Unset: the
// entry waits on disk for the outbound queue's next reload.
using OutboundHandOver = std::function<void(const SMTPInfo& entry)>;

// Queues messagePath in MSG-OUT with sender (empty = the null reverse-path), recipients,
// the lifetime and the priority. True when the index is on disk (and the entry handed
// over); false when it could not be written (the message file is then deleted).
[[nodiscard]] bool queueComposedMessage(const QueueStore& store, const Str& messagePath,
                                        const SMTPInfoAddress& sender,
                                        const ArraySMTPInfoAddress& recipients,
                                        uint32_t lifetimeSeconds, uint32_t priority,
                                        const OutboundHandOver& handOver);

}  // namespace quillet
