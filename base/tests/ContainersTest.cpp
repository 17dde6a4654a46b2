// ArrayTmpl growth and indexing, Vector clamping, Buff growth, BaseObj locking, pointer
// holders, and the out-of-memory exit.
#include <gtest/gtest.h>

#include <cstring>
#include <thread>
#include <vector>

#include "base/ArrayTmpl.h"
#include "base/Buff.h"
#include "base/Memory.h"
#include "base/SmartPtr.h"
#include "base/Vector.h"

using namespace quillet;

TEST(ArrayTmpl, GrowsToEightThenDoubles) {
  ArrayStr array;
  std::vector<int> capacities{array.capacity()};
  for (int i = 1; i <= 20; ++i) {
    array.add(Str::fromInt(i));
    if (capacities.back() != array.capacity()) capacities.push_back(array.capacity());
  }
  EXPECT_EQ(capacities, (std::vector<int>{0, 8, 16, 32}));
  EXPECT_EQ(array.count(), 20);
  EXPECT_EQ(array[1], "1");
  EXPECT_EQ(array[20], "20");
}

TEST(ArrayTmpl, RemovingMovesFollowingElementsDown) {
  ArrayStr array;
  array.add(Str("one"));
  array.add(Str("two"));
  array.add(Str("three"));
  array.remove(1);
  ASSERT_EQ(array.count(), 2);
  EXPECT_EQ(array[1], "two");
  EXPECT_EQ(array[2], "three");
  array.remove(7);  // out of range: nothing happens
  EXPECT_EQ(array.count(), 2);
}

TEST(ArrayTmpl, AssignmentCopiesElementsAndCapacity) {
  ArrayStr source;
  for (int i = 0; i < 9; ++i) source.add(Str::fromInt(i));
  ArrayStr target;
  target.add(Str("old"));
  target = source;
  EXPECT_EQ(target.count(), 9);
  EXPECT_EQ(target.capacity(), 16);
  target[1].append("x");
  EXPECT_EQ(source[1], "0");
  EXPECT_EQ(target.find(Str("5")), 6);
  EXPECT_EQ(target.find(Str("5 ")), 0);  // same length, case-sensitive
  EXPECT_EQ(target.find(Str("0x")), 1);
}

TEST(ArrayTmpl, LockedArrayTakesConcurrentAdds) {
  ArrayTmpl<int> array;
  array.enableLock();
  std::vector<std::thread> threads;
  threads.reserve(4);
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 1000; ++i) array.add(i);
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(array.count(), 4000);
}

TEST(VectorOfLocateItems, AccessIsClampedToTheItems) {
  Vector<LocateItem<Str>> items(3);
  items.item(1).key = "first";
  items.item(3).key = "last";
  items.item(2).value1 = 7;
  EXPECT_EQ(items.item(0).key, "first");
  EXPECT_EQ(items.item(99).key, "last");
  EXPECT_EQ(items.item(2).value1, 7);
  items.setSize(2);
  EXPECT_EQ(items.count(), 2);
  EXPECT_EQ(items.item(1).key, "");  // a new size makes fresh default items
}

TEST(BuffTest, GrowsZeroedAndNeverShrinks) {
  Buff negative(-1);
  EXPECT_EQ(negative.size(), 16);
  Buff buffer(4);
  std::memcpy(buffer.data(), "abcd", 4);
  buffer.resize(8);
  EXPECT_EQ(buffer.size(), 8);
  EXPECT_EQ(std::string(buffer.data(), 8), std::string("abcd\0\0\0\0", 8));
  buffer.resize(2);
  EXPECT_EQ(buffer.size(), 8);
}

namespace {
struct Counted {
  static int alive;
  Counted() { ++alive; }
  virtual ~Counted() { --alive; }
};
int Counted::alive = 0;
struct Derived : Counted {};
}  // namespace

TEST(PointerHolders, OwnAndReleaseTheirObjects) {
  {
    SmartPtr<Counted> one(new Derived);
    EXPECT_EQ(Counted::alive, 1);
    one.reset(new Derived);
    EXPECT_EQ(Counted::alive, 1);
    DumbPtr<Counted> view(one.get());
    EXPECT_TRUE(static_cast<bool>(view));
  }
  EXPECT_EQ(Counted::alive, 0);
  {
    SmartAPtr<Counted> many(new Counted[3]);
    EXPECT_EQ(Counted::alive, 3);
  }
  EXPECT_EQ(Counted::alive, 0);
}

TEST(OutOfMemoryDeathTest, WritesBothLinesAndExits255) {
  installOutOfMemoryHandler();
  EXPECT_EXIT(reportOutOfMemory(123456), testing::ExitedWithCode(255),
              "Memory allocation of 123456 Bytes failed!\nProgram terminated!");
}

TEST(OutOfMemoryDeathTest, StringBeyondTwoGigabytesEndsTheProgram) {
  EXPECT_EXIT(
      {
        Str s;
        s.append('x', INT32_MAX - 8);
      },
      testing::ExitedWithCode(255), "Bytes failed!");
}
