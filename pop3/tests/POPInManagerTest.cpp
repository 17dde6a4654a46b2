// The POP3 inbound manager and mailbox threads against scripted servers: schedules that
// become due as the clock moves, the connection limit, busy mailboxes, the fetch-all
// request, queueing into the inbound queue, the log lines and the event entries of a
// failed fetch.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "FakePop3Server.h"
#include "base/Clock.h"
#include "base/DateTime.h"
#include "base/ProcessContext.h"
#include "config/DataPOP.h"
#include "net/DialUp.h"
#include "net/NetworkUpDown.h"
#include "pop3/POPInConMgrThread.h"
#include "pop3/POPInThread.h"
#include "tests/support/ClockDriver.h"
#include "tests/support/DataFileRecords.h"
#include "tests/support/FileBytes.h"
#include "tests/support/TempDir.h"
#include "tests/support/ThreadRuns.h"
#include "tests/support/Waiting.h"

namespace quillet {
namespace {

using testing::FakeMailbox;
using testing::FakePop3Server;
using testing::TempDir;

const std::string kMessage = "Subject: hello\r\n\r\nHi\r\n";

// A mailbox record due all day, every pass (every 0 minutes), or never (blank weekdays).
std::string mailboxRecord(const std::string& user, int port, bool scheduled,
                          const std::string& comment = "", const std::string& routeTo = "") {
  testing::MailboxRecord mailbox;
  mailbox.user = user;
  mailbox.port = port;
  mailbox.everyMinutes = 0;
  if (!scheduled) mailbox.days.clear();
  mailbox.comment = comment;
  mailbox.routeTo = routeTo;
  return testing::dataPopRecord(mailbox);
}

// A dial-up facility that is there but whose every dial fails, half-opening nothing.
class FailingDialLink final : public DialUpLink {
 public:
  bool available() const override { return true; }
  int activeConnections(std::vector<std::string>& names) override {
    names.clear();
    return 0;
  }
  int ipv4Address(const std::string&, std::string&) override { return err::kNoIpv4Address; }
  int bringUp(const std::string&, const DialUpCredentials&) override {
    ++dials;
    return err::kPasswordFileFailed;
  }
  int bringDown(const std::string&) override { return 0; }
  std::string errorText(int code) const override {
    return code == err::kPasswordFileFailed ? "Line is busy" : "";
  }
  int dials = 0;
};

// A server whose session holds each USER for holdMs and records how many sessions were
// in that hold at once.
struct Overlap {
  std::atomic<int> active{0};
  std::atomic<int> most{0};
  FakeMailbox mailbox(const std::string& user, int holdMs) {
    FakeMailbox box;
    box.user = user;
    box.messages = {kMessage};
    box.hook = [this, holdMs](const std::string& command, int) {
      if (command.rfind("USER", 0) == 0) {
        const int now = ++active;
        int seen = most.load();
        while (now > seen && !most.compare_exchange_weak(seen, now)) {
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(holdMs));
        --active;
      }
      return false;
    };
    return box;
  }
};

class InboundManager : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(store.createQueueDirectories());
    ctx.threads = &threads;
  }

  void loadTable(const std::string& records) {
    testing::writeBytes(dir.file("DataPOP.DAT"), records);
    DataPOP file(dir.str("DataPOP.DAT"));
    ASSERT_TRUE(file.open());
    ASSERT_TRUE(mailboxes.build(file));
  }

  POPInContext& context() {
    ctx.write = [this](int32_t, const Str& text) {
      std::lock_guard<std::mutex> lock(linesMutex);
      lines.push_back(text.toStd());
    };
    ctx.event = [this](uint32_t id, const Str& text) {
      std::lock_guard<std::mutex> lock(linesMutex);
      events.emplace_back(id, text.toStd());
    };
    return ctx;
  }

  // Runs a manager until done() holds or the time is up; then stops it and waits for
  // every mailbox thread to end.
  void runManager(const std::function<bool()>& done, int maxMs = 8000) {
    POPInConMgrThread manager(context());
    ASSERT_TRUE(testing::runThreadUntil(manager, done, maxMs));
    waitForMailboxThreads();
  }

