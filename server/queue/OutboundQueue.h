// OutboundQueue: the in-memory outbound queue, an SMTPInfoDomainList of SMTPInfoDomain
// groups. Each group holds the queued messages of one priority ("1-1" .. "5-1") in order
// of arrival and is delivered over one connection at a time; the connection manager picks
// the next due group, a delivery thread works on copies of its entries and writes back
// only through the operations here.
//
// Every change of an entry's delivery state rewrites its index file through QueueStore,
// which replaces it atomically, so a crash leaves the old or the new state, never a torn
// file. Removing an entry deletes its files. Nothing here touches the network.
//
// Locking: one list lock guards the list of groups and every group's fields and entries.
// The only slow work done under it is the rewrite of one index file; file deletion and
// reading file sizes for the listing happen after the lock is released. A group is
// removed when its last entry is removed, unless a delivery thread is running on it; then
// it goes when it is marked not running, so one priority never gets a second connection
// while its first one still runs.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "base/ArrayTmpl.h"
#include "base/Str.h"
#include "server/queue/QueueStore.h"
#include "server/queue/SMTPInfo.h"

namespace quillet {

// One group: the messages of one priority, delivered over one connection at a time.
struct SMTPInfoDomain {
  Str name;                      // priority, "-", group number within it: "3-1"
  uint32_t id = 0;               // unique while the server runs, from 1
  uint32_t running = 0;          // nonzero while a delivery thread works on the group
  ArrayTmpl<SMTPInfo> messages;  // by priority, then in order of arrival
  Str lastErrorText;             // cleared when the group is marked running
  uint32_t lastErrorNumber = 0;  // cleared when the group is marked running
};

// A queued file's size as the listing and the delivery log show it: size / 1024, at
// least 1 (also for a file that cannot be read).
[[nodiscard]] int64_t queuedFileKilobytes(const Str& path);

class SMTPInfoDomainList {
 public:
  static constexpr uint32_t kGroupsPerPriority = 1;

  // A queue whose entries' index files are rewritten through store.
  explicit SMTPInfoDomainList(const QueueStore& store);
  SMTPInfoDomainList(const SMTPInfoDomainList&) = delete;
  SMTPInfoDomainList& operator=(const SMTPInfoDomainList&) = delete;

  // Puts entry into the queue: a new queue id, the group of its priority found or
  // created, inserted after the entries of the same or a higher priority. Its message file
  // and index must be on disk already (the producer wrote them, or the reload found
  // them); nothing is written here. False, and nothing queued, when an entry with the same
  // index file is queued already: the reload at start and the decode thread may both find
  // a message the decode thread has just written.
  bool addMessage(SMTPInfo entry);

  // Messages in all groups.
  [[nodiscard]] uint32_t count() const { return count_.load(std::memory_order_relaxed); }
  // Groups in the list.
  [[nodiscard]] int groupCount() const;

  // The id of the next group to deliver at moment now: for priority 1 to 5, groups in list
  // order, the first one not running that holds a message of that priority with next try
  // <= now. 0 when none is due.
  [[nodiscard]] uint32_t nextDueGroup(uint32_t now) const;

  // Sets the group's running flag and its entries' flags and clears its last error. Marked
  // not running, a group left empty is removed. False when there is no such group.
  bool setRunning(uint32_t groupId, bool running);
  [[nodiscard]] bool isRunning(uint32_t groupId) const;

  // Copies the first entry after the one with queue id afterId (0: the first entry);
  // false when there is none (or no such group). When afterId is no longer in the group,
  // the first entry with a larger queue id is taken, so a removal cannot make a delivery
  // thread skip or repeat an entry.
  [[nodiscard]] bool nextMessage(uint32_t groupId, uint32_t afterId, SMTPInfo& copy) const;
  // Like nextMessage, but only entries whose expiry time is reached at moment now.
  [[nodiscard]] bool nextExpiredMessage(uint32_t groupId, uint32_t afterId, uint32_t now,
                                        SMTPInfo& copy) const;

  // Retry rule for one entry: next try = now + interval, tries + 1 and, unless error is
  // err::kTerminated, the error, reply and transcript (its first lines) stored; the index
  // is rewritten. False when the entry is gone or the index could not be rewritten.
  bool rescheduleMessage(uint32_t groupId, uint32_t queueId, int error, const Str& reply,
                         const ArrayStr& transcript, uint32_t interval);
  // The same for every entry of the group; false when some index could not be rewritten.
  bool rescheduleAll(uint32_t groupId, int error, const Str& reply, const ArrayStr& transcript,
                     uint32_t interval);

  // Replaces the entry's recipients (those still to be delivered) and rewrites its index.
  // False when the entry is gone or the index could not be rewritten (the memory copy is
  // changed all the same; the index on disk then names more recipients, which can give
  // duplicates after a crash, never a loss).
  bool keepOnlyRecipients(uint32_t groupId, uint32_t queueId,
                          const ArraySMTPInfoAddress& recipients);

  // Takes the entry out of the queue and deletes its message and index files. A group
  // left empty is removed unless it is running. False when there was no such entry.
  bool removeMessage(uint32_t groupId, uint32_t queueId);

  // Next try = now for every entry of every group (in memory: the index keeps its time,
  // and a restart treats every entry as due anyway once its time has passed).
  void sendAllNow(uint32_t now);

  // The queue listing: per entry its recipients, sender, file with size, times and tries,
  // and status; an empty line after each group.
  [[nodiscard]] ArrayStr listing() const;

  // Copies of every group (for tests and the listing).
  [[nodiscard]] std::vector<SMTPInfoDomain> snapshot() const;

 private:
  SMTPInfoDomain* findGroup(uint32_t groupId) const;    // mutex_ held
  SMTPInfoDomain* groupForPriority(uint32_t priority);  // mutex_ held; made when missing
  static int positionOf(const SMTPInfoDomain& group, uint32_t queueId);  // 0 when missing
  bool rescheduleAt(SMTPInfoDomain& group, int index, int error, const Str& reply,
                    const ArrayStr& transcript, uint32_t interval);  // mutex_ held
  void dropGroupIfDone(uint32_t groupId);                            // mutex_ held

  const QueueStore& store_;
  mutable std::mutex mutex_;
  std::vector<std::unique_ptr<SMTPInfoDomain>> groups_;  // guarded by mutex_, creation order
  std::set<std::string> indexFiles_;                     // guarded by mutex_: of every queued entry
  uint32_t idCounter_ = 0;                               // guarded by mutex_: groups and queue ids
  std::atomic<uint32_t> count_{0};
};

}  // namespace quillet
