#include "base/sync.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <thread>
#include <vector>

namespace {

bool otherThreadGetsIn(cCriticalSection& cs) {
  bool got = false;
  std::thread([&] {
    got = cs.try_enter();
    if (got) cs.exit();
  }).join();
  return got;
}

TEST(CriticalSection, OwnerReentersAndGuardsReleaseOnEveryWayOut) {
  cCriticalSection cs;
  cs.enter();
  EXPECT_TRUE(cs.try_enter());
  cs.exit();
  EXPECT_FALSE(otherThreadGetsIn(cs));
  cs.exit();

  try {
    cSafeCriticalSectionAccess hold(&cs);
    EXPECT_FALSE(otherThreadGetsIn(cs));
    throw std::runtime_error("leave");
  } catch (const std::runtime_error&) {
  }
  EXPECT_TRUE(otherThreadGetsIn(cs));
  cs.enter();
  { cSafeCriticalSectionUnlock release(&cs); }
  EXPECT_TRUE(otherThreadGetsIn(cs));
}

TEST(Event, AutomaticResetIsConsumedByOneWaitAndClosedEventsNeverBlock) {
  cEvent ev;
  for (int round = 0; round < 2; ++round) {
    EXPECT_FALSE(ev.set());
    EXPECT_FALSE(ev.wait());
    EXPECT_EQ(ev.wait_ms(10000), 0);
    ASSERT_TRUE(ev.create(nullptr, true, true));
    ev.close();
  }
  ASSERT_TRUE(ev.create(nullptr, true, false));
  EXPECT_TRUE(ev.set());
  EXPECT_EQ(ev.wait_ms(5000), 2);
  EXPECT_EQ(ev.wait_ms(0), 1);
  // A time-out lasts its full time, also across a second boundary.
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(ev.wait_ms(1500), 1);
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1500));
}

TEST(Event, ManualResetReleasesEveryWaiterAndStaysSignalled) {
  cEvent ev;
  ASSERT_TRUE(ev.create(nullptr, false, true));
  std::atomic<int> released{0};
  std::vector<std::thread> waiters;
  for (int i = 0; i < 4; ++i)
    waiters.emplace_back([&] {
      if (ev.wait()) ++released;
    });
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_EQ(released.load(), 0);
  ev.set();
  for (auto& w : waiters) w.join();
  EXPECT_EQ(released.load(), 4);
  ev.reset();
  EXPECT_EQ(ev.wait_ms(0), 1);
}

// A job that waits for a form's answer must find the answer in place.
TEST(Event, WaitReturnsOnlyAfterTheEventWasSet) {
  cEvent ev;
  ASSERT_TRUE(ev.create(nullptr, false, false));
  for (int round = 0; round < 50; ++round) {
    std::atomic<bool> answered{false}, sawAnswer{false};
    std::thread waiter(
        [&] { sawAnswer = (round % 2 ? ev.wait() : ev.wait_ms(60000) == 2) && answered.load(); });
    if (round % 5 == 0) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    answered = true;
    ev.set();
    waiter.join();
    EXPECT_TRUE(sawAnswer.load()) << "round " << round;
  }
}

}  // namespace
