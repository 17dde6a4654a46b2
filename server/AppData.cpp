// The state of one server run (see AppData.h).
#include "server/AppData.h"

#include <algorithm>

#include "base/Clock.h"
#include "base/DateTime.h"
#include "base/Sema.h"
#include "config/DataFiles.h"
#include "config/SettingsPasswords.h"
#include "net/LocalHost.h"
#include "platform/EventLog.h"
#include "platform/NetworkManager.h"
#include "server/Banner.h"
#include "server/display/BreakTime.h"
#include "smtp/outbound/SmtpClientSession.h"

namespace quillet {

namespace {

StatisticsOptions statisticsOptions(const Kernel& kernel) {
  const ServerSettings& settings = kernel.settings();
  StatisticsOptions options;
  options.writeStatisticFile = settings.boolean(ServerKey::WriteStatisticFile);
  options.statisticPath = settings.string(ServerKey::StatisticPath);
  options.useAnsi = settings.boolean(ServerKey::StatisticFileUseANSI);
  options.writeHeader = settings.boolean(ServerKey::StatisticFileWriteHeader);
  options.programDirectory = kernel.programDirectory();
  return options;
}

ArrayTmpl<WSInfoIP> discoverAddresses() {
  ArrayTmpl<WSInfoIP> local;
  discoverLocalAddresses(local);
  return local;
}

// A count or length setting; a negative value counts as 0.
uint32_t nonNegative(const ServerSettings& settings, ServerKey key) {
  return static_cast<uint32_t>(std::max(0, settings.integer(key)));
}

}  // namespace

AppData::AppData(Kernel& kernel)
    : kernel_(kernel),
      verbose_(kernel.settings().boolean(ServerKey::Verbose)),
      programTitle_(kProgramTitle),
      localAddresses_(discoverAddresses()),
      localHostName_(localAddresses_.count() > 0 ? localAddresses_[1].name : Str("localhost")),
      breakAt_(computeBreakTime(kernel.settings().string(ServerKey::BreakTime),
                                kernel.settings().string(ServerKey::BreakRelative),
                                currentTimestamp())),
      dialUp_(prepareDialUpSettings(kernel.settings())),
      socks_(prepareSocksSettings(kernel.settings())),
      queues_(kernel.programDirectory()),
      statistics_(statisticsOptions(kernel)),
      uidl_(kernel.programDirectory() + UidlStore::kFileName) {
  makeNotifications();
  makeInboundContext();
  makeOutboundContext();
}

AppData::LoadResult AppData::loadDataFiles() {
  Sema dataLock(kDataLockName);
  if (!dataLock.acquire(1)) return LoadResult::LockBusy;
  DataFiles files(kernel_.programDirectory());
  if (!files.loadForServer(mailboxes_, addresses_)) return LoadResult::LoadFailed;
  // Closing writes DATACONF.DAT's first record when it was just made, so the times are
  // recorded afterwards, still under the lock.
  if (!files.close()) return LoadResult::LoadFailed;
  const Str& directory = kernel_.programDirectory();
  dataWatchers_[0].record(directory + DataPOP::kFileName);
  dataWatchers_[1].record(directory + DataUser::kFileName);
  dataWatchers_[2].record(directory + DataConf::kFileName);
  prepareInbound();
  return LoadResult::Loaded;
}

void AppData::makeNotifications() {
  const ServerSettings& config = settings();
  Str postmaster = config.string(ServerKey::Postmaster);
  postmaster.trimWhite();
  NotificationSettings values;
  values.programDirectory = kernel_.programDirectory();
  values.localHostName = localHostName_;
  values.postmaster = postmaster;
  values.postmasterAsCc = config.boolean(ServerKey::PostmasterAsCCInNDR);
  values.lifetimeSeconds = nonNegative(config, ServerKey::SMTPOutboundNormalExpire);
  values.programText = programTitle_;
  values.mailer = programTitle_;
  MessageOutput& out = output();
  // What the run composes itself is delivered like every other outbound message.
  SMTPInfoDomainList& outbound = outbound_;
  const OutboundHandOver handOver = [&outbound](const SMTPInfo& entry) {
    static_cast<void>(outbound.addMessage(entry));
  };
  notifications_ = std::make_unique<DeliveryNotifications>(
      values, queues_,
      [&out](int32_t threadId, const Str& text) { out.threadWrite(threadId, text); }, handOver);

  LogMailSettings mail;
  mail.sendTo = config.list(ServerKey::SendLogFileTo);
  mail.postmaster = postmaster;
  mail.lifetimeSeconds = values.lifetimeSeconds;
  mail.programDirectory = kernel_.programDirectory();
  mail.localHostName = localHostName_;
  mail.mailer = programTitle_;
  logMailer_ = std::make_unique<LogMailer>(
      mail, queues_, [&out](const Str& text) { out.threadWrite(0, text); }, handOver);
}

void AppData::makeInboundContext() {
  const ServerSettings& config = settings();
  MessageOutput& out = output();
  inboundContext_ =
      std::make_unique<POPInContext>(mailboxes_, inbound_, queues_, uidl_, counters_, requests_);
  POPInContext& context = *inboundContext_;
  context.threads = &threads_;
  POPInSettings& values = context.settings;
  values.verbose = verbose_;
  values.verboseTransfer = config.boolean(ServerKey::VerboseTransfer);
  values.keepFilesOnError = config.boolean(ServerKey::InboundPOP3DontDeleteOnError);
  values.leaveOnServer = config.boolean(ServerKey::LeaveMessagesOnServer);
  values.apop = config.boolean(ServerKey::InboundAPOP);
  values.capa = config.boolean(ServerKey::InboundCAPA);
  values.hidePassword = config.boolean(ServerKey::InboundPOP3HidePassword);
  values.statusNotification = config.boolean(ServerKey::InboundPOP3StatusDSN);
  values.defaultPort = config.integer(ServerKey::POPInboundPort);
  values.maxConnections = config.integer(ServerKey::InboundPOP3MaxConnections);
  values.maxMessages = nonNegative(config, ServerKey::InboundPOP3MaxMessages);
  values.maxMessageSize = nonNegative(config, ServerKey::InboundPOP3MaxMessageSize);
  values.trustFile = config.string(ServerKey::TLSTrustFile);
  values.socks = socks_;
  context.write = [&out](int32_t threadId, const Str& text) { out.threadWrite(threadId, text); };
  context.event = [](uint32_t eventId, const Str& text) {
    EventLog::errorEntry(eventId, {"Quillet", text.toStd()});
  };
  DeliveryNotifications& notifications = *notifications_;
  context.statusNotifier = [&notifications](int32_t threadId, const ArrayStr& lines,
                                            const ArrayStr& transcript) {
    static_cast<void>(notifications.sendStatus(threadId, lines, transcript));
  };
}

void AppData::makeOutboundContext() {
  const ServerSettings& config = settings();
  outboundContext_ = std::make_unique<SMTPOutContext>(outbound_, queues_, counters_, requests_);
  SMTPOutContext& context = *outboundContext_;
  context.threads = &threads_;
  SMTPOutSettings& values = context.settings;
  values.smartHost = config.string(ServerKey::SmartHost);
  values.port = config.integer(ServerKey::SMTPOutboundPort);
  values.lifetimeSeconds = nonNegative(config, ServerKey::SMTPOutboundNormalExpire);
  values.retrySeconds = nonNegative(config, ServerKey::SMTPOutboundNormalNextTry);
  values.esmtp = config.boolean(ServerKey::OutboundESMTP);
  values.checkExchange = config.boolean(ServerKey::CheckExchange);
  values.authenticate = config.boolean(ServerKey::OutboundExchAuth);
  values.user = config.string(ServerKey::OutboundExchAuthUser);
  values.user.oemToAnsi();
  values.password = prepareOutboundAuthPassword(config);
  values.verbose = verbose_;
  values.verboseTransfer = config.boolean(ServerKey::VerboseTransfer);
  values.startTls = startTlsModeOf(config.integer(ServerKey::OutboundSTARTTLS));
  values.trustFile = config.string(ServerKey::TLSTrustFile);
  values.localHostName = localHostName_;
  context.sessions = smtpClientSessions(values);
  MessageOutput& out = output();
  context.write = [&out](int32_t threadId, const Str& text) { out.threadWrite(threadId, text); };
  DeliveryNotifications& notifications = *notifications_;
  context.notifyFailure = [&notifications](int32_t threadId, const SMTPInfo& failed,
                                           const DeliveryFailure& failure) {
    static_cast<void>(notifications.sendFailure(threadId, failed, failure));
  };
}

void AppData::prepareInbound() {
  const ServerSettings& config = settings();
  const bool leaveOnServer = config.boolean(ServerKey::LeaveMessagesOnServer);
  if (!uidl_.load(leaveOnServer)) {
    output().write("Error: Unable to read or delete " + uidl_.filePath(), true);
  }
  if (dialUp_ && !dialUpLine_) {
    dialUpLine_ = std::make_unique<DialUp>(*dialUp_, std::make_unique<NetworkManager>());
  }
  WakeUpSettings wake;
  wake.seconds = config.integer(ServerKey::WakeUpRouter);
  wake.address = config.string(ServerKey::WakeUpRouterIPAddress);
  wake.firstMailboxHost = mailboxes_.firstServer();
  wakeUp_ = std::make_unique<RouterWakeUp>(wake);
  NetworkUpDown::Options networkOptions;
  networkOptions.verbose = verbose_;
  MessageOutput& out = output();
  network_ = std::make_unique<NetworkUpDown>(
      dialUpLine_.get(), wakeUp_.get(),
      [&out](int32_t threadId, const Str& text) { out.threadWrite(threadId, text); },
      networkOptions);

  inboundContext_->network = network_.get();
  inboundContext_->dialUp = dialUpLine_.get();
}

bool AppData::dataFilesChanged() const {
  for (const FileReRead& watcher : dataWatchers_) {
    if (watcher.changed()) return true;
  }
  return false;
}

}  // namespace quillet
