// Queued messages for tests (see QueuedMessages.h).
#include "tests/support/QueuedMessages.h"

#include <gtest/gtest.h>

#include <memory>

namespace quillet::testing {

SMTPInfo writeQueuedMessage(const QueueStore& store, QueueNumber queue, uint32_t priority,
                            const std::vector<std::string>& to, const std::string& sender,
                            size_t bodyBytes) {
  Str path;
  std::unique_ptr<File> file = store.createMessageFile(queue, path);
  EXPECT_NE(file, nullptr);
  SMTPInfo entry;
  if (!file) return entry;
  const std::string body = "Subject: x\r\n\r\n" + std::string(bodyBytes, 'b') + "\r\n";
  EXPECT_EQ(file->write(body.data(), static_cast<int>(body.size())), static_cast<int>(body.size()));
  EXPECT_TRUE(file->close());
  ArraySMTPInfoAddress recipients;
  for (const std::string& address : to)
    recipients.add(SMTPInfoAddress(Str(std::string_view(address))));
  store.initEntry(entry, path, SMTPInfoAddress(Str(std::string_view(sender))), recipients, 259200,
                  priority);
  EXPECT_TRUE(store.writeIndex(entry, queue));
  return entry;
}

}  // namespace quillet::testing
