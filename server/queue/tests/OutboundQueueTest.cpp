// The outbound queue on a real (temporary) MSG-OUT: group selection by priority, the
// retry rule and its index rewrites, removal with the files, the listing, and adds from
// other threads while a delivery copy is worked on.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "base/Clock.h"
#include "base/ErrorCodes.h"
#include "base/FileNames.h"
#include "server/queue/OutboundQueue.h"
#include "server/queue/QueueStore.h"
#include "tests/support/ClockDriver.h"
#include "tests/support/FileBytes.h"
#include "tests/support/QueuedMessages.h"
#include "tests/support/TempDir.h"

namespace quillet {
namespace {

class OutboundQueueTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(store.createQueueDirectories()); }

  // A queued entry as the decode thread writes it: message file and index on disk.
  SMTPInfo written(uint32_t priority, const std::string& to, size_t bodyBytes = 20) {
    return testing::writeQueuedMessage(store, QueueNumber::Outbound, priority, {to},
                                       "from@example.com", bodyBytes);
  }

  uint32_t groupIdOf(uint32_t priority) {
    for (const SMTPInfoDomain& group : queue.snapshot()) {
      if (group.name.equals(Str::fromUInt(priority) + "-1")) return group.id;
    }
    return 0;
  }

  SMTPInfo reloaded(const SMTPInfo& entry) {
    SMTPInfo loaded;
    loaded.indexFile = entry.indexFile;
    EXPECT_EQ(store.loadIndex(loaded, QueueNumber::Outbound), IndexStatus::Loaded);
    return loaded;
  }

  // Recipients of the group's entries in queue order, joined by blanks.
  std::string order(uint32_t groupId) {
    std::string text;
    SMTPInfo copy;
    uint32_t after = 0;
    while (queue.nextMessage(groupId, after, copy)) {
      text += copy.recipients[1].address.toStd() + " ";
      after = copy.queueId;
    }
    return text;
  }

  TestClock clock{testing::localTime(2026, 12, 8, 12, 0, 0)};
  testing::TempDir dir{"quillet-outq"};
  MessageNameCounter counter;
  QueueStore store{Str(std::string_view(dir.path())), counter};
  SMTPInfoDomainList queue{store};
};

TEST_F(OutboundQueueTest, PriorityOneGroupIsDueBeforeAnEarlierPriorityThreeGroup) {
  ASSERT_TRUE(queue.addMessage(written(3, "c@x")));
  ASSERT_TRUE(queue.addMessage(written(5, "e@x")));
  ASSERT_TRUE(queue.addMessage(written(1, "a@x")));
  const std::vector<SMTPInfoDomain> groups = queue.snapshot();
  ASSERT_EQ(groups.size(), 3u);
  EXPECT_EQ(groups[0].name.toStd(), "3-1");  // list order is creation order
  EXPECT_EQ(groups[2].name.toStd(), "1-1");
  EXPECT_EQ(queue.count(), 3u);

  const uint32_t now = currentTimestamp();
  EXPECT_EQ(queue.nextDueGroup(now), groupIdOf(1));
  ASSERT_TRUE(queue.setRunning(groupIdOf(1), true));
  EXPECT_EQ(queue.nextDueGroup(now), groupIdOf(3)) << "a running group is skipped";
  ASSERT_TRUE(queue.setRunning(groupIdOf(3), true));
  EXPECT_EQ(queue.nextDueGroup(now), groupIdOf(5));
  ASSERT_TRUE(queue.setRunning(groupIdOf(5), true));
  EXPECT_EQ(queue.nextDueGroup(now), 0u);
}

TEST_F(OutboundQueueTest, GroupKeepsArrivalOrderAndQueueIdsAreUnique) {
  for (const char* to : {"1@x", "2@x", "3@x"}) ASSERT_TRUE(queue.addMessage(written(2, to)));
  EXPECT_EQ(queue.groupCount(), 1);
  EXPECT_EQ(order(groupIdOf(2)), "1@x 2@x 3@x ");
  // A removed entry's id still finds its successor.
  SMTPInfo first;
  ASSERT_TRUE(queue.nextMessage(groupIdOf(2), 0, first));
  SMTPInfo second;
  ASSERT_TRUE(queue.nextMessage(groupIdOf(2), first.queueId, second));
  ASSERT_TRUE(queue.removeMessage(groupIdOf(2), second.queueId));
  SMTPInfo third;
  ASSERT_TRUE(queue.nextMessage(groupIdOf(2), second.queueId, third));
  EXPECT_EQ(third.recipients[1].address.toStd(), "3@x");
  EXPECT_FALSE(queue.nextMessage(groupIdOf(2), third.queueId, third));
  EXPECT_NE(first.queueId, third.queueId);
  EXPECT_NE(first.queueId, groupIdOf(2));
}

