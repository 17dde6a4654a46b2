// The start list of a run's worker threads (see ServerThreads.h).
#include "server/ServerThreads.h"

#include "pop3/POPInConMgrThread.h"
#include "server/display/ClockThread.h"
#include "server/display/StatusLine.h"
#include "smtp/outbound/SMTPOutConMgrThread.h"

namespace quillet {

ThreadStartList serverThreads(AppData& app, ConsoleScreen* screen) {
  ThreadStartList list;
  list.add(kClockThreadStartError, [&app, screen] {
    StatusSource source;
    source.counters = &app.counters();
    ThreadRegistry& threads = app.threads();
    source.threadCount = [&threads] { return static_cast<uint32_t>(threads.count()); };
    InboundQueue& inbound = app.inbound();
    source.inboundQueueLength = [&inbound] { return inbound.count(); };
    SMTPInfoDomainList& outbound = app.outbound();
    source.outboundQueueLength = [&outbound] { return outbound.count(); };
    source.breakAt = app.breakAt();
    return startDetached(new ClockThread(&app.threads(), screen, source));
  });
  // The decode thread (kDecodeThreadStartError) comes here once it exists.
  // The SMTP outbound connection manager: a failed start writes no message.
  list.add(Str(), [&app] {
    SetUpSignal signal;
    return startAndAwaitSetUp(new SMTPOutConMgrThread(app.outboundContext(), signal.reporter()),
                              signal);
  });
  list.add(kInboundManagerStartError, [&app] {
    SetUpSignal signal;
    return startAndAwaitSetUp(new POPInConMgrThread(app.inboundContext(), signal.reporter()),
                              signal);
  });
  // With Pickup on, the pickup manager (kPickupManagerStartError) follows here, through
  // startAndAwaitSetUp() with a SetUpSignal whose reporter the thread gets.
  return list;
}

}  // namespace quillet
