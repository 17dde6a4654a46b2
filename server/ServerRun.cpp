// The sequence of server runs (see ServerRun.h).
#include "server/ServerRun.h"

#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <thread>

#include "base/ArrayTmpl.h"
#include "base/Clock.h"
#include "base/ProcessContext.h"
#include "base/Sema.h"
#include "net/LocalHost.h"
#include "platform/EventLog.h"
#include "platform/ProcessControl.h"
#include "platform/ServiceNotify.h"
#include "platform/Signals.h"
#include "platform/Terminal.h"
#include "server/AppData.h"
#include "server/Banner.h"
#include "server/Kernel.h"
#include "server/ServerThreads.h"
#include "server/StopSequence.h"
#include "server/Supervisor.h"
#include "server/display/ConsoleDisplay.h"
#include "server/display/WaitStep.h"

namespace quillet {

namespace {

using namespace std::chrono_literals;

constexpr auto kDelayPoll = 300ms;
constexpr auto kQuestionTime = 60s;

void print(const std::string& text) {
  std::fputs(text.c_str(), stdout);
  std::fflush(stdout);
}

void setConsoleTitle(const char* title) {
  if (!isTerminal(STDOUT_FILENO)) return;
  (void)writeToTerminal(STDOUT_FILENO, std::string("\x1b]2;") + title + "\x07");
}

// The start-up delay: the full time, polled every 300 ms; a stop request does not shorten
// it (the run after it sees the request at once).
void delayStartup(int seconds) {
  const WaitDeadline end{std::chrono::seconds(seconds)};
  while (!end.reached()) std::this_thread::sleep_for(kDelayPoll);
}

void writeHostAddresses(AppData& app) {
  const ArrayTmpl<WSInfoIP>& addresses = app.localAddresses();
  Str joined;
  for (int i = 1; i <= addresses.count(); ++i) {
    if (i > 1) joined += " , ";
    joined += addresses[i].ip;
  }
  MessageOutput& output = app.output();
  output.write(Str("running on ") + joined, false);
  if (app.verbose()) {
    for (int i = 1; i <= addresses.count(); ++i) {
      output.write(Str("running on ") + addresses[i].ip + " (" + addresses[i].name + ")", false);
    }
  }
  output.write("", false);
}

// The run's reports to systemd in service mode (nothing in console mode). A report that
// cannot be sent goes to the system log and ends the run, as a failed service status
// report does: systemd would otherwise wait for a service that never reports.
class ServiceReports {
 public:
  ServiceReports(bool serviceMode, EventLog& eventLog)
      : serviceMode_(serviceMode), eventLog_(eventLog) {}

  void ready() {
    check([] { return notifyReady(); });
  }
  void status(const Str& text) {
    check([&text] { return notifyStatus(text.toStd()); });
  }
  void stopping() {
    check([] { return notifyStopping(); });
  }

 private:
  template <typename Send>
  void check(Send send) {
    if (!serviceMode_ || send()) return;
    eventLog_.error(errno, "SetServiceStatus failed!");
    ProcessContext::instance().setRunning(false);
  }

  bool serviceMode_;
  EventLog& eventLog_;
};

enum class RunEnd { Stop, Restart };

class Run {
 public:
  Run(const ServerRunOptions& options, bool delay) : options_(options), delay_(delay) {}

