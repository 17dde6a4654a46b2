// The in-memory outbound queue (see OutboundQueue.h).
#include "server/queue/OutboundQueue.h"

#include <cstdint>
#include <utility>

#include "base/Clock.h"
#include "base/DateTime.h"
#include "base/ErrorCodes.h"
#include "base/File.h"

namespace quillet {

namespace {

constexpr uint32_t kLowestPriority = 5;

Str dateAndTime(uint32_t timestamp) {
  Date date;
  Time time;
  fromTimestamp(timestamp, date, time);
  return formatDate(date, 1) + " " + formatTime(time, 2);
}

void appendListing(const SMTPInfo& entry, ArrayStr& lines) {
  for (int i = 1; i <= entry.recipients.count(); ++i) {
    lines.add("    To: " + entry.recipients[i].address);
  }
  lines.add("  From: " + entry.sender.address);
  lines.add("  File: " + entry.messageFile + " " +
            Str::fromInt(queuedFileKilobytes(entry.messageFile)) + "K");
  lines.add(" S/E/T: " + dateAndTime(entry.queuedAt) + " " + dateAndTime(entry.expiresAt) + " " +
            Str::fromUInt(entry.tries));
  if (entry.running != 0) {
    lines.add("Status: Currently running");
  } else {
    lines.add("Status: " + Str(errorMessage(static_cast<int>(entry.lastError))) +
              "  Next: " + dateAndTime(entry.nextTryAt));
  }
}

}  // namespace

int64_t queuedFileKilobytes(const Str& path) {
  File file(path);
  int64_t size = 0;
  if (file.open(File::kReadSharedOnce)) {
    size = file.size();
    static_cast<void>(file.close());  // opened for reading only: nothing to lose
  }
  const int64_t kilobytes = size / 1024;
  return kilobytes < 1 ? 1 : kilobytes;
}

SMTPInfoDomainList::SMTPInfoDomainList(const QueueStore& store) : store_(store) {}

int SMTPInfoDomainList::groupCount() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return static_cast<int>(groups_.size());
}

SMTPInfoDomain* SMTPInfoDomainList::findGroup(uint32_t groupId) const {
  for (const auto& group : groups_) {
    if (group->id == groupId) return group.get();
  }
  return nullptr;
}

SMTPInfoDomain* SMTPInfoDomainList::groupForPriority(uint32_t priority) {
  const Str name = Str::fromUInt(priority) + "-" + Str::fromUInt(kGroupsPerPriority);
  for (const auto& group : groups_) {
    if (group->name.equals(name)) return group.get();
  }
  auto group = std::make_unique<SMTPInfoDomain>();
  group->name = name;
  group->id = ++idCounter_;
  groups_.push_back(std::move(group));
  return groups_.back().get();
}

int SMTPInfoDomainList::positionOf(const SMTPInfoDomain& group, uint32_t queueId) {
  for (int i = 1; i <= group.messages.count(); ++i) {
    if (group.messages[i].queueId == queueId) return i;
  }
  return 0;
}

bool SMTPInfoDomainList::addMessage(SMTPInfo entry) {
  if (!SMTPInfo::isValidPriority(entry.priority)) entry.priority = SMTPInfo::kDefaultPriority;
  if (entry.indexFile.empty())
    entry.indexFile = indexPathOf(entry.messageFile, QueueNumber::Outbound);
  std::lock_guard<std::mutex> lock(mutex_);
  if (!indexFiles_.insert(entry.indexFile.toStd()).second) return false;
  entry.queueId = ++idCounter_;
  SMTPInfoDomain& group = *groupForPriority(entry.priority);
  // A message joining a group under delivery is shown as running with it; the delivery
  // thread takes it in this session when it has not passed its place yet. Every entry of
  // a group has the group's priority, so arrival order puts it last.
  entry.running = group.running;
  group.messages.add(std::move(entry));
  count_.fetch_add(1, std::memory_order_relaxed);
  return true;
}

uint32_t SMTPInfoDomainList::nextDueGroup(uint32_t now) const {
  std::lock_guard<std::mutex> lock(mutex_);
  for (uint32_t priority = 1; priority <= kLowestPriority; ++priority) {
    for (const auto& group : groups_) {
      if (group->running != 0) continue;
      for (int i = 1; i <= group->messages.count(); ++i) {
        const SMTPInfo& entry = group->messages[i];
        if (entry.priority == priority && entry.nextTryAt <= now) return group->id;
      }
    }
  }
  return 0;
}

bool SMTPInfoDomainList::setRunning(uint32_t groupId, bool running) {
  std::lock_guard<std::mutex> lock(mutex_);
  SMTPInfoDomain* group = findGroup(groupId);
  if (group == nullptr) return false;
  group->running = running ? 1 : 0;
  for (int i = 1; i <= group->messages.count(); ++i) group->messages[i].running = group->running;
  group->lastErrorText = Str();
  group->lastErrorNumber = 0;
  if (!running) dropGroupIfDone(groupId);
  return true;
}

bool SMTPInfoDomainList::isRunning(uint32_t groupId) const {
  std::lock_guard<std::mutex> lock(mutex_);
  const SMTPInfoDomain* group = findGroup(groupId);
  return group != nullptr && group->running != 0;
}

