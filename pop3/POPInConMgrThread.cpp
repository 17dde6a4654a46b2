// The POP3 inbound connection manager (see POPInConMgrThread.h).
#include "pop3/POPInConMgrThread.h"

#include "base/Clock.h"
#include "base/ProcessContext.h"
#include "base/ThreadStart.h"
#include "pop3/POPInThread.h"

namespace quillet {

POPInConMgrThread::POPInConMgrThread(POPInContext& context, std::function<void(bool)> started)
    : BaseThread(context.threads), context_(context), started_(std::move(started)) {}

POPInConMgrThread::~POPInConMgrThread() {
  if (!reportedStart_ && started_) started_(false);
}

void POPInConMgrThread::log(const Str& text) const {
  if (context_.write) context_.write(id(), text);
}

int POPInConMgrThread::run() {
  if (context_.settings.verbose) log("POP3 inbound connection manager started");
  reportedStart_ = true;
  if (started_) started_(true);
  // Like every worker but the clock thread, it lets the run settle before its first pass.
  if (!startupDelay()) {
    if (context_.settings.verbose) log("POP3 inbound connection manager stopped");
    return 0;
  }
  while (keepRunning()) {
    if (!pause()) break;
    if (context_.mailboxes.count() == 0) continue;
    pass(context_.requests.inboundRun.consume());
  }
  if (context_.settings.verbose) log("POP3 inbound connection manager stopped");
  return 0;
}

bool POPInConMgrThread::isDue(int mailboxNumber, bool fetchAll, uint32_t moment) const {
  BaseObj::Guard guard(context_.mailboxes);
  if (mailboxNumber > context_.mailboxes.count()) return false;
  const POPItem& item = context_.mailboxes.item(mailboxNumber);
  if (item.busy != 0) return false;
  return fetchAll || item.schedule.due(moment);
}

bool POPInConMgrThread::waitForFreeConnection() {
  const int32_t limit = context_.settings.maxConnections;
  if (limit <= 0) return keepRunning();
  while (keepRunning() && context_.runningMailboxThreads.load(std::memory_order_relaxed) >= limit) {
    if (!pauseRounds(1)) return false;
  }
  return keepRunning();
}

bool POPInConMgrThread::startMailbox(int mailboxNumber) {
  // The manager waits for the thread to count itself and mark the mailbox busy, so the
  // next due test and limit check of this pass already see it.
  SetUpSignal signal;
  return startAndAwaitSetUp(new POPInThread(context_, mailboxNumber, signal.reporter()), signal);
}

void POPInConMgrThread::pass(bool fetchAll) {
  const int total = context_.mailboxes.count();
  for (int number = 1; number <= total && keepRunning(); ++number) {
    if (!isDue(number, fetchAll, currentTimestamp())) continue;
    if (!waitForFreeConnection()) return;
    // A start cut short because the run is stopping is no failure worth reporting.
    if (!startMailbox(number) && ProcessContext::instance().running()) {
      log("Error: Unable to start inbound POP3 thread");
    }
    BaseObj::Guard guard(context_.mailboxes);
    if (number <= context_.mailboxes.count()) {
      context_.mailboxes.item(number).schedule.markRun(currentTimestamp());
    }
  }
}

}  // namespace quillet
