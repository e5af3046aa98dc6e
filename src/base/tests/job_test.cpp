#include "base/job.h"

#include <gtest/gtest.h>

#include <chrono>
#include <stdexcept>
#include <string>
#include <vector>

#include "base/exception.h"

namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point t) { return std::chrono::duration<double>(Clock::now() - t).count(); }

// Records the hooks in the order they ran; the work is a function of the run.
class RecordingJob : public cJob {
 public:
  explicit RecordingJob(int (*work)(RecordingJob&), cSysExceptHandler* handler = nullptr)
      : cJob(handler), work_(work) {
    done_.create(nullptr, false, true);
  }
  ~RecordingJob() override { terminate(); }

  int job() override {
    log("job");
    return work_(*this);
  }
  void onJobStart() override { log("start"); }
  void onJobStopSignal() override { log("stop"); }
  void onJobEnd(unsigned long code) override {
    log("end " + std::to_string(code));
    done_.set();
  }
  void onJobException() override { log("exception"); }
  int onExceptionOccured(_EXCEPTION_POINTERS* info, unsigned int code) override {
    log("occured " + std::to_string(code) + (info ? " info" : ""));
    return cJob::onExceptionOccured(info, code);
  }

  // The hooks after the work ran to its end.
  std::vector<std::string> events() {
    done_.wait_ms(10000);
    return eventsSoFar();
  }
  std::vector<std::string> eventsSoFar() {
    cSafeCriticalSectionAccess hold(&logLock_);
    return log_;
  }
  void clear() {
    cSafeCriticalSectionAccess hold(&logLock_);
    log_.clear();
    done_.reset();
  }

 private:
  void log(const std::string& what) {
    cSafeCriticalSectionAccess hold(&logLock_);
    log_.push_back(what);
  }

  int (*work_)(RecordingJob&);
  cCriticalSection logLock_;
  std::vector<std::string> log_;
  cEvent done_;
};

__attribute__((no_sanitize("undefined"), noinline)) int divide(int n, int by) {
  volatile int divisor = by;
  return n / divisor;
}

using Log = std::vector<std::string>;

// The stop hook runs on the owner's thread, so it may come anywhere among the
// job's own hooks: it is counted apart.
Log apartFromStops(const Log& all, int& stops) {
  Log rest;
  stops = 0;
  for (const std::string& event : all)
    if (event == "stop")
      ++stops;
    else
      rest.push_back(event);
  return rest;
}

TEST(Job, EndCodesKeepTheirWidth) {
  RecordingJob three([](RecordingJob&) { return 3; });
  ASSERT_TRUE(three.start());
  EXPECT_EQ(three.events(), (Log{"start", "job", "end 3"}));

  RecordingJob minusOne([](RecordingJob&) { return -1; });
  ASSERT_TRUE(minusOne.start());
  EXPECT_EQ(minusOne.events(), (Log{"start", "job", "end 18446744073709551615"}));

  RecordingJob throws([](RecordingJob&) -> int { throw std::runtime_error("no"); });
  ASSERT_TRUE(throws.start());
  EXPECT_EQ(throws.events(), (Log{"start", "job", "occured 4294967295", "exception", "end 4294967295"}));
}

TEST(Job, DivisionByZeroEndsTheJobAndTheProcessGoesOn) {
  cException::init();
  RecordingJob faulty([](RecordingJob&) { return divide(1, 0); });
  for (int run = 0; run < 2; ++run) {
    faulty.clear();
    ASSERT_TRUE(faulty.start());
    EXPECT_EQ(faulty.events(), (Log{"start", "job", "occured 4294967295", "exception", "end 4294967295"}));
    EXPECT_TRUE(faulty.terminate());
  }
}

struct CountingHandler : cSysExceptHandler {
  int calls = 0;
  int onException(_EXCEPTION_POINTERS* info, unsigned int code) override {
    ++calls;
    return info == nullptr && code == 0xFFFFFFFF ? 5 : -5;
  }
};

TEST(Job, AnOutsideHandlerHearsOfTheException) {
  CountingHandler handler;
  RecordingJob throws([](RecordingJob&) -> int { throw 1; }, &handler);
  EXPECT_EQ(throws.exceptionHandler(), &handler);
  ASSERT_TRUE(throws.start());
  throws.events();
  EXPECT_EQ(handler.calls, 1);
  EXPECT_EQ(throws.onExceptionOccured(nullptr, 0xFFFFFFFF), 5);
  throws.setExceptionHandler(nullptr);
  EXPECT_EQ(throws.onExceptionOccured(nullptr, 0xFFFFFFFF), 0);
}

