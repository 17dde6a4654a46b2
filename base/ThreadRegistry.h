// ThreadRegistry: the list of running threads of one owner (the server run, a connection
// manager). Threads enter it when they begin and leave it when they end; the owner counts
// them, waits for them and stops them together at shutdown.
//
// The list holds non-owning pointers only. Its two arrays (ids and threads) live in a block
// that the registered threads share, so a thread that ends after its registry object was
// destroyed (an abandoned thread at the end of a run) still unregisters safely. It does not
// create, own or delete threads; kill() of a thread that ignores its stop request is the
// last resort (see BaseThread).
#pragma once

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>

#include "base/ArrayTmpl.h"
#include "base/SmartPtr.h"
#include "base/Str.h"

namespace quillet {

class BaseThread;

class ThreadRegistry {
 public:
  // The ids and threads kept in step, each with its own lock; locks are always taken ids
  // first, then threads.
  class Members {
   public:
    Members();

    // Appends thread; its id is the last id plus 1, or 1 when the list is empty.
    [[nodiscard]] int32_t add(BaseThread* thread);
    // Removes the entry with this id; an unknown id changes nothing.
    void remove(int32_t id);
    int count() const;
    // Waits while threads are registered, at most 750 ms; true when the list is empty.
    // Wakes as soon as the last thread leaves.
    [[nodiscard]] bool waitEmpty() const;
    // Removes every entry.
    void clear();

    // Holds both locks (ids, then threads) for its lifetime.
    class BothLocked {
     public:
      explicit BothLocked(const Members& members)
          : idsGuard_(members.ids_), threadsGuard_(members.threads_) {}

     private:
      BaseObj::Guard idsGuard_;
      BaseObj::Guard threadsGuard_;
    };

    // Entry access; the caller holds BothLocked and checks count() first.
    int32_t idAt(int index) const { return ids_[index]; }
    BaseThread* threadAt(int index) const { return threads_[index].get(); }

   private:
    // Publishes the new number of entries to waitEmpty(); the caller holds both locks.
    void noteCount();

    ArrayTmpl<int32_t> ids_;
    ArrayTmpl<DumbPtr<BaseThread>> threads_;
    mutable std::mutex changeMutex_;           // innermost lock, pairs with changed_
    mutable std::condition_variable changed_;  // signalled whenever the list changes
    int entries_ = 0;                          // guarded by changeMutex_: copy of the count
  };

  ThreadRegistry();
  ~ThreadRegistry() = default;
  ThreadRegistry(const ThreadRegistry&) = delete;
  ThreadRegistry& operator=(const ThreadRegistry&) = delete;

  [[nodiscard]] int32_t add(BaseThread* thread) { return members_->add(thread); }
  void remove(int32_t id) { members_->remove(id); }
  int count() const { return members_->count(); }
  // Waits while threads are registered, at most 750 ms; true when none is left.
  [[nodiscard]] bool waitEmpty() const { return members_->waitEmpty(); }

  // Stops the process: clears the process running flag and asks every registered thread to
  // stop (last to first, under both locks), then waits for them. True when no thread is
  // left. After the first two waits, when threads remain and rounds is at least 2, writes
  // message (unless blank) to the program output and waits up to rounds more times.
  [[nodiscard]] bool stopAll(const Str& message, int rounds);

  // stopAll() with 3 rounds; threads that still remain are abandoned (BaseThread::kill)
  // and their ids appended to killedIds, then the registry is cleared. Returns true.
  bool stopAllOrKill(ArrayTmpl<int32_t>& killedIds);

  // The shared block, for the threads that register here.
  const std::shared_ptr<Members>& members() const { return members_; }

 private:
  std::shared_ptr<Members> members_;
};

}  // namespace quillet
