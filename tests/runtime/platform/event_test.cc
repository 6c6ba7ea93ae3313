#include "runtime/platform/event.h"

#include <gtest/gtest.h>

#include <thread>

#include "runtime/platform/tick_clock.h"

namespace brx::platform {
namespace {

TEST(EventTest, SetWakesOneWaiterAndResets) {
  Event e;
  EXPECT_FALSE(e.TryTake());
  e.Set();
  EXPECT_TRUE(e.Wait(0));
  // Auto-reset: the first wait took it.
  EXPECT_FALSE(e.Wait(0));
}

TEST(EventTest, WaitTimesOutWithoutSet) {
  Event e;
  uint32_t start = GetTickCount();
  EXPECT_FALSE(e.Wait(50));
  EXPECT_GE(GetTickCount() - start, 45u);
}

TEST(EventTest, SetFromAnotherThreadWakesBlockedWaiter) {
  Event e;
  std::thread t([&] { e.Set(); });
  EXPECT_TRUE(e.Wait(5000));
  t.join();
}

TEST(WaitSetTest, ReportsWhichEventAndTimeout) {
  Event a, b;
  WaitSet set;
  set.Add(&a);
  set.Add(&b);
  set.Add(&a);  // registering twice changes nothing
  EXPECT_EQ(set.size(), 2u);
  EXPECT_EQ(set.Wait(10), WaitResult::kTimeout);
  b.Set();
  size_t which = 99;
  EXPECT_EQ(set.Wait(100, &which), WaitResult::kSignalled);
  EXPECT_EQ(which, 1u);
  EXPECT_EQ(set.Wait(0), WaitResult::kTimeout);
}

TEST(WaitSetTest, EmptySetFails) {
  WaitSet set;
  EXPECT_EQ(set.Wait(10), WaitResult::kFailed);
}

TEST(TickClockTest, ManualClockMovesOnlyWhenTold) {
  ManualTickClock clock(0xFFFFFFF0u);
  uint32_t before = clock.Now();
  clock.Advance(0x20);
  // Unsigned difference survives the wrap.
  EXPECT_EQ(clock.Now() - before, 0x20u);
}

}  // namespace
}  // namespace brx::platform