TEST_F(OutboundQueueTest, AMessageFoundTwiceIsQueuedOnce) {
  const SMTPInfo entry = written(3, "c@x");
  ASSERT_TRUE(queue.addMessage(entry));
  SMTPInfo reloaded;
  reloaded.indexFile = entry.indexFile;
  ASSERT_EQ(store.loadIndex(reloaded, QueueNumber::Outbound), IndexStatus::Loaded);
  EXPECT_FALSE(queue.addMessage(reloaded));
  EXPECT_EQ(queue.count(), 1u);
  EXPECT_EQ(order(groupIdOf(3)), "c@x ");
  // Once removed, the same name may come again (the name counter wraps).
  SMTPInfo copy;
  ASSERT_TRUE(queue.nextMessage(groupIdOf(3), 0, copy));
  ASSERT_TRUE(queue.removeMessage(groupIdOf(3), copy.queueId));
  ASSERT_TRUE(testing::writeBytes(entry.messageFile.toStd(), "again\r\n"));
  ASSERT_TRUE(queue.addMessage(entry));
  EXPECT_EQ(queue.count(), 1u);
}

TEST_F(OutboundQueueTest, NotYetDueEntriesMakeNoGroupDueUntilTheirTime) {
  ASSERT_TRUE(queue.addMessage(written(3, "c@x")));
  const uint32_t group = groupIdOf(3);
  ASSERT_TRUE(queue.rescheduleAll(group, err::kNoMailHostConnection, Str(), ArrayStr(), 900));
  EXPECT_EQ(queue.nextDueGroup(currentTimestamp()), 0u);
  EXPECT_EQ(queue.nextDueGroup(currentTimestamp() + 899), 0u);
  EXPECT_EQ(queue.nextDueGroup(currentTimestamp() + 900), group);
  queue.sendAllNow(currentTimestamp());
  EXPECT_EQ(queue.nextDueGroup(currentTimestamp()), group);
}

TEST_F(OutboundQueueTest, RescheduleCountsTheTryStoresTheFailureAndRewritesTheIndex) {
  SMTPInfo entry = written(3, "c@x");
  ASSERT_TRUE(queue.addMessage(entry));
  const uint32_t group = groupIdOf(3);
  SMTPInfo copy;
  ASSERT_TRUE(queue.nextMessage(group, 0, copy));
  ArrayStr transcript;
  for (int i = 1; i <= 12; ++i) transcript.add("line " + Str::fromInt(i));
  const uint32_t start = currentTimestamp();
  ASSERT_TRUE(queue.rescheduleMessage(group, copy.queueId, err::kTemporaryFailure,
                                      "451 4.3.0 try later", transcript, 900));
  const SMTPInfo onDisk = reloaded(entry);
  EXPECT_EQ(onDisk.tries, 1u);
  EXPECT_EQ(onDisk.nextTryAt, start + 900);
  EXPECT_EQ(onDisk.lastError, static_cast<uint32_t>(err::kTemporaryFailure));
  EXPECT_EQ(onDisk.lastReply.toStd(), "451 4.3.0 try later");
  ASSERT_EQ(onDisk.transcript.count(), 10);
  EXPECT_EQ(onDisk.transcript[10].toStd(), "line 10");
  EXPECT_EQ(queue.snapshot()[0].lastErrorNumber, static_cast<uint32_t>(err::kTemporaryFailure));

  // A stop is counted, but the failure before it stays the one shown.
  clock.advance(std::chrono::seconds(60));
  ASSERT_TRUE(queue.rescheduleAll(group, err::kTerminated, "", ArrayStr(), 900));
  const SMTPInfo stopped = reloaded(entry);
  EXPECT_EQ(stopped.tries, 2u);
  EXPECT_EQ(stopped.nextTryAt, start + 960);
  EXPECT_EQ(stopped.lastError, static_cast<uint32_t>(err::kTemporaryFailure));
  EXPECT_EQ(stopped.lastReply.toStd(), "451 4.3.0 try later");

  // Marking the group running clears its last error, not the entries'.
  ASSERT_TRUE(queue.setRunning(group, true));
  EXPECT_EQ(queue.snapshot()[0].lastErrorNumber, 0u);
  ASSERT_TRUE(queue.nextMessage(group, 0, copy));
  EXPECT_EQ(copy.running, 1u);
  EXPECT_EQ(copy.lastError, static_cast<uint32_t>(err::kTemporaryFailure));
  EXPECT_FALSE(queue.rescheduleMessage(group, copy.queueId + 100, 51, "", ArrayStr(), 900));
}

