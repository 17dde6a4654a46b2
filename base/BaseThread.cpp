// The worker thread base: start, pause, stop request, abandonment (see BaseThread.h).
//
// Every transition of the thread's life happens under stateMutex_, and the thread never
// holds stateMutex_ while it takes a registry lock. The registry, in turn, may hold its
// locks while it asks a thread to stop or kills it. So the lock order is always registry
// first, then stateMutex_, and a registered thread cannot delete itself while its registry
// holds its locks (it must unregister first).
#include "base/BaseThread.h"

#include <chrono>
#include <system_error>

#include "base/ProcessContext.h"

namespace quillet {

namespace {

// A pause is at most three thread sleeps of 250 ms; a stop request ends it at once.
constexpr std::chrono::milliseconds kPauseLimit{3 * 250};

}  // namespace

BaseThread::BaseThread(ThreadRegistry* registry)
    : registry_(registry != nullptr ? registry->members() : nullptr) {}

BaseThread::~BaseThread() {
  // Only a thread without autoDelete can still be joinable here, when its owner did not
  // join() first; this last join at least keeps the thread's own bookkeeping safe.
  if (thread_.joinable()) {
    if (thread_.get_id() == std::this_thread::get_id()) {
      thread_.detach();
    } else {
      requestStop();
      thread_.join();
    }
  }
}

void BaseThread::join() {
  // thread_ changes only in start() and kill(), both under stateMutex_; the join itself
  // happens outside the lock, which the thread needs to finish.
  std::thread::id self = std::this_thread::get_id();
  {
    std::lock_guard lock(stateMutex_);
    if (!thread_.joinable() || thread_.get_id() == self) return;
  }
  thread_.join();
}

bool BaseThread::autoDelete() const {
  std::lock_guard lock(stateMutex_);
  return autoDelete_;
}

void BaseThread::setAutoDelete(bool on) {
  std::lock_guard lock(stateMutex_);
  if (phase_ == Phase::Made) autoDelete_ = on;
}

bool BaseThread::start(bool wait) {
  {
    std::lock_guard lock(stateMutex_);
    if (phase_ != Phase::Made) return false;
    phase_ = Phase::Starting;
  }
  // The thread is registered before it exists, so from the moment start() returns a
  // registry that stops its threads sees it. A thread that registered itself later could
  // be missed by a stop and then run on the data of a run that has ended.
  const int32_t id = registry_ ? registry_->add(this) : 0;
  std::unique_lock lock(stateMutex_);
  id_.store(id, std::memory_order_relaxed);
  bool launched = false;
  if (!abandoned_) {  // kill() came while it was being registered
    try {
      thread_ = std::thread([this] { body(); });
      launched = true;
    } catch (const std::system_error&) {
    }
  }
  if (!launched) {
    phase_ = Phase::Made;
    id_.store(0, std::memory_order_relaxed);
    lock.unlock();
    if (id != 0) registry_->remove(id);
    return false;
  }
  phase_ = Phase::Started;
  // A self-deleting object cannot be joined by anyone: its std::thread dies with it.
  if (autoDelete_) thread_.detach();
  waiterPresent_ = wait;
  goSignalled_ = true;
  stateChanged_.notify_all();
  if (!wait) return true;
  stateChanged_.wait(lock, [this] { return phase_ == Phase::RunReturned || abandoned_; });
  // The thread waits for this before it deletes itself, so the wait above never touches a
  // deleted object.
  waiterPresent_ = false;
  stateChanged_.notify_all();
  return true;
}

void BaseThread::requestStop() {
  std::lock_guard lock(stateMutex_);
  keepRunning_.store(false, std::memory_order_relaxed);
  stateChanged_.notify_all();
}

bool BaseThread::pause() { return pauseFor(kPauseLimit); }

bool BaseThread::pauseFor(std::chrono::milliseconds length) {
  std::unique_lock lock(stateMutex_);
  stateChanged_.wait_for(lock, length, [this] { return !keepRunning(); });
  return keepRunning();
}

bool BaseThread::pauseRounds(int n) {
  for (int round = 0; round < n; ++round) {
    if (!pause()) return false;
  }
  return keepRunning();
}

bool BaseThread::startupDelay() {
  return pauseRounds(ProcessContext::instance().threadStartupDelay());
}

int BaseThread::kill() {
  int32_t id = 0;
  std::shared_ptr<ThreadRegistry::Members> registry;
  {
    std::lock_guard lock(stateMutex_);
    // Not started, already ended (it unregisters by itself), or abandoned before. One
    // being started is abandoned too: start() then unregisters it and launches nothing.
    if (phase_ == Phase::Made || phase_ == Phase::RunReturned || abandoned_) return 0;
    abandoned_ = true;
    keepRunning_.store(false, std::memory_order_relaxed);
    running_.store(false, std::memory_order_relaxed);
    id = id_.load(std::memory_order_relaxed);
    registry = registry_;
    // Without autoDelete the owner would otherwise wait for it forever in the destructor.
    if (thread_.joinable()) thread_.detach();
    stateChanged_.notify_all();  // releases start(wait)
  }
  // From here on the object may be gone (an abandoned autoDelete thread that ends deletes
  // itself): use only the copies taken under the lock, not even registry_.
  if (id != 0) registry->remove(id);
  ProcessContext::instance().markThreadsAbandoned();
  return 0;
}

void BaseThread::body() {
  bool abandonedEarly = false;
  {
    std::unique_lock lock(stateMutex_);
    stateChanged_.wait(lock, [this] { return goSignalled_; });
    // kill() sets abandoned_ under this lock and then unregisters the thread itself.
    abandonedEarly = abandoned_;
    if (!abandonedEarly) running_.store(true, std::memory_order_relaxed);
  }
  if (abandonedEarly) {
    finish(true);
    return;
  }
  int result = run();
  bool abandoned = false;
  {
    std::lock_guard lock(stateMutex_);
    exitCode_.store(result, std::memory_order_relaxed);
    phase_ = Phase::RunReturned;
    abandoned = abandoned_;
    stateChanged_.notify_all();
  }
  finish(abandoned);
}

void BaseThread::finish(bool abandoned) {
  // An abandoned thread was removed by kill(), and its registry may be cleared and reused.
  if (!abandoned && registry_) registry_->remove(id_.load(std::memory_order_relaxed));
  running_.store(false, std::memory_order_relaxed);
  bool deleteSelf = false;
  {
    std::unique_lock lock(stateMutex_);
    stateChanged_.wait(lock, [this] { return !waiterPresent_; });
    deleteSelf = autoDelete_;
  }
  if (deleteSelf) delete this;
}

}  // namespace quillet
