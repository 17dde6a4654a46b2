// The outbound manager and delivery threads against a scripted SMTP session: reload of
// MSG-OUT with the current lifetime, priority order, busy groups, send-now, the retry
// rule, per-recipient outcomes, the postmaster sender, the Exchange check, connection
// loss, expiry after a run, and the log lines.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "ScriptedSession.h"
#include "base/Clock.h"
#include "base/ErrorCodes.h"
#include "base/FileNames.h"
#include "smtp/outbound/SMTPOutConMgrThread.h"
#include "smtp/outbound/SMTPOutThread.h"
#include "tests/support/ClockDriver.h"
#include "tests/support/FileBytes.h"
#include "tests/support/QueuedMessages.h"
#include "tests/support/TempDir.h"
#include "tests/support/ThreadRuns.h"
#include "tests/support/Waiting.h"

namespace quillet {
namespace {

struct Notice {
  std::vector<std::string> recipients;
  DeliveryFailure failure;
  bool filesPresent = false;
};

class OutboundDelivery : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(store.createQueueDirectories());
    ctx.threads = &threads;
    ctx.sessions = script.factory();
    SMTPOutSettings& values = ctx.settings;
    values.smartHost = "mail.office.local";
    values.port = 2525;
    values.localHostName = "collector.office.local";
    values.verbose = true;
    ctx.write = [this](int32_t, const Str& text) {
      std::lock_guard<std::mutex> lock(mutex);
      lines.push_back(text.toStd());
    };
    ctx.notifyFailure = [this](int32_t, const SMTPInfo& failed, const DeliveryFailure& failure) {
      Notice notice;
      for (int i = 1; i <= failed.recipients.count(); ++i) {
        notice.recipients.push_back(failed.recipients[i].address.toStd());
      }
      notice.failure = failure;
      notice.filesPresent = fileExists(failed.messageFile) && fileExists(failed.indexFile);
      std::lock_guard<std::mutex> lock(mutex);
      notices.push_back(notice);
    };
  }

  // A message file and its index in MSG-OUT, as the decode thread leaves them.
  SMTPInfo written(uint32_t priority, const std::vector<std::string>& to,
                   const std::string& sender = "anna@office.local") {
    return testing::writeQueuedMessage(store, QueueNumber::Outbound, priority, to, sender, 3000);
  }

  SMTPInfo queued(uint32_t priority, const std::vector<std::string>& to,
                  const std::string& sender = "anna@office.local") {
    SMTPInfo entry = written(priority, to, sender);
    EXPECT_TRUE(queue.addMessage(entry));
    return entry;
  }

  SMTPInfo onDisk(const SMTPInfo& entry) {
    SMTPInfo loaded;
    loaded.indexFile = entry.indexFile;
    EXPECT_EQ(store.loadIndex(loaded, QueueNumber::Outbound), IndexStatus::Loaded);
    return loaded;
  }

  uint32_t groupOf(uint32_t priority) {
    for (const SMTPInfoDomain& group : queue.snapshot()) {
      if (group.name.equals(Str::fromUInt(priority) + "-1")) return group.id;
    }
    return 0;
  }

  // One delivery run of the group, waited for.
  void deliverGroup(uint32_t priority) {
    const uint32_t group = groupOf(priority);
    ASSERT_NE(group, 0u);
    auto* thread = new SMTPOutThread(ctx, group);
    thread->setAutoDelete(false);
    ASSERT_TRUE(thread->start(true));
    delete thread;
  }

  // Runs a manager until done() holds or the time is up; then stops it and waits for its
  // delivery threads.
  void runManager(const std::function<bool()>& done, int maxMs = 8000) {
    SMTPOutConMgrThread manager(ctx);
    ASSERT_TRUE(testing::runThreadUntil(manager, done, maxMs));
    ASSERT_TRUE(testing::waitUntil([this] { return threads.count() == 0; }, 10000));
  }

  std::vector<std::string> log() {
    std::lock_guard<std::mutex> lock(mutex);
    return lines;
  }
  int logged(const std::string& line) {
    const std::vector<std::string> all = log();
    return static_cast<int>(std::count(all.begin(), all.end(), line));
  }
  std::vector<std::string> mailSteps() {
    std::vector<std::string> mails;
    for (const std::string& step : script.steps()) {
      if (step.rfind("MAIL", 0) == 0) mails.push_back(step);
    }
    return mails;
  }