  void waitForMailboxThreads() {
    (void)testing::waitUntil([this] { return threads.count() == 0; }, 10000);
    ASSERT_EQ(threads.count(), 0);
  }

  int linesStartingWith(const std::string& prefix) {
    std::lock_guard<std::mutex> lock(linesMutex);
    int n = 0;
    for (const std::string& line : lines) n += line.rfind(prefix, 0) == 0 ? 1 : 0;
    return n;
  }

  // A Tuesday noon: the all-day windows of mailboxRecord are open.
  TestClock clock{testing::localTime(2026, 12, 8, 12, 0, 0)};
  TempDir dir;
  QueueStore store{Str(std::string_view(dir.path()))};
  MailboxTable mailboxes;
  InboundQueue inbound;
  UidlStore uidl{dir.str("datauidl.dat")};
  ServerCounters counters;
  RunRequests requests;
  ThreadRegistry threads;
  POPInContext ctx{mailboxes, inbound, store, uidl, counters, requests};
  std::mutex linesMutex;
  std::vector<std::string> lines;
  std::vector<std::pair<uint32_t, std::string>> events;
};

TEST_F(InboundManager, ScheduledMailboxIsFetchedWhenTheClockReachesItsWindowAndInterval) {
  FakeMailbox box;
  box.messages = {kMessage};
  FakePop3Server server(box, 2);
  testing::MailboxRecord mailbox;
  mailbox.user = "joe";
  mailbox.port = server.port();
  mailbox.from = "08:00";
  mailbox.until = "09:00";
  mailbox.everyMinutes = 30;
  loadTable(testing::dataPopRecord(mailbox));
  clock.setLocal(testing::localTime(2026, 12, 8, 7, 59, 50));
  auto* manager = new POPInConMgrThread(context());
  manager->setAutoDelete(false);
  ASSERT_TRUE(manager->start());
  std::this_thread::sleep_for(std::chrono::milliseconds(1600));  // two passes at least
  EXPECT_EQ(linesStartingWith("Connection opened"), 0) << "before the window opens";

  clock.advance(std::chrono::seconds(10));
  EXPECT_TRUE(testing::waitUntil([&] { return inbound.count() == 1; }, 8000));
  EXPECT_EQ(mailboxes.item(1).schedule.lastRun(), currentTimestamp());
  std::this_thread::sleep_for(std::chrono::milliseconds(1600));
  EXPECT_EQ(linesStartingWith("Connection opened"), 1) << "not again within 30 minutes";

  clock.advance(std::chrono::minutes(30));
  EXPECT_TRUE(testing::waitUntil([&] { return inbound.count() == 2; }, 8000));
  EXPECT_EQ(mailboxes.item(1).schedule.lastRun(), currentTimestamp());
  manager->requestStop();
  manager->join();
  delete manager;
  waitForMailboxThreads();
  EXPECT_EQ(linesStartingWith("Connection opened"), 2);
}

TEST_F(InboundManager, ConnectionLimitOneRunsDueMailboxesOneAtATime) {
  Overlap overlap;
  FakePop3Server first(overlap.mailbox("ann", 400));
  FakePop3Server second(overlap.mailbox("bob", 400));
  loadTable(mailboxRecord("ann", first.port(), true) + mailboxRecord("bob", second.port(), true));
  ctx.settings.maxConnections = 1;
  runManager([&] { return inbound.count() == 2; });
  EXPECT_EQ(inbound.count(), 2u);
  EXPECT_EQ(overlap.most.load(), 1);
  EXPECT_EQ(counters.received.load(), 2u);
  EXPECT_EQ(counters.connections.load(), 0u);
}

TEST_F(InboundManager, WithoutLimitDueMailboxesRunTogether) {
  Overlap overlap;
  FakePop3Server first(overlap.mailbox("ann", 600));
  FakePop3Server second(overlap.mailbox("bob", 600));
  loadTable(mailboxRecord("ann", first.port(), true) + mailboxRecord("bob", second.port(), true));
  runManager([&] { return inbound.count() == 2; });
  EXPECT_EQ(inbound.count(), 2u);
  EXPECT_EQ(overlap.most.load(), 2);
}

