#include "base/sync.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

long long msSince(Clock::time_point t) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t).count();
}

bool otherThreadGetsIn(cCriticalSection& cs) {
  bool got = false;
  std::thread([&] {
    got = cs.try_enter();
    if (got) cs.exit();
  }).join();
  return got;
}

TEST(CriticalSection, OwnerReentersAndMustExitAsOftenAsItEntered) {
  cCriticalSection cs;
  cs.enter();
  EXPECT_TRUE(cs.try_enter());
  EXPECT_FALSE(otherThreadGetsIn(cs));
  cs.exit();
  EXPECT_FALSE(otherThreadGetsIn(cs));
  cs.exit();
  EXPECT_TRUE(otherThreadGetsIn(cs));
}

TEST(CriticalSection, ScopeGuardsReleaseOnEveryWayOut) {
  cCriticalSection cs;
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

  cSafeCriticalSectionAccess nothing(nullptr);
  cSafeCriticalSectionUnlock nothingEither(nullptr);
}

TEST(CriticalSection, KeepsACounterExactUnderContention) {
  cCriticalSection cs;
  long long counter = 0;
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&] {
      for (int i = 0; i < 20000; ++i) {
        cSafeCriticalSectionAccess outer(&cs);
        cSafeCriticalSectionAccess inner(&cs);
        ++counter;
      }
    });
  for (auto& t : threads) t.join();
  EXPECT_EQ(counter, 80000);
}

TEST(Event, EveryOperationFailsWithoutBlockingUntilCreatedAndAfterClose) {
  cEvent ev;
  for (int round = 0; round < 2; ++round) {
    EXPECT_FALSE(ev.set());
    EXPECT_FALSE(ev.reset());
    EXPECT_FALSE(ev.wait());
    EXPECT_FALSE(ev.try_wait());
    EXPECT_EQ(ev.wait_ms(10000), 0);
    ASSERT_TRUE(ev.create(nullptr, true, true));
    EXPECT_TRUE(ev.try_wait());
    ev.close();
  }
}

TEST(Event, AutomaticResetIsConsumedByOneWait) {
  cEvent ev;
  ASSERT_TRUE(ev.create(nullptr, true, false));
  EXPECT_TRUE(ev.wait());
  EXPECT_FALSE(ev.try_wait());

  EXPECT_TRUE(ev.set());
  EXPECT_EQ(ev.wait_ms(5000), 2);
  EXPECT_EQ(ev.wait_ms(0), 1);

  EXPECT_TRUE(ev.set());
  EXPECT_TRUE(ev.reset());
  EXPECT_FALSE(ev.try_wait());
}

TEST(Event, ManualResetReleasesEveryWaiterAndStaysSignalled) {
  cEvent ev;
  ASSERT_TRUE(ev.create(nullptr, false, true));
  EXPECT_EQ(ev.wait_ms(20), 1);

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
  EXPECT_EQ(ev.wait_ms(0), 2);
  EXPECT_TRUE(ev.try_wait());
  ev.reset();
  EXPECT_EQ(ev.wait_ms(0), 1);
}

TEST(Event, TimedWaitLastsAtLeastItsTimeAcrossASecondBoundary) {
  cEvent ev;
  ASSERT_TRUE(ev.create(nullptr, false, false));
  for (unsigned int ms : {30u, 1500u}) {
    Clock::time_point start = Clock::now();
    EXPECT_EQ(ev.wait_ms(ms), 1);
    EXPECT_GE(msSince(start), ms);
  }
}

// The answer a job waits for must be in place when its wait returns.
TEST(Event, WaitReturnsOnlyAfterTheEventWasSet) {
  cEvent ev;
  ASSERT_TRUE(ev.create(nullptr, false, false));
  for (int round = 0; round < 50; ++round) {
    std::atomic<bool> answered{false};
    std::atomic<bool> sawAnswer{false};
    std::thread waiter([&] {
      bool ok = round % 2 ? ev.wait() : ev.wait_ms(60000) == 2;
      sawAnswer = ok && answered.load();
    });
    if (round % 5 == 0) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    answered = true;
    ev.set();
    waiter.join();
    EXPECT_TRUE(sawAnswer.load()) << "round " << round;
  }
}

}  // namespace