bool SMTPInfoDomainList::nextMessage(uint32_t groupId, uint32_t afterId, SMTPInfo& copy) const {
  return nextExpiredMessage(groupId, afterId, UINT32_MAX, copy);
}

bool SMTPInfoDomainList::nextExpiredMessage(uint32_t groupId, uint32_t afterId, uint32_t now,
                                            SMTPInfo& copy) const {
  std::lock_guard<std::mutex> lock(mutex_);
  const SMTPInfoDomain* group = findGroup(groupId);
  if (group == nullptr) return false;
  // Queue ids grow with arrival and a group keeps arrival order, so "after afterId" is
  // "with a larger id", whether or not afterId is still there.
  for (int i = 1; i <= group->messages.count(); ++i) {
    const SMTPInfo& entry = group->messages[i];
    if (entry.queueId > afterId && entry.expiresAt <= now) {
      copy = entry;
      return true;
    }
  }
  return false;
}

bool SMTPInfoDomainList::rescheduleAt(SMTPInfoDomain& group, int index, int error, const Str& reply,
                                      const ArrayStr& transcript, uint32_t interval) {
  SMTPInfo& entry = group.messages[index];
  entry.nextTryAt = currentTimestamp() + interval;
  ++entry.tries;
  if (error != err::kTerminated) {
    entry.lastError = static_cast<uint32_t>(error);
    entry.lastReply = reply;
    entry.transcript.clear();
    for (int i = 1; i <= transcript.count() && i <= SMTPInfo::kMaxTranscriptLines; ++i) {
      entry.transcript.add(transcript[i]);
    }
    group.lastErrorNumber = static_cast<uint32_t>(error);
    group.lastErrorText = errorText(error);
  }
  return store_.writeIndex(entry, QueueNumber::Outbound);
}

bool SMTPInfoDomainList::rescheduleMessage(uint32_t groupId, uint32_t queueId, int error,
                                           const Str& reply, const ArrayStr& transcript,
                                           uint32_t interval) {
  std::lock_guard<std::mutex> lock(mutex_);
  SMTPInfoDomain* group = findGroup(groupId);
  if (group == nullptr) return false;
  const int index = positionOf(*group, queueId);
  if (index == 0) return false;
  return rescheduleAt(*group, index, error, reply, transcript, interval);
}

bool SMTPInfoDomainList::rescheduleAll(uint32_t groupId, int error, const Str& reply,
                                       const ArrayStr& transcript, uint32_t interval) {
  std::lock_guard<std::mutex> lock(mutex_);
  SMTPInfoDomain* group = findGroup(groupId);
  if (group == nullptr) return false;
  bool allWritten = true;
  for (int i = 1; i <= group->messages.count(); ++i) {
    allWritten = rescheduleAt(*group, i, error, reply, transcript, interval) && allWritten;
  }
  return allWritten;
}

bool SMTPInfoDomainList::keepOnlyRecipients(uint32_t groupId, uint32_t queueId,
                                            const ArraySMTPInfoAddress& recipients) {
  std::lock_guard<std::mutex> lock(mutex_);
  SMTPInfoDomain* group = findGroup(groupId);
  if (group == nullptr) return false;
  const int index = positionOf(*group, queueId);
  if (index == 0) return false;
  SMTPInfo& entry = group->messages[index];
  entry.recipients = recipients;
  return store_.writeIndex(entry, QueueNumber::Outbound);
}

bool SMTPInfoDomainList::removeMessage(uint32_t groupId, uint32_t queueId) {
  SMTPInfo removed;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    SMTPInfoDomain* group = findGroup(groupId);
    if (group == nullptr) return false;
    const int index = positionOf(*group, queueId);
    if (index == 0) return false;
    removed = std::move(group->messages[index]);
    indexFiles_.erase(removed.indexFile.toStd());
    group->messages.remove(index);
    count_.fetch_sub(1, std::memory_order_relaxed);
    dropGroupIfDone(groupId);
  }
  // Out of the queue first, then off the disk: a crash in between leaves files that the
  // next start queues again (a duplicate at worst, never a loss).
  removed.clear(true);
  return true;
}

void SMTPInfoDomainList::dropGroupIfDone(uint32_t groupId) {
  for (auto it = groups_.begin(); it != groups_.end(); ++it) {
    if ((*it)->id != groupId) continue;
    if ((*it)->running == 0 && (*it)->messages.count() == 0) groups_.erase(it);
    return;
  }
}

void SMTPInfoDomainList::sendAllNow(uint32_t now) {
  std::lock_guard<std::mutex> lock(mutex_);
  for (const auto& group : groups_) {
    for (int i = 1; i <= group->messages.count(); ++i) group->messages[i].nextTryAt = now;
  }
}

std::vector<SMTPInfoDomain> SMTPInfoDomainList::snapshot() const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<SMTPInfoDomain> copies;
  copies.reserve(groups_.size());
  for (const auto& group : groups_) copies.push_back(*group);
  return copies;
}

ArrayStr SMTPInfoDomainList::listing() const {
  // Rendered from copies: the file sizes are read without the lock.
  ArrayStr lines;
  for (const SMTPInfoDomain& group : snapshot()) {
    for (int i = 1; i <= group.messages.count(); ++i) appendListing(group.messages[i], lines);
    lines.add(Str());
  }
  return lines;
}

}  // namespace quillet