TEST_F(InboundManager, BusyMailboxIsNotStartedAgain) {
  FakeMailbox box;
  box.messages = {kMessage};
  FakePop3Server server(box);
  loadTable(mailboxRecord("joe", server.port(), true));
  mailboxes.item(1).busy = 1;  // a thread of an earlier pass still works on it
  auto* manager = new POPInConMgrThread(context());
  manager->setAutoDelete(false);
  ASSERT_TRUE(manager->start());
  std::this_thread::sleep_for(std::chrono::milliseconds(1800));  // two passes at least
  EXPECT_EQ(linesStartingWith("Connection opened"), 0);
  EXPECT_EQ(mailboxes.item(1).schedule.lastRun(), 0u);
  {
    BaseObj::Guard guard(mailboxes);
    mailboxes.item(1).busy = 0;
  }
  (void)testing::waitUntil([&] { return inbound.count() != 0; }, 8000);
  manager->requestStop();
  manager->join();
  delete manager;
  waitForMailboxThreads();
  EXPECT_EQ(inbound.count(), 1u);
  EXPECT_NE(mailboxes.item(1).schedule.lastRun(), 0u);
  EXPECT_EQ(mailboxes.item(1).busy, 0);
}

TEST_F(InboundManager, SignalsItsStartThenWaitsTheStartupDelayCutShortByAStop) {
  FakeMailbox box;
  box.messages = {kMessage};
  FakePop3Server server(box);
  loadTable(mailboxRecord("joe", server.port(), true));
  struct LongStartupDelay {
    LongStartupDelay() { ProcessContext::instance().setThreadStartupDelay(40); }  // 30 s
    ~LongStartupDelay() { ProcessContext::instance().setThreadStartupDelay(0); }
  };
  auto delay = std::make_unique<LongStartupDelay>();
  std::promise<bool> started;
  auto* manager = new POPInConMgrThread(context(), [&](bool ok) { started.set_value(ok); });
  manager->setAutoDelete(false);
  ASSERT_TRUE(manager->start());
  std::future<bool> reported = started.get_future();
  ASSERT_EQ(reported.wait_for(std::chrono::seconds(2)), std::future_status::ready);
  EXPECT_TRUE(reported.get());
  std::this_thread::sleep_for(std::chrono::milliseconds(1200));  // the due mailbox waits
  EXPECT_EQ(linesStartingWith("Connection opened"), 0);
  const auto stopAt = std::chrono::steady_clock::now();
  manager->requestStop();
  manager->join();
  EXPECT_LT(std::chrono::steady_clock::now() - stopAt, std::chrono::seconds(2));
  delete manager;
  EXPECT_EQ(inbound.count(), 0u);
  EXPECT_EQ(mailboxes.item(1).schedule.lastRun(), 0u);
  // Without the delay the same mailbox is fetched on the first pass.
  delay.reset();
  runManager([&] { return inbound.count() == 1; });
  EXPECT_EQ(inbound.count(), 1u);
}

TEST_F(InboundManager, FetchAllStartsMailboxesThatAreNotDue) {
  FakeMailbox ann;
  ann.user = "ann";
  ann.messages = {kMessage, kMessage};
  FakeMailbox bob;
  bob.user = "bob";
  bob.messages = {kMessage};
  FakePop3Server first(ann);
  FakePop3Server second(bob);
  loadTable(mailboxRecord("ann", first.port(), false) +
            mailboxRecord("bob", second.port(), false, "Sales"));
  requests.inboundRun.set();
  runManager([&] { return inbound.count() == 3; });
  EXPECT_FALSE(requests.inboundRun.isSet());
  ArrayTmpl<SMTPInfo> queued;
  inbound.takeAll(queued);
  ASSERT_EQ(queued.count(), 3);
  // The two mailboxes run side by side; each run's entries arrive together.
  std::string sources;
  for (int i = 1; i <= queued.count(); ++i) {
    sources += queued[i].source.toStd() + " ";
    EXPECT_NE(queued[i].flags & SMTPInfo::kFromMailboxOrPickup, 0u);
  }
  EXPECT_TRUE(sources == "ann ann bob " || sources == "bob ann ann ") << sources;
  EXPECT_EQ(inbound.count(), 0u);
  const std::string bobServer = "127.0.0.1:" + std::to_string(second.port());
  EXPECT_EQ(linesStartingWith("Connection opened with " + bobServer + " for bob (Sales)"), 1);
  EXPECT_EQ(linesStartingWith("Connection closed with " + bobServer + " for bob (Sales)"), 1);
}