TEST_F(OutboundQueueTest, RemoveDeletesTheFilesAndTheEmptyGroupOnceItIsNotRunning) {
  SMTPInfo entry = written(4, "d@x");
  ASSERT_TRUE(queue.addMessage(entry));
  const uint32_t group = groupIdOf(4);
  ASSERT_TRUE(queue.setRunning(group, true));
  SMTPInfo copy;
  ASSERT_TRUE(queue.nextMessage(group, 0, copy));
  ASSERT_TRUE(queue.removeMessage(group, copy.queueId));
  EXPECT_FALSE(fileExists(entry.messageFile));
  EXPECT_FALSE(fileExists(entry.indexFile));
  EXPECT_EQ(queue.count(), 0u);
  EXPECT_EQ(queue.groupCount(), 1) << "kept while its delivery thread runs";
  EXPECT_FALSE(queue.removeMessage(group, copy.queueId));

  // A message arriving meanwhile joins the running group instead of a second connection.
  ASSERT_TRUE(queue.addMessage(written(4, "late@x")));
  EXPECT_EQ(queue.groupCount(), 1);
  EXPECT_EQ(queue.nextDueGroup(currentTimestamp()), 0u);
  ASSERT_TRUE(queue.nextMessage(group, copy.queueId, copy));
  EXPECT_EQ(copy.running, 1u);
  ASSERT_TRUE(queue.removeMessage(group, copy.queueId));
  ASSERT_TRUE(queue.setRunning(group, false));
  EXPECT_EQ(queue.groupCount(), 0);
  EXPECT_FALSE(queue.setRunning(group, true));
  EXPECT_EQ(dir.entries(), 2) << "MSG-IN and MSG-OUT, nothing else";
}

TEST_F(OutboundQueueTest, KeepOnlyRecipientsRewritesTheIndexWithThePendingOnes) {
  SMTPInfo entry = written(3, "a@x");
  entry.recipients.add(SMTPInfoAddress("b@x", SMTPInfoAddress::kHasOrcpt, "rfc822;b@x"));
  entry.recipients.add(SMTPInfoAddress("c@x"));
  ASSERT_TRUE(queue.addMessage(entry));
  SMTPInfo copy;
  ASSERT_TRUE(queue.nextMessage(groupIdOf(3), 0, copy));
  ArraySMTPInfoAddress pending;
  pending.add(copy.recipients[2]);
  ASSERT_TRUE(queue.keepOnlyRecipients(groupIdOf(3), copy.queueId, pending));
  const SMTPInfo onDisk = reloaded(entry);
  ASSERT_EQ(onDisk.recipients.count(), 1);
  EXPECT_EQ(onDisk.recipients[1].address.toStd(), "b@x");
  EXPECT_EQ(onDisk.recipients[1].parameter.toStd(), "rfc822;b@x");
  ASSERT_TRUE(queue.nextMessage(groupIdOf(3), 0, copy));
  EXPECT_EQ(copy.recipients.count(), 1);
}

TEST_F(OutboundQueueTest, ExpiredEntriesAreFoundInQueueOrderOnceTheirTimeIsReached) {
  SMTPInfo old = written(3, "old@x");
  old.expiresAt = currentTimestamp() - 1;
  ASSERT_TRUE(queue.addMessage(old));
  ASSERT_TRUE(queue.addMessage(written(3, "new@x")));
  SMTPInfo older = written(3, "older@x");
  older.expiresAt = currentTimestamp();
  ASSERT_TRUE(queue.addMessage(older));
  const uint32_t now = currentTimestamp();
  SMTPInfo copy;
  ASSERT_TRUE(queue.nextExpiredMessage(groupIdOf(3), 0, now, copy));
  EXPECT_EQ(copy.recipients[1].address.toStd(), "old@x");
  ASSERT_TRUE(queue.nextExpiredMessage(groupIdOf(3), copy.queueId, now, copy));
  EXPECT_EQ(copy.recipients[1].address.toStd(), "older@x");
  EXPECT_FALSE(queue.nextExpiredMessage(groupIdOf(3), copy.queueId, now, copy));
}

