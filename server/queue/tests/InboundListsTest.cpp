// The in-memory lists of inbound messages: the duplicate Message-ID list with its holding
// time, and the inbound queue handing whole runs to its reader in order.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "base/Clock.h"
#include "server/queue/DuplicateMessageIds.h"
#include "server/queue/InboundQueue.h"
#include "server/queue/SMTPInfo.h"
#include "tests/support/ClockDriver.h"

namespace quillet {
namespace {

TEST(DuplicateMessageIds, HeldForTwoHoursThenForgotten) {
  TestClock clock(testing::localTime(2026, 12, 7, 23, 0, 0));
  DuplicateMessageIds list;
  const uint32_t inbound = SMTPInfo::kFromMailboxOrPickup;
  EXPECT_FALSE(list.isDuplicate(inbound, "<a@x>"));
  clock.advance(std::chrono::seconds(7199));
  EXPECT_TRUE(list.isDuplicate(inbound, "<a@x>"));
  EXPECT_FALSE(list.isDuplicate(inbound, "<A@x>"));  // case-sensitive: a new id
  clock.advance(std::chrono::seconds(2));            // past midnight: held across the day change
  EXPECT_TRUE(list.isDuplicate(inbound, "<a@x>"));   // found, then removed as expired
  EXPECT_FALSE(list.isDuplicate(inbound, "<a@x>"));
  EXPECT_TRUE(list.isDuplicate(inbound, "<a@x>"));
}

TEST(DuplicateMessageIds, OnlyInboundEntriesWithAnIdAreTested) {
  DuplicateMessageIds list;
  EXPECT_FALSE(list.isDuplicate(0, "<a@x>"));
  EXPECT_FALSE(list.isDuplicate(0, "<a@x>"));
  EXPECT_FALSE(list.isDuplicate(SMTPInfo::kFromMailboxOrPickup, ""));
  EXPECT_FALSE(list.isDuplicate(SMTPInfo::kFromMailboxOrPickup, ""));
  EXPECT_EQ(list.size(), 0u);
}

ArrayTmpl<SMTPInfo> runOf(std::initializer_list<const char*> paths) {
  ArrayTmpl<SMTPInfo> run;
  for (const char* path : paths) {
    SMTPInfo entry;
    entry.messageFile = path;
    run.add(entry);
  }
  return run;
}

TEST(InboundQueue, TakeAllHandsOverEveryRunInOrderAndEmptiesTheQueue) {
  InboundQueue queue;
  queue.appendRun(runOf({"MSG00001.TXT", "MSG00002.TXT"}));
  queue.appendRun(runOf({"MSG00003.TXT"}));
  EXPECT_EQ(queue.count(), 3u);
  ArrayTmpl<SMTPInfo> taken = runOf({"kept.TXT"});  // taken entries are appended
  queue.takeAll(taken);
  ASSERT_EQ(taken.count(), 4);
  EXPECT_EQ(taken[1].messageFile, "kept.TXT");
  EXPECT_EQ(taken[2].messageFile, "MSG00001.TXT");
  EXPECT_EQ(taken[4].messageFile, "MSG00003.TXT");
  EXPECT_EQ(queue.count(), 0u);
  ArrayTmpl<SMTPInfo> again;
  queue.takeAll(again);
  EXPECT_EQ(again.count(), 0);
}

TEST(InboundQueue, AReaderNeverSeesPartOfARun) {
  InboundQueue queue;
  constexpr int kRuns = 200;
  constexpr int kRunLength = 5;
  std::thread writer([&queue] {
    for (int run = 0; run < kRuns; ++run) {
      queue.appendRun(runOf({"a", "b", "c", "d", "e"}));
    }
  });
  int seen = 0;
  while (seen < kRuns * kRunLength) {
    ArrayTmpl<SMTPInfo> taken;
    queue.takeAll(taken);
    EXPECT_EQ(taken.count() % kRunLength, 0) << "a run was split";
    seen += taken.count();
  }
  writer.join();
  EXPECT_EQ(seen, kRuns * kRunLength);
  EXPECT_EQ(queue.count(), 0u);
}

}  // namespace
}  // namespace quillet
