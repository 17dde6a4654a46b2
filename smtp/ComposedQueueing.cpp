// Queueing of the server's own messages (see ComposedQueueing.h).
#include "smtp/ComposedQueueing.h"

#include "base/FileNames.h"

namespace quillet {

bool queueComposedMessage(const QueueStore& store, const Str& messagePath,
                          const SMTPInfoAddress& sender, const ArraySMTPInfoAddress& recipients,
                          uint32_t lifetimeSeconds, uint32_t priority,
                          const OutboundHandOver& handOver) {
  SMTPInfo entry;
  store.initEntry(entry, messagePath, sender, recipients, lifetimeSeconds, priority);
  if (!store.writeIndex(entry, QueueNumber::Outbound)) {
    static_cast<void>(removeFile(messagePath));
    return false;
  }
  if (handOver) handOver(entry);
  return true;
}

}  // namespace quillet
