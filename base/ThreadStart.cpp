// Starting worker threads and waiting for their set-up (see ThreadStart.h).
#include "base/ThreadStart.h"

#include <chrono>
#include <utility>

#include "base/ProcessContext.h"

namespace quillet {

namespace {

// How often a waiting start looks at the running flag.
constexpr std::chrono::milliseconds kRunningPoll{250};

}  // namespace

void SetUpSignal::State::report(bool setUpDone) {
  std::lock_guard lock(mutex);
  if (done) return;
  done = true;
  ok = setUpDone;
  reported.notify_all();
}

// Lives as long as the thread's callback; reports a failure when dropped unreported.
struct SetUpSignal::Token {
  explicit Token(std::shared_ptr<State> s) : state(std::move(s)) {}
  ~Token() { state->report(false); }
  Token(const Token&) = delete;
  Token& operator=(const Token&) = delete;
  std::shared_ptr<State> state;
};

SetUpSignal::SetUpSignal() : state_(std::make_shared<State>()) {}

std::function<void(bool)> SetUpSignal::reporter() {
  auto token = std::make_shared<Token>(state_);
  return [token](bool setUpDone) { token->state->report(setUpDone); };
}

bool SetUpSignal::wait() {
  std::unique_lock lock(state_->mutex);
  while (!state_->done) {
    if (!ProcessContext::instance().running()) return false;
    state_->reported.wait_for(lock, kRunningPoll);
  }
  return state_->ok;
}

bool startDetached(BaseThread* thread) {
  if (thread->start()) return true;
  delete thread;  // never started, so nothing else refers to it
  return false;
}

bool startAndAwaitSetUp(BaseThread* thread, SetUpSignal& signal) {
  return startDetached(thread) && signal.wait();
}

}  // namespace quillet
