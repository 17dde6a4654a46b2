// The list of running threads and the shutdown sequence (see ThreadRegistry.h).
#include "base/ThreadRegistry.h"

#include <chrono>
#include <vector>

#include "base/BaseThread.h"
#include "base/ProcessContext.h"

namespace quillet {

namespace {

// How long waitEmpty() waits at most: three thread sleeps of 250 ms.
constexpr std::chrono::milliseconds kWaitEmptyLimit{3 * 250};

}  // namespace

ThreadRegistry::Members::Members() {
  ids_.enableLock();
  threads_.enableLock();
}

int32_t ThreadRegistry::Members::add(BaseThread* thread) {
  BothLocked lock(*this);
  int n = ids_.count();
  int32_t id = n == 0 ? 1 : ids_[n] + 1;
  ids_.add(id);
  threads_.add(DumbPtr<BaseThread>(thread));
  noteCount();
  return id;
}

void ThreadRegistry::Members::remove(int32_t id) {
  BothLocked lock(*this);
  int n = ids_.count();
  for (int i = 1; i <= n; ++i) {
    if (ids_[i] == id) {
      ids_.remove(i);
      threads_.remove(i);
      noteCount();
      return;
    }
  }
}

int ThreadRegistry::Members::count() const { return ids_.count(); }

void ThreadRegistry::Members::clear() {
  BothLocked lock(*this);
  ids_.clear();
  threads_.clear();
  noteCount();
}

bool ThreadRegistry::Members::waitEmpty() const {
  std::unique_lock lock(changeMutex_);
  return changed_.wait_for(lock, kWaitEmptyLimit, [this] { return entries_ == 0; });
}

void ThreadRegistry::Members::noteCount() {
  // Called under both locks; changeMutex_ is always the innermost lock, so waitEmpty()
  // never needs the array locks and cannot deadlock with a caller that holds them.
  std::lock_guard lock(changeMutex_);
  entries_ = ids_.count();
  changed_.notify_all();
}

ThreadRegistry::ThreadRegistry() : members_(std::make_shared<Members>()) {}

bool ThreadRegistry::stopAll(const Str& message, int rounds) {
  {
    Members::BothLocked lock(*members_);
    ProcessContext::instance().setRunning(false);
    for (int i = members_->count(); i >= 1; --i) members_->threadAt(i)->requestStop();
  }
  // The second wait gives threads that were between two pauses one more chance.
  if (members_->waitEmpty() || members_->waitEmpty()) return true;
  if (rounds < 2) return false;
  if (!message.isBlank()) ProcessContext::instance().writeMessage(message.toStd());
  for (int round = 0; round < rounds; ++round) {
    if (members_->waitEmpty()) return true;
  }
  return false;
}

bool ThreadRegistry::stopAllOrKill(ArrayTmpl<int32_t>& killedIds) {
  if (stopAll(Str(), 3)) return true;
  {
    // Both locks stay held while the threads are killed: a registered thread unregisters
    // before it deletes itself, so none of the pointers below can dangle meanwhile.
    Members::BothLocked lock(*members_);
    struct Entry {
      int32_t id;
      BaseThread* thread;
    };
    std::vector<Entry> remaining;
    for (int i = 1; i <= members_->count(); ++i) {
      remaining.push_back({members_->idAt(i), members_->threadAt(i)});
    }
    for (const Entry& entry : remaining) {
      killedIds.add(entry.id);
      entry.thread->kill();
    }
  }
  // Threads whose run() returned just before the kill leave by themselves.
  (void)members_->waitEmpty();
  members_->clear();
  return true;
}

}  // namespace quillet
