#include "common/sync.h"

#include <gtest/gtest.h>

#include <future>
#include <thread>

TEST(Sync, EventWaitTimesOutAndSees) {
  Event event(true, false);
  EXPECT_FALSE(event.Wait(0));
  event.Set();
  EXPECT_TRUE(event.Wait(0));
  event.Reset();
  EXPECT_FALSE(event.Wait(0));
}

TEST(Sync, CountEventReleasesOnTheLastCountDown) {
  CountEvent latch;
  latch.SetCount(2);
  EXPECT_TRUE(latch.CountDownAndWait(10));  // timed out: one caller left
  auto second = std::async(std::launch::async, [&] { return latch.CountDownAndWait(5000); });
  ASSERT_EQ(second.wait_for(std::chrono::seconds(10)), std::future_status::ready);
  EXPECT_FALSE(second.get());
}

TEST(Sync, CountEventBothWaitersReleased) {
  CountEvent latch;
  latch.SetCount(2);
  auto first = std::async(std::launch::async, [&] { return latch.CountDownAndWait(10000); });
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_FALSE(latch.CountDownAndWait(10000));
  ASSERT_EQ(first.wait_for(std::chrono::seconds(15)), std::future_status::ready);
  EXPECT_FALSE(first.get());
}

TEST(Sync, CountEventReleaseAllOpensEarly) {
  CountEvent latch;
  latch.SetCount(5);
  latch.ReleaseAll();
  EXPECT_FALSE(latch.CountDownAndWait(0));
  latch.SetCount(3);
  EXPECT_TRUE(latch.CountDownAndWait(0));
}