  TestClock clock{testing::localTime(2026, 12, 8, 12, 0, 0)};
  testing::TempDir dir{"quillet-outbound"};
  MessageNameCounter counter;
  QueueStore store{Str(std::string_view(dir.path())), counter};
  SMTPInfoDomainList queue{store};
  ServerCounters counters;
  RunRequests requests;
  ThreadRegistry threads;
  testing::SmtpScript script;
  SMTPOutContext ctx{queue, store, counters, requests};
  std::mutex mutex;
  std::vector<std::string> lines;  // guarded by mutex
  std::vector<Notice> notices;     // guarded by mutex
};

SMTPRecipientOutcome refusal(int result, const char* status, const char* reply) {
  SMTPRecipientOutcome outcome;
  outcome.result = result;
  outcome.statusCode = status;
  outcome.reply = reply;
  return outcome;
}

TEST_F(OutboundDelivery, ManagerReloadsMsgOutAndDeliversPriorityOneFirstLeavingItEmpty) {
  written(3, {"c@office.local"});
  written(5, {"e@office.local"});
  written(1, {"a@office.local"});
  ctx.settings.verbose = true;
  runManager([&] { return counters.sent.load() == 3; });
  EXPECT_EQ(counters.sent.load(), 3u);
  EXPECT_EQ(queue.count(), 0u);
  EXPECT_EQ(queue.groupCount(), 0);
  EXPECT_EQ(mailSteps(), (std::vector<std::string>{"MAIL <anna@office.local> TO a@office.local",
                                                   "MAIL <anna@office.local> TO c@office.local",
                                                   "MAIL <anna@office.local> TO e@office.local"}));
  EXPECT_TRUE(std::filesystem::is_empty(dir.file("MSG-OUT")));
  EXPECT_EQ(logged("SMTP outbound connection manager started"), 1);
  EXPECT_EQ(logged("Reading queued messages from disk: 3 / 3"), 1);
  EXPECT_EQ(logged("Connecting with mail.office.local"), 3);
  EXPECT_EQ(logged("2 K sent (4096 cps)"), 3);
  EXPECT_EQ(logged("Connection closed with mail.office.local"), 3);
  EXPECT_EQ(logged("SMTP outbound connection manager stopped"), 1);
  EXPECT_EQ(counters.connections.load(), 0u);
}

TEST_F(OutboundDelivery, ReloadAppliesTheCurrentLifetimeAndSkipsBrokenIndexFiles) {
  SMTPInfo good = written(3, {"c@office.local"});
  SMTPInfo orphan = written(3, {"d@office.local"});
  ASSERT_TRUE(removeFile(orphan.messageFile));
  testing::writeBytes(dir.file("MSG-OUT/MSG00bad.ONX"), "short\r\nfile\r\n");
  ctx.settings.lifetimeSeconds = 3600;
  // The mail host answers 4xx to the greeting: nothing is removed.
  script.connectCode = err::kTemporaryFailure;
  const uint32_t start = currentTimestamp();
  runManager([&] { return script.sessions() == 1 && !queue.isRunning(groupOf(3)); });
  EXPECT_EQ(queue.count(), 1u);
  const SMTPInfo after = onDisk(good);
  EXPECT_EQ(after.expiresAt, good.queuedAt + 3600);
  EXPECT_EQ(after.tries, 1u);
  EXPECT_EQ(after.nextTryAt, start + 900);
  EXPECT_EQ(after.lastError, static_cast<uint32_t>(err::kTemporaryFailure));
  EXPECT_TRUE(fileExists(good.messageFile));
  EXPECT_TRUE(fileExists(orphan.indexFile)) << "skipped, left in place";
  EXPECT_TRUE(fileExists(dir.str("MSG-OUT/MSG00bad.ONX")));
  EXPECT_EQ(logged(errorText(err::kTemporaryFailure).toStd()), 1);
  int skipped = 0;
  for (const std::string& line : log()) {
    skipped += line.rfind("Error: Queued message skipped: ", 0) == 0 ? 1 : 0;
  }
  EXPECT_EQ(skipped, 2);
  EXPECT_TRUE(mailSteps().empty());
}

