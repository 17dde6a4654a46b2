// Setting up and clearing queue entries.
#include "server/queue/SMTPInfo.h"

#include "base/FileNames.h"
#include "base/FileSystem.h"

namespace quillet {

namespace {

void removeIfPresent(const Str& name) {
  if (name.isBlank() || !fileExists(name)) return;
  // A failed deletion is not reported: the file is retried next time.
  static_cast<void>(removeFile(name));
}

}  // namespace

void SMTPInfoAddress::clear() {
  address = Str();
  parameter = Str();
  flags = 0;
}

void SMTPInfo::init(const Str& messagePath, const SMTPInfoAddress& envelopeSender,
                    const ArraySMTPInfoAddress& envelopeRecipients, uint32_t lifetimeSeconds,
                    uint32_t newPriority, uint32_t now) {
  messageFile = messagePath;
  sender = envelopeSender;
  recipients = envelopeRecipients;
  queuedAt = now;
  expiresAt = now + lifetimeSeconds;
  if (isValidPriority(newPriority)) priority = newPriority;
}

void SMTPInfo::clear(bool deleteFiles) {
  if (deleteFiles) {
    removeIfPresent(messageFile);
    removeIfPresent(indexFile);
    if (!indexFile.isBlank()) removeIfPresent(temporaryPathFor(indexFile));
  }
  messageFile = Str();
  indexFile = Str();
  source = Str();
  sender.clear();
  textA = Str();
  textB = Str();
  lastReply = Str();
  transcript.clear();
  recipients.clear();
  flags = 0;
}

}  // namespace quillet
