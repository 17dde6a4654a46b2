// The start list of a run's worker threads (see ServerThreads.h).
#include "server/ServerThreads.h"

#include "server/display/ClockThread.h"
#include "server/display/StatusLine.h"

namespace quillet {

ThreadStartList serverThreads(AppData& app, ConsoleScreen* screen) {
  ThreadStartList list;
  list.add(kClockThreadStartError, [&app, screen] {
    StatusSource source;
    source.counters = &app.counters();
    ThreadRegistry& threads = app.threads();
    source.threadCount = [&threads] { return static_cast<uint32_t>(threads.count()); };
    source.breakAt = app.breakAt();
    return startDetached(new ClockThread(&app.threads(), screen, source));
  });
  // The decode thread (kDecodeThreadStartError), the SMTP outbound connection manager (no
  // message), the POP3 inbound connection manager (kInboundManagerStartError) and, with
  // Pickup on, the pickup manager (kPickupManagerStartError) follow here, in this order,
  // each through startAndAwaitSetUp() with a SetUpSignal whose reporter the thread gets.
  return list;
}

}  // namespace quillet