TEST_F(InboundManager, RefusedLogonIsLoggedAndEventedAndQueuesNothing) {
  FakeMailbox box;
  box.password = "other";
  box.messages = {kMessage};
  FakePop3Server server(box);
  loadTable(mailboxRecord("joe", server.port(), false));
  ctx.settings.leaveOnServer = true;
  auto* mailboxThread = new POPInThread(context(), 1);
  mailboxThread->setAutoDelete(false);
  ASSERT_TRUE(mailboxThread->start(true));
  delete mailboxThread;
  EXPECT_EQ(inbound.count(), 0u);
  const std::string serverText = "127.0.0.1:" + std::to_string(server.port());
  EXPECT_EQ(lines, (std::vector<std::string>{"Connection opened with " + serverText + " for joe",
                                             "Error: No OK received [21]",
                                             "Connection closed with " + serverText + " for joe"}));
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].first, pop3event::kNegativeReply);
  EXPECT_EQ(uidl.lineCount(), 0);
  EXPECT_EQ(mailboxes.item(1).busy, 0);
  EXPECT_EQ(counters.connections.load(), 0u);
}

TEST_F(InboundManager, FailingSecondFetchStillQueuesTheFirstFetchsFilesForTheRouteToAddress) {
  // The first session may fetch one of two messages, so the run connects again; the server
  // refuses the second logon.
  std::atomic<int> logons{0};
  FakeMailbox box;
  box.messages = {kMessage, kMessage};
  box.hook = [&logons](const std::string& command, int fd) {
    if (command.rfind("USER", 0) != 0 || ++logons == 1) return false;
    testing::ScriptedPeer::send(fd, "-ERR mailbox locked\r\n");
    return true;
  };
  FakePop3Server server(box, 2);
  loadTable(mailboxRecord("joe", server.port(), false, "", "boss@office.example"));
  ctx.settings.maxMessages = 1;
  auto* mailboxThread = new POPInThread(context(), 1);
  mailboxThread->setAutoDelete(false);
  ASSERT_TRUE(mailboxThread->start(true));
  delete mailboxThread;

  ArrayTmpl<SMTPInfo> queued;
  inbound.takeAll(queued);
  ASSERT_EQ(queued.count(), 1);
  ASSERT_EQ(queued[1].recipients.count(), 1);
  EXPECT_EQ(queued[1].recipients[1].address.toStd(), "boss@office.example");
  EXPECT_EQ(queued[1].source.toStd(), "joe");
  EXPECT_TRUE(testing::readBytes(queued[1].messageFile.toStd()).find("Subject: hello") !=
              std::string::npos);
  EXPECT_EQ(linesStartingWith("Connection opened"), 2);
  EXPECT_EQ(linesStartingWith("Error: No OK received [21]"), 1);
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].first, pop3event::kNegativeReply);
  EXPECT_EQ(counters.received.load(), 1u);
}

