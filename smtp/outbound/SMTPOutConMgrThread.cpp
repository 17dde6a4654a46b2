// The SMTP outbound connection manager (see SMTPOutConMgrThread.h).
#include "smtp/outbound/SMTPOutConMgrThread.h"

#include <chrono>

#include "base/Clock.h"
#include "base/ProcessContext.h"
#include "base/ThreadStart.h"
#include "smtp/outbound/SMTPOutThread.h"

namespace quillet {

namespace {
constexpr std::chrono::milliseconds kRoundPause{1000};
}  // namespace

SMTPOutConMgrThread::SMTPOutConMgrThread(SMTPOutContext& context, std::function<void(bool)> started)
    : BaseThread(context.threads), context_(context), started_(std::move(started)) {}

SMTPOutConMgrThread::~SMTPOutConMgrThread() {
  if (!reportedStart_ && started_) started_(false);
}

void SMTPOutConMgrThread::log(const Str& text) const {
  if (context_.write) context_.write(id(), text);
}

int SMTPOutConMgrThread::run() {
  const bool verbose = context_.settings.verbose;
  if (verbose) log("SMTP outbound connection manager started");
  reportedStart_ = true;
  if (started_) started_(true);
  reload();
  if (startupDelay()) {
    while (pauseFor(kRoundPause)) round();
  }
  if (verbose) log("SMTP outbound connection manager stopped");
  return 0;
}

int SMTPOutConMgrThread::reload() {
  ArrayStr names;
  const QueueStore& store = context_.store;
  if (!store.listIndexFiles(QueueNumber::Outbound, names)) {
    log("Error: Unable to read " + store.queueDirectory(QueueNumber::Outbound));
    return 0;
  }
  const Str directory = store.queueDirectory(QueueNumber::Outbound);
  const Str total = Str::fromInt(names.count());
  int queued = 0;
  for (int i = 1; i <= names.count() && keepRunning(); ++i) {
    if (context_.settings.verbose) {
      log("Reading queued messages from disk: " + Str::fromInt(i) + " / " + total);
    }
    SMTPInfo entry;
    entry.indexFile = directory + names[i];
    const IndexStatus status = store.loadIndex(entry, QueueNumber::Outbound);
    if (status != IndexStatus::Loaded) {
      log("Error: Queued message skipped: " + entry.indexFile + " (" + indexStatusText(status) +
          ")");
      continue;
    }
    // The lifetime is the one set now, so a changed setting applies to queued mail.
    const uint32_t expiresAt = entry.queuedAt + context_.settings.lifetimeSeconds;
    if (entry.expiresAt != expiresAt) {
      entry.expiresAt = expiresAt;
      if (!store.writeIndex(entry, QueueNumber::Outbound)) {
        log(errorText(err::kWriteTempFile) + " " + entry.indexFile);
      }
    }
    if (context_.queue.addMessage(entry)) ++queued;
  }
  return queued;
}

void SMTPOutConMgrThread::round() {
  if (context_.requests.queueListing.consume()) {
    const ArrayStr lines = context_.queue.listing();
    for (int i = 1; i <= lines.count(); ++i) log(lines[i]);
  }
  if (context_.requests.outboundRun.consume()) context_.queue.sendAllNow(currentTimestamp());
  const uint32_t groupId = context_.queue.nextDueGroup(currentTimestamp());
  if (groupId == 0) return;
  // A start cut short because the run is stopping is no failure worth reporting.
  if (!startGroup(groupId) && ProcessContext::instance().running() && keepRunning()) {
    log("Error: Unable to start outbound SMTP thread");
  }
}

bool SMTPOutConMgrThread::startGroup(uint32_t groupId) {
  // Waiting for the thread to mark its group running keeps the next round from choosing
  // the same group again.
  SetUpSignal signal;
  return startAndAwaitSetUp(new SMTPOutThread(context_, groupId, signal.reporter()), signal);
}

}  // namespace quillet
