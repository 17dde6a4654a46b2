// The supervisor loop of a server run (see Supervisor.h).
#include "server/Supervisor.h"

#include <thread>
#include <utility>

#include "base/ProcessContext.h"
#include "decode/AddressParser.h"

namespace quillet {

namespace {

bool running() { return ProcessContext::instance().running(); }

}  // namespace

Str configurationError(const ServerSettings& settings) {
  if (settings.string(ServerKey::SmartHost).isBlank()) return "Config Error: No smart host given!";
  Str postmaster = settings.string(ServerKey::Postmaster);
  postmaster.trimWhite();
  if (postmaster.empty() || !isValidAddress(postmaster.view())) {
    return "Config Error: Address of Postmaster is invalid!";
  }
  return Str();
}

Supervisor::Supervisor(AppData& app, Sema& instanceLock, const ThreadStartList& threads,
                       Hooks hooks)
    : app_(app), instanceLock_(instanceLock), threads_(threads), hooks_(std::move(hooks)) {}

Supervisor::Outcome Supervisor::run() {
  for (;;) {
    standStillWhilePaused();
    if (!running()) return Outcome::Stop;
    if (!started_ && tryToStart()) reportStatus("Running");
    if (app_.settings().changedSinceRead() || app_.dataFilesChanged()) return Outcome::Restart;
    if (hooks_.wait() == WaitResult::Stop) return Outcome::Stop;
  }
}

bool Supervisor::tryToStart() {
  MessageOutput& output = app_.output();
  if (!instanceLock_.acquire(1)) {
    output.write("There is already an instance of Quillet running!", true);
    output.write("Please shut down either this or the other instance", true);
    reportStatus("Waiting: another instance runs in this directory");
    return false;
  }
  if (app_.loadDataFiles() != AppData::LoadResult::Loaded) {
    output.write("Unable to lock the data files!", true);
    output.write("Looks like Helmcrest is currently modifying the data files", true);
    output.write("Will automatically retry the locking in 60 seconds", true);
    reportStatus("Waiting: the data files are locked");
    return false;
  }
  const Str problem = configurationError(app_.settings());
  if (!problem.empty()) {
    output.write(problem, true);
    reportStatus(problem);
    return false;
  }
  // Started stays set even when a thread fails to start: no second attempt in this run.
  started_ = true;
  (void)threads_.startAll(output);
  return true;
}

void Supervisor::standStillWhilePaused() {
  if (!hooks_.paused || !hooks_.paused()) return;
  reportStatus("Paused");
  while (hooks_.paused() && running()) std::this_thread::sleep_for(hooks_.pausePoll);
  reportStatus(running() ? "Running" : "Stopping");
}

void Supervisor::reportStatus(const Str& text) {
  if (hooks_.status) hooks_.status(text);
}

}  // namespace quillet
