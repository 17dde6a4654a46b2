// Ownership of the attachment files and clearing of the parse result (see ParseResult.h).
#include "decode/ParseResult.h"

#include <utility>

#include "base/FileNames.h"

namespace quillet {

AttachmentList::AttachmentList(AttachmentList&& other) noexcept { *this = std::move(other); }

AttachmentList& AttachmentList::operator=(AttachmentList&& other) noexcept {
  if (this != &other) {
    clear();
    for (const Attachment& item : other.items_) items_.add(item);
    other.items_.clear();
  }
  return *this;
}

AttachmentList::~AttachmentList() { clear(); }

void AttachmentList::add(const Str& name, const Str& path) { items_.add(Attachment{name, path}); }

void AttachmentList::clear() {
  // Best effort: a part file left behind holds a copy of mail the queue still has.
  for (const Attachment& item : items_) static_cast<void>(removeFile(item.path));
  items_.clear();
}

void AttachmentList::releaseFiles() { items_.clear(); }

void ParseResult::clear() {
  from.clear();
  sender.clear();
  replyTo.clear();
  returnPath.clear();
  to.clear();
  cc.clear();
  envelope.clear();
  custom.clear();
  receivedFor.clear();
  subject = Str();
  messageId = Str();
  date = MessageDate{};
  priority = 0;
  receivedCount = 0;
  headerLines.clear();
  attachments.clear();
}

}  // namespace quillet
