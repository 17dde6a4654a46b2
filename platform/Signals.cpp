// Signal handlers of the server (see Signals.h).
#include "platform/Signals.h"

#include <unistd.h>

#include <atomic>
#include <csignal>
#include <mutex>

#include "base/ProcessContext.h"
#include "platform/Terminal.h"

namespace quillet {

namespace {

static_assert(std::atomic<bool>::is_always_lock_free, "handlers need lock-free flags");
static_assert(std::atomic<int>::is_always_lock_free, "handlers need lock-free flags");

std::atomic<bool> ignoreInterrupt{false};
std::atomic<bool> ignoreLogoff{false};
std::atomic<bool> stopRequested{false};
std::atomic<bool> paused{false};
std::atomic<int> stopSignal{0};
// The process context, looked up before the handlers are installed so that a handler
// never runs the initialisation of a function-local static.
std::atomic<ProcessContext*> context{nullptr};

void requestStop(int signalNumber) {
  stopRequested.store(true);
  stopSignal.store(signalNumber);
  if (ProcessContext* process = context.load()) process->setRunning(false);
}

void onSignal(int signalNumber) {
  switch (signalNumber) {
    case SIGTERM:
      requestStop(signalNumber);
      break;
    case SIGINT:
      if (!ignoreInterrupt.load()) requestStop(signalNumber);
      break;
    case SIGHUP:
      if (!ignoreLogoff.load()) requestStop(signalNumber);
      break;
    case SIGQUIT:
      restoreTerminalFromSignal();
      ::_exit(0);
    case SIGUSR1:
      paused.store(true);
      break;
    case SIGUSR2:
      paused.store(false);
      break;
    default:
      break;
  }
}

}  // namespace

void installServerSignalHandlers() {
  static std::once_flag installed;
  std::call_once(installed, [] {
    context.store(&ProcessContext::instance());
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signalNumber : {SIGTERM, SIGINT, SIGHUP, SIGQUIT, SIGUSR1, SIGUSR2}) {
      ::sigaction(signalNumber, &action, nullptr);
    }
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    ::sigaction(SIGPIPE, &ignore, nullptr);
  });
}

void setSignalIgnoreFlags(bool interrupt, bool logoff) {
  ignoreInterrupt.store(interrupt);
  ignoreLogoff.store(logoff);
}

bool stopRequestedBySignal() { return stopRequested.load(); }

bool supervisorPaused() { return paused.load(); }
void setSupervisorPaused(bool on) { paused.store(on); }

int lastStopSignal() { return stopSignal.load(); }

void resetSignalStateForTests() {
  stopRequested.store(false);
  stopSignal.store(0);
  paused.store(false);
}

}  // namespace quillet
