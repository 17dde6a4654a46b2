// POPInContext: what the POP3 inbound threads of a run use, handed to them by the server
// as references and plain values, so this layer needs nothing from the top of the server.
// The server fills it once per run; every referenced object outlives the run's threads.
//
// It holds no logic. Settings are copied in as values (a settings change restarts the run,
// so they stay fixed while the threads live).
#pragma once
#include <atomic>
#include <cstdint>
#include <functional>

#include "base/Str.h"
#include "base/ThreadRegistry.h"
#include "config/MailboxTable.h"
#include "net/DialUp.h"
#include "net/NetworkUpDown.h"
#include "net/SocksSettings.h"
#include "pop3/UidlStore.h"
#include "server/queue/InboundQueue.h"
#include "server/queue/QueueStore.h"
#include "server/runtime/RunState.h"

namespace quillet {

// The settings the inbound threads read.
struct POPInSettings {
  bool verbose = false;             // Verbose
  bool verboseTransfer = false;     // VerboseTransfer
  bool keepFilesOnError = false;    // InboundPOP3DontDeleteOnError
  bool leaveOnServer = false;       // LeaveMessagesOnServer
  bool apop = false;                // InboundAPOP
  bool capa = false;                // InboundCAPA
  bool hidePassword = false;        // InboundPOP3HidePassword
  bool statusNotification = false;  // InboundPOP3StatusDSN
  int32_t defaultPort = 110;        // POPInboundPort
  int32_t maxConnections = 0;       // InboundPOP3MaxConnections; 0 = no limit
  uint32_t maxMessages = 0;         // InboundPOP3MaxMessages; 0 = no limit
  uint32_t maxMessageSize = 0;      // InboundPOP3MaxMessageSize; 0 = no limit
  Str trustFile;                    // TLSTrustFile; empty = the system trust store
  SocksSettings socks;              // the proxy, password descrambled
};

// The status notification to the postmaster after a failed run of a mailbox: the mailbox
// thread's number (for its log lines), the text lines and the session's transcript.
using POPStatusNotifier =
    std::function<void(int32_t threadId, const ArrayStr& lines, const ArrayStr& transcript)>;

struct POPInContext {
  POPInContext(MailboxTable& mailboxTable, InboundQueue& inboundQueue, const QueueStore& queueStore,
               UidlStore& uidlStore, ServerCounters& serverCounters, RunRequests& runRequests)
      : mailboxes(mailboxTable),
        inbound(inboundQueue),
        store(queueStore),
        uidl(uidlStore),
        counters(serverCounters),
        requests(runRequests) {}
  POPInContext(const POPInContext&) = delete;
  POPInContext& operator=(const POPInContext&) = delete;

  MailboxTable& mailboxes;
  InboundQueue& inbound;
  const QueueStore& store;
  UidlStore& uidl;
  ServerCounters& counters;
  RunRequests& requests;
  ThreadRegistry* threads = nullptr;  // where the inbound threads register; may be null
  NetworkUpDown* network = nullptr;   // null: the network is taken as up
  DialUp* dialUp = nullptr;           // for the texts of dial-up failures; may be null
  POPInSettings settings;
  // One log line of a thread (OEM text), e.g. bound to MessageOutput::threadWrite.
  std::function<void(int32_t threadId, const Str& text)> write;
  // One error entry in the event log: its id and text.
  std::function<void(uint32_t eventId, const Str& text)> event;
  // Unset: no notification is sent.
  POPStatusNotifier statusNotifier;
  // The running mailbox threads, compared with the connection limit.
  std::atomic<int32_t> runningMailboxThreads{0};
};

}  // namespace quillet