  RunEnd execute() {
    kernel_ = std::make_unique<Kernel>(options_.programDirectory, options_.serviceMode);
    EventLog eventLog(options_.serviceName.toStd());
    ServiceReports reports(options_.serviceMode, eventLog);
    setConsoleTitle(kProgramTitle);
    print(bannerText(options_.serviceMode));
    MessageOutput& output = kernel_->output();
    const int32_t delaySeconds = kernel_->settings().integer(ServerKey::StartupDelay);
    if (delay_ && delaySeconds > 0) {
      const Str message = Str("Delaying startup for ") + Str::fromInt(delaySeconds) + " seconds";
      output.write(message, true);
      reports.status(message);
      delayStartup(delaySeconds);
    }

    app_ = std::make_unique<AppData>(*kernel_);
    if (!app_->queues().createQueueDirectories()) {
      output.write("Error: Unable to create the queue directories MSG-IN and MSG-OUT", true);
    }
    display_ = ConsoleDisplay::openOnTerminal(kernel_->settings().boolean(ServerKey::ScreenMono));
    if (display_) {
      display_->drawHeader(kProgramTitle, kNoticeLine1);
      output.setMessageArea(&display_->messageWindow());
    }
    output.write(Str(kProgramTitle) + " started", true);
    eventLog.started();
    writeHostAddresses(*app_);

    Sema instanceLock(kInstanceLockName);
    const Supervisor::Outcome outcome = supervise(instanceLock, reports);
    const bool restart = outcome == Supervisor::Outcome::Restart;
    if (!restart) reports.stopping();
    reports.status(restart ? "Restarting" : "Stopping");

    const int pauses = options_.serviceMode && !restart ? kStopPausesService : kStopPausesConsole;
    (void)runStopSequence(app_->threads(), pauses, output);
    eventLog.stopped();
    output.write("Quillet stopped", false);
    // Best effort: the lock ends with its descriptor even when the file cannot be deleted.
    static_cast<void>(instanceLock.release());
    if (ProcessContext::instance().threadsAbandoned()) endAfterAbandonedThreads(restart);
    output.setMessageArea(nullptr);
    display_.reset();
    app_.reset();
    kernel_.reset();
    return restart ? RunEnd::Restart : RunEnd::Stop;
  }

 private:
  Supervisor::Outcome supervise(Sema& instanceLock, ServiceReports& reports) {
    MessageOutput& output = kernel_->output();
    const ThreadStartList threads = serverThreads(*app_, display_ ? &display_->screen() : nullptr);
    WaitTimings timings;
    const int32_t interval = kernel_->settings().integer(ServerKey::Interval);
    // An Interval below one second would make the loop spin.
    timings.interval = std::chrono::seconds(interval < 1 ? 1 : interval);
    timings.question = kQuestionTime;
    WaitStep waitStep(timings, display_ ? display_->keys() : nullptr, app_->requests(), output,
                      kernel_->programDirectory(), app_->breakAt(), [this, &output] {
                        static_cast<void>(app_->logMailer().mail(output.currentLogPath()));
                      });
    waitStep.setPauseCheck([] { return supervisorPaused(); });
    Supervisor::Hooks hooks;
    hooks.wait = [&waitStep] { return waitStep.run(); };
    hooks.paused = [] { return supervisorPaused(); };
    hooks.status = [&reports](const Str& text) { reports.status(text); };
    reports.ready();
    Supervisor supervisor(*app_, instanceLock, threads, std::move(hooks));
    return supervisor.run();
  }

  // The threads that were abandoned may still use the run's objects, so none of them is
  // freed: the process ends, or is replaced by a fresh copy for the restart.
  [[noreturn]] void endAfterAbandonedThreads(bool restart) {
    if (restart && !options_.programPath.empty()) {
      setEnvironmentVariable(kRestartedEnvironment, "1");
      restoreTerminalFromSignal();  // the display object stays: a clock thread may still draw
      reexecuteProgram(options_.programPath, options_.arguments);
      kernel_->output().write("Error: Unable to restart the program", true);
    }
    exitImmediately(0);
  }

  const ServerRunOptions& options_;
  bool delay_;
  std::unique_ptr<Kernel> kernel_;
  std::unique_ptr<AppData> app_;
  std::unique_ptr<ConsoleDisplay> display_;
};

}  // namespace

int runServer(const ServerRunOptions& options) {
  installServerSignalHandlers();
  bool delay = options.startupDelay;
  for (;;) {
    Run run(options, delay);
    if (run.execute() == RunEnd::Stop) return 0;
    delay = false;
  }
}

}  // namespace quillet