TEST_F(OutboundDelivery, BusyGroupIsNotStartedTwiceAndSendNowMakesEverythingDue) {
  queued(2, {"b@office.local"});
  script.holdConnect = true;
  auto* manager = new SMTPOutConMgrThread(ctx);
  manager->setAutoDelete(false);
  ASSERT_TRUE(manager->start());
  ASSERT_TRUE(testing::waitUntil([&] { return script.sessions() == 1; }, 5000));
  requests.outboundRun.set();
  std::this_thread::sleep_for(std::chrono::milliseconds(2500));  // two rounds at least
  EXPECT_EQ(script.sessions(), 1) << "the running group is not started again";
  EXPECT_FALSE(requests.outboundRun.isSet());

  // Refused for now: due again only in 900 s, or at once on request.
  script.connectCode = err::kNoMailHostConnection;
  script.holdConnect = false;
  ASSERT_TRUE(testing::waitUntil(
      [&] { return queue.nextDueGroup(currentTimestamp()) == 0 && !queue.isRunning(groupOf(2)); },
      5000));
  std::this_thread::sleep_for(std::chrono::milliseconds(1500));
  EXPECT_EQ(script.sessions(), 1);
  script.connectCode = 0;
  requests.outboundRun.set();
  EXPECT_TRUE(testing::waitUntil([&] { return counters.sent.load() == 1; }, 5000));
  manager->requestStop();
  manager->join();
  delete manager;
  ASSERT_TRUE(testing::waitUntil([this] { return threads.count() == 0; }, 10000));
  EXPECT_EQ(script.sessions(), 2);
  EXPECT_EQ(script.busyAtOnce(), 1);
}

TEST_F(OutboundDelivery, QueueListingIsWrittenOnRequest) {
  queued(4, {"d@office.local"});
  script.connectCode = err::kNoMailHostConnection;
  deliverGroup(4);
  requests.queueListing.set();
  runManager([&] { return logged("    To: d@office.local") == 1; }, 4000);
  EXPECT_EQ(logged("    To: d@office.local"), 1);
  EXPECT_EQ(logged("  From: anna@office.local"), 1);
  EXPECT_FALSE(requests.queueListing.isSet());
}

TEST_F(OutboundDelivery, RefusedRecipientsDoNotStopTheOthersOrTheNextMessage) {
  SMTPInfo mixed = queued(3, {"a@office.local", "gone@office.local", "full@office.local"});
  SMTPInfo next = queued(3, {"b@office.local"});
  script.refusals["gone@office.local"] =
      refusal(err::kPermanentFailure, "5.1.1", "550 5.1.1 no such user");
  script.refusals["full@office.local"] =
      refusal(err::kTemporaryFailure, "4.2.2", "452 4.2.2 mailbox full");
  const uint32_t start = currentTimestamp();
  deliverGroup(3);

  EXPECT_EQ(script.steps(),
            (std::vector<std::string>{
                "CONNECT mail.office.local:2525 as collector.office.local",
                "MAIL <anna@office.local> TO a@office.local,gone@office.local,full@office.local",
                "RSET", "MAIL <anna@office.local> TO b@office.local", "QUIT", "CLOSE"}));
  EXPECT_EQ(counters.sent.load(), 2u);
  ASSERT_EQ(notices.size(), 1u);
  EXPECT_EQ(notices[0].recipients, std::vector<std::string>{"gone@office.local"});
  EXPECT_EQ(notices[0].failure.error, err::kPermanentFailure);
  EXPECT_EQ(notices[0].failure.statusCode.toStd(), "5.1.1");
  EXPECT_EQ(notices[0].failure.reply.toStd(), "550 5.1.1 no such user");
  EXPECT_FALSE(notices[0].failure.expired);
  EXPECT_TRUE(notices[0].filesPresent);

  // The temporarily refused recipient stays queued alone, by the retry rule.
  EXPECT_EQ(queue.count(), 1u);
  EXPECT_TRUE(fileExists(mixed.messageFile));
  const SMTPInfo pending = onDisk(mixed);
  ASSERT_EQ(pending.recipients.count(), 1);
  EXPECT_EQ(pending.recipients[1].address.toStd(), "full@office.local");
  EXPECT_EQ(pending.tries, 1u);
  EXPECT_EQ(pending.nextTryAt, start + 900);
  EXPECT_EQ(pending.lastError, static_cast<uint32_t>(err::kTemporaryFailure));
  EXPECT_EQ(pending.lastReply.toStd(), "452 4.2.2 mailbox full");
  EXPECT_FALSE(fileExists(next.messageFile));
  EXPECT_FALSE(fileExists(next.indexFile));
}