TEST(Job, APollingJobEndsSoonAfterStop) {
  RecordingJob polling([](RecordingJob& self) {
    while (!self.haveToStop()) cJob::sleep(10);
    return 7;
  });
  EXPECT_TRUE(polling.terminate());
  EXPECT_FALSE(polling.runs());
  ASSERT_TRUE(polling.start());
  EXPECT_TRUE(polling.runs());
  EXPECT_FALSE(polling.haveToStop());
  Clock::time_point begin = Clock::now();
  EXPECT_TRUE(polling.terminate());
  EXPECT_LT(secondsSince(begin), 2.0);
  EXPECT_FALSE(polling.runs());
  int stops;
  EXPECT_EQ(apartFromStops(polling.events(), stops), (Log{"start", "job", "end 7"}));
  EXPECT_EQ(stops, 1);

  // A second start clears the stop request of the first run; the stop may
  // come before the new run's hooks.
  polling.clear();
  ASSERT_TRUE(polling.start());
  polling.stop();
  EXPECT_EQ(apartFromStops(polling.events(), stops), (Log{"start", "job", "end 7"}));
}

TEST(Job, StartingARunningJobEndsTheRunningOneFirst) {
  RecordingJob polling([](RecordingJob& self) {
    while (!self.haveToStop()) cJob::sleep(5);
    return 1;
  });
  ASSERT_TRUE(polling.start());
  ASSERT_TRUE(polling.start());
  EXPECT_TRUE(polling.runs());
  EXPECT_TRUE(polling.terminate());
  int stops;
  EXPECT_EQ(apartFromStops(polling.eventsSoFar(), stops),
            (Log{"start", "job", "end 1", "start", "job", "end 1"}));
  EXPECT_EQ(stops, 2);
}

std::atomic<long> spins{0};

TEST(Job, AJobThatNeverPollsIsCancelledWithinTheBound) {
  RecordingJob stubborn([](RecordingJob&) -> int {
    for (;;) spins.fetch_add(1, std::memory_order_relaxed);
  });
  ASSERT_TRUE(stubborn.start());
  Clock::time_point begin = Clock::now();
  EXPECT_TRUE(stubborn.terminate());
  double took = secondsSince(begin);
  EXPECT_GE(took, 3.9);
  EXPECT_LT(took, 7.0);
  EXPECT_FALSE(stubborn.runs());
  // The thread is gone: the counter no longer moves.
  long before = spins.load();
  cJob::sleep(50);
  EXPECT_EQ(spins.load(), before);
  int stops;
  EXPECT_EQ(apartFromStops(stubborn.eventsSoFar(), stops), (Log{"start", "job"}));

  // The job can run again after a cancellation.
  stubborn.clear();
  ASSERT_TRUE(stubborn.start());
  EXPECT_TRUE(stubborn.terminate());
}

cEvent neverAnswered;

// A job cancelled while it waits for an answer must leave the answering side
// able to use the event.
TEST(Job, ACancelledWaitLeavesTheEventUsable) {
  ASSERT_TRUE(neverAnswered.create(nullptr, false, false));
  RecordingJob waiting([](RecordingJob&) { return neverAnswered.wait() ? 1 : 2; });
  ASSERT_TRUE(waiting.start());
  EXPECT_TRUE(waiting.terminate());
  EXPECT_FALSE(waiting.runs());
  EXPECT_TRUE(neverAnswered.set());
  EXPECT_EQ(neverAnswered.wait_ms(0), 2);
  int stops;
  EXPECT_EQ(apartFromStops(waiting.eventsSoFar(), stops), (Log{"start", "job"}));
  neverAnswered.close();
}

TEST(Job, NameAndMachineFacts) {
  RecordingJob job([](RecordingJob&) { return 0; });
  EXPECT_EQ(job.getName(), nullptr);
  const unsigned short name[] = {'j', 'o', 'b', 0};
  job.setJobName(name);
  ASSERT_NE(job.getName(), nullptr);
  EXPECT_EQ(job.getName()[2], 'b');
  EXPECT_NE(job.getName(), name);
  EXPECT_GE(cJob::maxHWThreads(), 1);
  EXPECT_TRUE(cJob::is64bitOS());
}

}  // namespace
