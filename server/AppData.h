// AppData: the state of one server run. It is made after the start-up delay from the
// run's Kernel and destroyed at the end of the run, so a restart builds everything anew:
// the thread registry, counters and requests, the break time, the network settings, the
// queue store and statistics writer, the outbound queue, the delivery status notifications
// and the log mailer (whose messages go to that queue), and the mailbox table and address
// list loaded from the data files.
//
// The data files are open only while they are loaded: loadDataFiles() takes the data lock
// "QUILLETDBT.LCK", loads, closes the files and releases the lock again, so the
// administration program can edit them while the server runs (a change restarts the run).
// The watchers remember the files' times as they stood after the load.
//
// It starts no threads and writes no messages (the supervisor does both).
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>

#include "base/FileReRead.h"
#include "base/Str.h"
#include "base/ThreadRegistry.h"
#include "config/AddressList.h"
#include "config/MailboxTable.h"
#include "net/DialUp.h"
#include "net/LocalHost.h"
#include "net/NetworkUpDown.h"
#include "net/RouterWakeUp.h"
#include "pop3/POPInContext.h"
#include "pop3/UidlStore.h"
#include "server/Kernel.h"
#include "server/LogMailer.h"
#include "server/NetworkSettings.h"
#include "server/queue/InboundQueue.h"
#include "server/queue/OutboundQueue.h"
#include "server/queue/QueueStore.h"
#include "server/runtime/RunState.h"
#include "server/runtime/StatisticsWriter.h"
#include "smtp/DeliveryNotifications.h"
#include "smtp/outbound/SMTPOutContext.h"

namespace quillet {

class AppData {
 public:
  static constexpr const char* kDataLockName = "QUILLETDBT.LCK";

  enum class LoadResult { Loaded, LockBusy, LoadFailed };

  // Reads Verbose, the break time (from now on) and the dial-up and SOCKS settings.
  explicit AppData(Kernel& kernel);
  AppData(const AppData&) = delete;
  AppData& operator=(const AppData&) = delete;

  Kernel& kernel() { return kernel_; }
  const ServerSettings& settings() const { return kernel_.settings(); }
  MessageOutput& output() { return kernel_.output(); }

  bool verbose() const { return verbose_; }
  const Str& programTitle() const { return programTitle_; }
  // Timestamp at which the run stops by itself; 0 = none.
  uint32_t breakAt() const { return breakAt_; }

  ThreadRegistry& threads() { return threads_; }
  ServerCounters& counters() { return counters_; }
  RunRequests& requests() { return requests_; }
  const std::optional<DialUpSettings>& dialUp() const { return dialUp_; }
  const SocksSettings& socks() const { return socks_; }
  QueueStore& queues() { return queues_; }
  StatisticsWriter& statistics() { return statistics_; }
  MailboxTable& mailboxes() { return mailboxes_; }
  AddressList& addresses() { return addresses_; }
  InboundQueue& inbound() { return inbound_; }
  SMTPInfoDomainList& outbound() { return outbound_; }
  UidlStore& uidl() { return uidl_; }
  // What the POP3 inbound threads use; its network steps are set by loadDataFiles().
  POPInContext& inboundContext() { return *inboundContext_; }
  // What the SMTP outbound manager and delivery threads use.
  SMTPOutContext& outboundContext() { return *outboundContext_; }
  // This host's addresses with their names, looked up once per run (the start-up lines).
  const ArrayTmpl<WSInfoIP>& localAddresses() const { return localAddresses_; }
  // The name of this host (notifications, Message-IDs).
  const Str& localHostName() const { return localHostName_; }
  // The delivery status notifications of the run's threads.
  DeliveryNotifications& notifications() { return *notifications_; }
  // The log mailing of the wait step ("SendLog.sig").
  LogMailer& logMailer() { return *logMailer_; }

  // Takes the data lock (one attempt), loads the three data files into the mailbox table
  // and the address list (giving DATACONF.DAT its first record), closes them, records
  // their times in the watchers and releases the lock. Then it prepares the POP3 inbound
  // side: the unique-id store is loaded (or, with LeaveMessagesOnServer off, deleted), and
  // the dial-up connection, router wake-up and the inbound threads' context are made. LockBusy:
  // another program holds the lock; LoadFailed: a file could not be opened, read or written.
  // Nothing stays open or locked in any case.
  [[nodiscard]] LoadResult loadDataFiles();

  // True when one of the data files was saved again since the last successful load.
  [[nodiscard]] bool dataFilesChanged() const;

 private:
  void makeNotifications();
  void makeInboundContext();
  void makeOutboundContext();
  void prepareInbound();

  Kernel& kernel_;
  bool verbose_;
  Str programTitle_;
  ArrayTmpl<WSInfoIP> localAddresses_;
  Str localHostName_;
  uint32_t breakAt_;
  ThreadRegistry threads_;
  ServerCounters counters_;
  RunRequests requests_;
  std::optional<DialUpSettings> dialUp_;
  SocksSettings socks_;
  QueueStore queues_;
  StatisticsWriter statistics_;
  MailboxTable mailboxes_;
  AddressList addresses_;
  std::array<FileReRead, 3> dataWatchers_;
  InboundQueue inbound_;
  SMTPInfoDomainList outbound_{queues_};
  UidlStore uidl_;
  // Destroyed before the table and queues they refer to (declared after them).
  std::unique_ptr<DeliveryNotifications> notifications_;
  std::unique_ptr<LogMailer> logMailer_;
  std::unique_ptr<DialUp> dialUpLine_;
  std::unique_ptr<RouterWakeUp> wakeUp_;
  std::unique_ptr<NetworkUpDown> network_;
  std::unique_ptr<POPInContext> inboundContext_;
  std::unique_ptr<SMTPOutContext> outboundContext_;
};

}  // namespace quillet