TEST_F(OutboundQueueTest, ListingShowsEachEntryAndAnEmptyLineAfterEachGroup) {
  SMTPInfo first = written(3, "anna@office.local", 3000);
  first.recipients.add(SMTPInfoAddress("bob@office.local"));
  ASSERT_TRUE(queue.addMessage(first));
  ASSERT_TRUE(queue.addMessage(written(1, "boss@office.local")));
  SMTPInfo copy;
  ASSERT_TRUE(queue.nextMessage(groupIdOf(3), 0, copy));
  ASSERT_TRUE(queue.rescheduleMessage(groupIdOf(3), copy.queueId, err::kNoMailHostConnection, "",
                                      ArrayStr(), 900));
  ASSERT_TRUE(queue.setRunning(groupIdOf(1), true));
  SMTPInfo urgent;
  ASSERT_TRUE(queue.nextMessage(groupIdOf(1), 0, urgent));

  const ArrayStr lines = queue.listing();
  std::vector<std::string> text;
  for (int i = 1; i <= lines.count(); ++i) text.push_back(lines[i].toStd());
  const std::vector<std::string> expected = {
      "    To: anna@office.local",
      "    To: bob@office.local",
      "  From: from@example.com",
      "  File: " + first.messageFile.toStd() + " 2K",
      " S/E/T: 26-12-08 12:00:00 26-12-11 12:00:00 1",
      "Status: " + std::string(errorMessage(err::kNoMailHostConnection)) +
          "  Next: 26-12-08 12:15:00",
      "",
      "    To: boss@office.local",
      "  From: from@example.com",
      "  File: " + urgent.messageFile.toStd() + " 1K",
      " S/E/T: 26-12-08 12:00:00 26-12-11 12:00:00 0",
      "Status: Currently running",
      "",
  };
  EXPECT_EQ(text, expected);
}

TEST_F(OutboundQueueTest, AddsFromOtherThreadsWhileADeliveryWorksOnItsCopies) {
  ASSERT_TRUE(queue.addMessage(written(3, "first@x")));
  const uint32_t group = groupIdOf(3);
  ASSERT_TRUE(queue.setRunning(group, true));
  std::vector<SMTPInfo> incoming;
  incoming.reserve(40);
  for (int i = 0; i < 40; ++i) incoming.push_back(written(i % 5 + 1, "n" + std::to_string(i)));

  std::atomic<bool> addersDone{false};
  std::vector<std::thread> adders;
  adders.reserve(2);
  for (int t = 0; t < 2; ++t) {
    adders.emplace_back([&, t] {
      for (size_t i = t; i < incoming.size(); i += 2) EXPECT_TRUE(queue.addMessage(incoming[i]));
    });
  }
  // The delivery side: walk the group, reschedule or remove what it finds.
  int delivered = 0;
  std::thread delivery([&] {
    uint32_t after = 0;
    SMTPInfo copy;
    while (!addersDone.load() || queue.nextMessage(group, after, copy)) {
      if (!queue.nextMessage(group, after, copy)) {
        std::this_thread::yield();
        continue;
      }
      after = copy.queueId;
      if (copy.recipients[1].address.toStd() == "n2") {
        EXPECT_TRUE(queue.rescheduleMessage(group, copy.queueId, 51, "451", ArrayStr(), 900));
      } else {
        EXPECT_TRUE(queue.removeMessage(group, copy.queueId));
        ++delivered;
      }
      (void)queue.listing();
    }
  });
  for (std::thread& adder : adders) adder.join();
  addersDone = true;
  delivery.join();
  ASSERT_TRUE(queue.setRunning(group, false));
  // Priority 3 got first@x and n2, n7, ... n37: every one but n2 was delivered.
  EXPECT_EQ(delivered, 8);
  EXPECT_EQ(queue.count(), 32u + 1u);
  EXPECT_EQ(queue.groupCount(), 5);
}

}  // namespace
}  // namespace quillet
