// SMTPOutContext: what the SMTP outbound connection manager and its delivery threads use,
// handed to them by the server as references and plain values, so this layer needs
// nothing from the top of the server. The server fills it once per run; every referenced
// object outlives the run's threads.
//
// It holds no logic. Settings are copied in as values (a settings change restarts the run,
// so they stay fixed while the threads live); the password is held descrambled.
#pragma once
#include <cstdint>
#include <functional>

#include "base/Str.h"
#include "base/ThreadRegistry.h"
#include "server/queue/OutboundQueue.h"
#include "server/queue/QueueStore.h"
#include "server/runtime/RunState.h"
#include "smtp/DeliveryFailure.h"
#include "smtp/WSSMTPClient.h"
#include "smtp/outbound/OutboundSession.h"

namespace quillet {

// The settings the outbound threads read.
struct SMTPOutSettings {
  Str smartHost = "localhost";                        // SmartHost
  int32_t port = 25;                                  // SMTPOutboundPort
  uint32_t lifetimeSeconds = 259200;                  // SMTPOutboundNormalExpire
  uint32_t retrySeconds = 900;                        // SMTPOutboundNormalNextTry
  bool esmtp = true;                                  // OutboundESMTP
  bool checkExchange = true;                          // CheckExchange
  bool authenticate = false;                          // OutboundExchAuth
  Str user;                                           // OutboundExchAuthUser, converted to UTF-8
  Str password;                                       // OutboundExchAuthPassword, descrambled
  bool verbose = false;                               // Verbose
  bool verboseTransfer = false;                       // VerboseTransfer
  StartTlsMode startTls = StartTlsMode::WhenOffered;  // OutboundSTARTTLS
  Str trustFile;      // TLSTrustFile; empty = the system trust store
  Str localHostName;  // the name announced in EHLO/HELO
};

// The failure and expiry notifications (delivery status notifications). failed is a
// copy of the entry whose recipients are just the failed ones; its files still exist
// while the call runs and are removed afterwards.
using DeliveryFailureNotifier =
    std::function<void(int32_t threadId, const SMTPInfo& failed, const DeliveryFailure& failure)>;

struct SMTPOutContext {
  SMTPOutContext(SMTPInfoDomainList& outboundQueue, const QueueStore& queueStore,
                 ServerCounters& serverCounters, RunRequests& runRequests)
      : queue(outboundQueue), store(queueStore), counters(serverCounters), requests(runRequests) {}
  SMTPOutContext(const SMTPOutContext&) = delete;
  SMTPOutContext& operator=(const SMTPOutContext&) = delete;

  SMTPInfoDomainList& queue;
  const QueueStore& store;
  ServerCounters& counters;
  RunRequests& requests;
  ThreadRegistry* threads = nullptr;  // where the outbound threads register; may be null
  SMTPOutSettings settings;
  // Makes each delivery thread's SMTP session.
  OutboundSessionFactory sessions;
  // One log line of a thread (OEM text), e.g. bound to MessageOutput::threadWrite.
  std::function<void(int32_t threadId, const Str& text)> write;
  // Unset: no notification is sent (and nothing extra is logged).
  DeliveryFailureNotifier notifyFailure;
};

}  // namespace quillet