TEST_F(OutboundDelivery, MessageRefusedForGoodIsNotifiedAndRemovedAndTheSessionGoesOn) {
  SMTPInfo big = queued(3, {"a@office.local", "b@office.local"});
  queued(3, {"c@office.local"});
  script.messageCodes[1] = err::kPermanentFailure;
  script.messageStatus = "5.3.4";
  deliverGroup(3);
  ASSERT_EQ(notices.size(), 1u);
  EXPECT_EQ(notices[0].recipients, (std::vector<std::string>{"a@office.local", "b@office.local"}));
  EXPECT_EQ(notices[0].failure.statusCode.toStd(), "5.3.4");
  EXPECT_EQ(notices[0].failure.recipientStatus.count(), 2);
  EXPECT_FALSE(fileExists(big.messageFile));
  EXPECT_EQ(counters.sent.load(), 1u);
  EXPECT_EQ(queue.count(), 0u);
  EXPECT_EQ(logged(errorText(err::kPermanentFailure).toStd()), 0);
}

TEST_F(OutboundDelivery, PostmasterSenderGoesWithTheNullReversePath) {
  queued(5, {"a@office.local"}, "PostMaster@office.local");
  queued(5, {"b@office.local"}, "postmasters@office.local");
  deliverGroup(5);
  EXPECT_EQ(mailSteps(),
            (std::vector<std::string>{"MAIL <> TO a@office.local",
                                      "MAIL <postmasters@office.local> TO b@office.local"}));
  EXPECT_TRUE(isPostmasterSender("postmaster@x"));
  EXPECT_FALSE(isPostmasterSender("postmaster"));
}

TEST_F(OutboundDelivery, HostThatIsNoExchangeServerGetsNothingAndTheFourLines) {
  SMTPInfo entry = queued(3, {"a@office.local"});
  script.extensions = {"PIPELINING", "SIZE 10240000"};
  deliverGroup(3);
  const std::string proxyLine =
      "Either you have a proxy server with a virtual port mapping or the name or IP address is "
      "wrong";
  const std::string disableLine =
      "You can disable the checking in Helmcrest if your host is not an Exchange server";
  EXPECT_EQ(log(), (std::vector<std::string>{
                       "Connecting with mail.office.local",
                       "Error: No Exchange server found at mail.office.local!",
                       "No message will be sent to this host to prevent infinite loops", proxyLine,
                       disableLine, "Connection closed with mail.office.local"}));
  EXPECT_TRUE(mailSteps().empty());
  EXPECT_EQ(onDisk(entry).tries, 1u);
  EXPECT_EQ(onDisk(entry).lastError, 0u);

  // XXWALL30 passes the check, and without it the check can be switched off.
  script.extensions = {"XXWALL30"};
  deliverGroup(3);
  EXPECT_EQ(counters.sent.load(), 1u);
  queued(3, {"b@office.local"});
  script.extensions.clear();
  ctx.settings.checkExchange = false;
  deliverGroup(3);
  EXPECT_EQ(counters.sent.load(), 2u);
}

TEST_F(OutboundDelivery, AuthenticationUsesTheSettingsAndItsFailureReschedulesTheGroup) {
  SMTPInfo entry = queued(3, {"a@office.local"});
  ctx.settings.authenticate = true;
  ctx.settings.user = "collector";
  ctx.settings.password = "s3cret";
  script.authCode = err::kNoAuthLogin;
  deliverGroup(3);
  EXPECT_EQ(script.steps(),
            (std::vector<std::string>{"CONNECT mail.office.local:2525 as collector.office.local",
                                      "AUTH collector s3cret", "CLOSE"}));
  EXPECT_EQ(onDisk(entry).lastError, static_cast<uint32_t>(err::kNoAuthLogin));
  EXPECT_EQ(logged(errorText(err::kNoAuthLogin).toStd()), 1);
  script.authCode = 0;
  deliverGroup(3);
  EXPECT_EQ(counters.sent.load(), 1u);
}