TEST_F(InboundManager, FailedDialIsLoggedEventedAndNotifiedWithoutConnecting) {
  // Nothing listens on the discard port: a connection attempt would show as a network error.
  const int closedPort = 9;
  loadTable(mailboxRecord("joe", closedPort, false, "Sales"));
  auto link = std::make_unique<FailingDialLink>();
  FailingDialLink* linkView = link.get();
  DialUpSettings dialSettings;
  dialSettings.phoneBookEntry = "provider";
  DialUp dialUp(dialSettings, std::move(link));
  NetworkUpDown network(&dialUp, nullptr, {}, {});
  ctx.network = &network;
  ctx.dialUp = &dialUp;
  ctx.settings.statusNotification = true;
  std::vector<std::string> notified;
  ctx.statusNotifier = [&notified](int32_t, const ArrayStr& lines, const ArrayStr&) {
    for (int i = 1; i <= lines.count(); ++i) notified.push_back(lines[i].toStd());
  };
  auto* mailboxThread = new POPInThread(context(), 1);
  mailboxThread->setAutoDelete(false);
  ASSERT_TRUE(mailboxThread->start(true));
  delete mailboxThread;

  const std::string failure = "Dial-Up Error: Line is busy [703]";
  EXPECT_EQ(lines, std::vector<std::string>{failure});
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0], std::make_pair(pop3event::kDialUpError, failure));
  const std::string serverText = "127.0.0.1:" + std::to_string(closedPort);
  EXPECT_EQ(notified, (std::vector<std::string>{"POP3 MailBox: joe (Sales)",
                                                "POP3 Server: " + serverText, failure}));
  EXPECT_EQ(linkView->dials, 1);
  EXPECT_EQ(inbound.count(), 0u);
  EXPECT_EQ(mailboxes.item(1).busy, 0);
  EXPECT_EQ(counters.connections.load(), 0u);
}

TEST_F(InboundManager, TransferTraceLinesCarryTheMailboxThreadsId) {
  FakeMailbox box;
  FakePop3Server server(box);
  loadTable(mailboxRecord("joe", server.port(), false));
  ctx.settings.verboseTransfer = true;
  std::vector<std::string> trace;
  std::mutex traceMutex;
  ProcessContext::instance().setMessageSink([&](const std::string& line) {
    std::lock_guard<std::mutex> lock(traceMutex);
    trace.push_back(line);
  });
  auto* mailboxThread = new POPInThread(context(), 1);
  mailboxThread->setAutoDelete(false);
  ASSERT_TRUE(mailboxThread->start(true));
  const int32_t threadId = mailboxThread->id();
  delete mailboxThread;
  ProcessContext::instance().setMessageSink({});
  ASSERT_NE(threadId, 0);
  EXPECT_NE(std::find(trace.begin(), trace.end(), std::to_string(threadId) + ": > USER joe"),
            trace.end());
}

TEST_F(InboundManager, UnreadableIdFileStopsFetchingWhileMessagesAreLeftOnTheServer) {
  const int closedPort = 9;  // nothing must connect
  loadTable(mailboxRecord("joe", closedPort, false));
  ASSERT_EQ(::mkdir(uidl.filePath().c_str(), 0700), 0);  // exists, cannot be read
  ASSERT_FALSE(uidl.load(true));
  ctx.settings.leaveOnServer = true;
  auto* mailboxThread = new POPInThread(context(), 1);
  mailboxThread->setAutoDelete(false);
  ASSERT_TRUE(mailboxThread->start(true));
  delete mailboxThread;
  const std::string failure = "Error: Unable to read " + uidl.filePath().toStd();
  EXPECT_EQ(lines, std::vector<std::string>{failure});
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0], std::make_pair(pop3event::kOtherError, failure));
}

TEST(InboundTexts, ServerAndMailboxTextsAndEventIds) {
  EXPECT_EQ(pop3ServerText("pop.example", 110).toStd(), "pop.example");
  EXPECT_EQ(pop3ServerText("pop.example", 995).toStd(), "pop.example:995");
  EXPECT_EQ(pop3MailboxText("joe", "").toStd(), "joe");
  EXPECT_EQ(pop3MailboxText("joe", "Sales").toStd(), "joe (Sales)");
  EXPECT_EQ(pop3EventIdFor(err::kConnectFailed), pop3event::kProgramError);
  EXPECT_EQ(pop3EventIdFor(err::kNegativeReply), pop3event::kNegativeReply);
  EXPECT_EQ(pop3EventIdFor(err::kNoPop3Connection), pop3event::kNetworkError);
  EXPECT_EQ(pop3EventIdFor(err::kWsaConnectionRefused), pop3event::kNetworkError);
  EXPECT_EQ(pop3EventIdFor(err::kWriteTempFile), pop3event::kOtherError);
  // A broken TLS session is no network-class failure: it is reported as any other.
  EXPECT_EQ(pop3EventIdFor(err::kTlsConnectionFailed), pop3event::kOtherError);
}

}  // namespace
}  // namespace quillet