TEST_F(OutboundDelivery, ConnectionLostDuringDataReschedulesTheGroupWithoutQuit) {
  SMTPInfo first = queued(3, {"a@office.local", "gone@office.local"});
  SMTPInfo second = queued(3, {"b@office.local"});
  script.refusals["gone@office.local"] = refusal(err::kPermanentFailure, "5.1.1", "550 unknown");
  script.messageCodes[1] = err::kStorageExceeded;
  deliverGroup(3);
  const std::vector<std::string> steps = script.steps();
  EXPECT_EQ(steps.back(), "CLOSE");
  EXPECT_EQ(std::count(steps.begin(), steps.end(), "QUIT"), 0);
  EXPECT_EQ(mailSteps().size(), 1u) << "the second message waits for the next session";
  // The refused recipient is notified at once; the other stays for the retry.
  ASSERT_EQ(notices.size(), 1u);
  EXPECT_EQ(notices[0].recipients, std::vector<std::string>{"gone@office.local"});
  const SMTPInfo kept = onDisk(first);
  ASSERT_EQ(kept.recipients.count(), 1);
  EXPECT_EQ(kept.recipients[1].address.toStd(), "a@office.local");
  EXPECT_EQ(kept.tries, 1u);
  EXPECT_EQ(kept.lastError, static_cast<uint32_t>(err::kStorageExceeded));
  EXPECT_EQ(onDisk(second).tries, 1u);
  EXPECT_EQ(onDisk(second).lastError, static_cast<uint32_t>(err::kStorageExceeded));
  EXPECT_EQ(counters.sent.load(), 0u);
  EXPECT_EQ(queue.count(), 2u);
}

TEST_F(OutboundDelivery, FailedResetAfterADeliveryEndsTheSessionAndLeavesTheRestDue) {
  queued(3, {"a@office.local"});
  SMTPInfo second = queued(3, {"b@office.local"});
  script.resetCode = err::kTemporaryFailure;
  deliverGroup(3);
  EXPECT_EQ(counters.sent.load(), 1u);
  EXPECT_EQ(onDisk(second).tries, 0u);
  EXPECT_EQ(script.steps(),
            (std::vector<std::string>{"CONNECT mail.office.local:2525 as collector.office.local",
                                      "MAIL <anna@office.local> TO a@office.local", "RSET", "QUIT",
                                      "CLOSE"}));
  EXPECT_EQ(queue.nextDueGroup(currentTimestamp()), groupOf(3));
}

TEST_F(OutboundDelivery, ExpiredMessageIsGivenUpAfterARunThatDeliveredOthers) {
  SMTPInfo old = written(3, {"full@office.local"});
  old.expiresAt = currentTimestamp() - 1;
  old.lastError = err::kTemporaryFailure;
  old.lastReply = "452 mailbox full";
  ASSERT_TRUE(queue.addMessage(old));
  queued(3, {"a@office.local"});
  script.refusals["full@office.local"] =
      refusal(err::kTemporaryFailure, "4.2.2", "452 4.2.2 mailbox full");
  deliverGroup(3);
  EXPECT_EQ(counters.sent.load(), 1u);
  ASSERT_EQ(notices.size(), 1u);
  EXPECT_TRUE(notices[0].failure.expired);
  EXPECT_EQ(notices[0].recipients, std::vector<std::string>{"full@office.local"});
  EXPECT_EQ(notices[0].failure.error, err::kTemporaryFailure);
  EXPECT_EQ(notices[0].failure.reply.toStd(), "452 4.2.2 mailbox full");
  EXPECT_TRUE(notices[0].filesPresent);
  EXPECT_FALSE(fileExists(old.messageFile));
  EXPECT_FALSE(fileExists(old.indexFile));
  EXPECT_EQ(queue.count(), 0u);
}

TEST_F(OutboundDelivery, VanishedMessageFileIsRescheduledNotLost) {
  SMTPInfo entry = queued(3, {"a@office.local"});
  script.messageCodes[1] = err::kOpenSmtpFile;
  deliverGroup(3);
  EXPECT_EQ(logged(errorText(err::kOpenSmtpFile).toStd()), 1);
  EXPECT_EQ(onDisk(entry).lastError, static_cast<uint32_t>(err::kOpenSmtpFile));
  EXPECT_EQ(queue.count(), 1u);
  EXPECT_EQ(script.steps()[2], "QUIT") << "a file problem does not end the session early";
}

}  // namespace
}  // namespace quillet
