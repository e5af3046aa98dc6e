#include "base/job.h"

#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <stdexcept>
#include <string>
#include <vector>

#include "base/exception.h"

namespace {

using Log = std::vector<std::string>;

// Records the hooks of the job's own thread in order; the stop hook runs on
// the owner's thread, anywhere among them, so it is only counted.
class RecordingJob : public cJob {
 public:
  explicit RecordingJob(int (*work)(RecordingJob&)) : cJob(nullptr), work_(work) {
    ended_.create(nullptr, false, true);
  }
  ~RecordingJob() override { terminate(); }

  int job() override {
    log("job");
    return work_(*this);
  }
  void onJobStart() override { log("start"); }
  void onJobStopSignal() override { ++stops; }
  void onJobEnd(unsigned long code) override {
    log("end " + std::to_string(code));
    ended_.set();
  }
  void onJobException() override { log("exception"); }
  int onExceptionOccured(_EXCEPTION_POINTERS* info, unsigned int code) override {
    log("occured " + std::to_string(code) + (info ? " with info" : ""));
    return cJob::onExceptionOccured(info, code);
  }

  Log hooks(bool waitForEnd = true) {
    if (waitForEnd) ended_.wait_ms(10000);
    cSafeCriticalSectionAccess hold(&lock_);
    Log copy = log_;
    log_.clear();
    ended_.reset();
    return copy;
  }

  std::atomic<int> stops{0};

 private:
  void log(const std::string& what) {
    cSafeCriticalSectionAccess hold(&lock_);
    log_.push_back(what);
  }

  int (*work_)(RecordingJob&);
  cCriticalSection lock_;
  Log log_;
  cEvent ended_;
};

// The sanitizers would report these faults themselves before the hardware
// raised them; the point here is the hardware fault.
__attribute__((no_sanitize("undefined"), noinline)) int divide(int n, int by) {
  volatile int divisor = by;
  return n / divisor;
}

__attribute__((no_sanitize("undefined"), noinline)) void store(int* target) {
  int* volatile where = target;
  *where = 1;
}

// A frame with cleanups between the fault and the job's end, which clang
// builds as if the faulting call could not throw. The string stays short
// enough to need no memory of its own: clang builds skip its destructor.
__attribute__((noinline)) int storeHoldingAString(int* target) {
  std::string held(2, 'x');
  held += held;
  store(target);
  held += held;
  return static_cast<int>(held.size());
}

// The signal a fault inside a guard was translated from, or 0 when nothing
// was thrown.
template <typename F>
unsigned int signalOf(F&& fault) {
  try {
    cException::guard(
        [](void* f) {
          (*static_cast<F*>(f))();
          return 0;
        },
        &fault);
  } catch (const cException& e) {
    EXPECT_STREQ(e.message.ptr, "Signal received");
    // A compiler cache may hand the compiler a relative path.
    EXPECT_TRUE(std::string(e.file.ptr).ends_with("src/base/exception.cpp")) << e.file.ptr;
    return e.code;
  }
  return 0;
}

TEST(SignalTranslation, FaultsBecomeExceptionsAgainAndAgainOnOneThread) {
  cException::init();
  for (int round = 0; round < 3; ++round) {
    EXPECT_EQ(signalOf([] { divide(7, 0); }), unsigned{SIGFPE});
    EXPECT_EQ(signalOf([] { store(nullptr); }), unsigned{SIGSEGV});
  }
  // A page of a shared mapping past the end of its file.
  char path[] = "/tmp/zvk_sigbus_XXXXXX";
  int fd = mkstemp(path);
  ASSERT_GE(fd, 0);
  unlink(path);
  ASSERT_EQ(ftruncate(fd, 1), 0);
  size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
  char* map = static_cast<char*>(mmap(nullptr, page * 2, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0));
  ASSERT_NE(map, MAP_FAILED);
  for (int round = 0; round < 2; ++round)
    EXPECT_EQ(signalOf([&] { store(reinterpret_cast<int*>(map + page)); }), unsigned{SIGBUS});
  munmap(map, page * 2);
  close(fd);

  EXPECT_EXIT(store(nullptr), ::testing::KilledBySignal(SIGSEGV), "") << "outside every guard";

  // Writing to a pipe without a reader fails instead of ending the process.
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  close(fds[0]);
  EXPECT_EQ(write(fds[1], "x", 1), -1);
  EXPECT_EQ(errno, EPIPE);
  close(fds[1]);
  EXPECT_EQ(raise(SIGHUP), 0);
}

int pollUntilStopped(RecordingJob& self) {
  while (!self.haveToStop()) cJob::sleep(5);
  return 7;
}

double secondsToTerminate(cJob& job) {
  auto start = std::chrono::steady_clock::now();
  EXPECT_TRUE(job.terminate());
  EXPECT_FALSE(job.runs());
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

TEST(Job, EndCodesKeepTheirWidthAndFaultsEndOnlyTheJob) {
  RecordingJob minusOne([](RecordingJob&) { return -1; });
  ASSERT_TRUE(minusOne.start());
  EXPECT_EQ(minusOne.hooks(), (Log{"start", "job", "end 18446744073709551615"}));

  cException::init();
  const Log failed = {"start", "job", "occured 4294967295", "exception", "end 4294967295"};
  RecordingJob throws([](RecordingJob&) -> int { throw std::runtime_error("no"); });
  ASSERT_TRUE(throws.start());
  EXPECT_EQ(throws.hooks(), failed);
  RecordingJob divides([](RecordingJob&) { return divide(1, 0); });
  RecordingJob stores([](RecordingJob&) { return storeHoldingAString(nullptr); });
  for (RecordingJob* faulty : {&divides, &stores, &divides}) {
    ASSERT_TRUE(faulty->start());
    EXPECT_EQ(faulty->hooks(), failed);
  }
}

TEST(Job, APollingJobEndsSoonAfterStopAndCanRunAgain) {
  RecordingJob polling(pollUntilStopped);
  ASSERT_TRUE(polling.start());
  EXPECT_LT(secondsToTerminate(polling), 2.0);
  EXPECT_EQ(polling.hooks(false), (Log{"start", "job", "end 7"}));
  EXPECT_EQ(polling.stops.load(), 1);
  // Starting a running job ends the running one first.
  ASSERT_TRUE(polling.start());
  ASSERT_TRUE(polling.start());
  EXPECT_TRUE(polling.terminate());
  EXPECT_EQ(polling.hooks(false), (Log{"start", "job", "end 7", "start", "job", "end 7"}));
}

std::atomic<long> spins{0};

TEST(Job, AJobThatNeverPollsIsCancelledWithinTheBound) {
  RecordingJob stubborn([](RecordingJob&) -> int {
    for (;;) spins.fetch_add(1, std::memory_order_relaxed);
  });
  for (int run = 0; run < 2; ++run) {
    ASSERT_TRUE(stubborn.start());
    double took = secondsToTerminate(stubborn);
    EXPECT_GE(took, 3.9);
    EXPECT_LT(took, 7.0);
    long before = spins.load();
    cJob::sleep(50);
    EXPECT_EQ(spins.load(), before);
    EXPECT_EQ(stubborn.hooks(false), (Log{"start", "job"}));
  }
}

cEvent neverAnswered;

// The form that would have answered must still be able to use the event.
TEST(Job, ACancelledWaitLeavesTheEventUsable) {
  ASSERT_TRUE(neverAnswered.create(nullptr, false, false));
  RecordingJob waiting([](RecordingJob&) { return neverAnswered.wait() ? 1 : 2; });
  ASSERT_TRUE(waiting.start());
  secondsToTerminate(waiting);
  EXPECT_TRUE(neverAnswered.set());
  EXPECT_EQ(neverAnswered.wait_ms(0), 2);
  EXPECT_EQ(waiting.hooks(false), (Log{"start", "job"}));
}

}  // namespace

// An owner that learns of the end from onJobEnd (a posted action) may act on
// it before the thread has left: the job must already count as no longer at
// work then, and start again at once.
class EndTellingJob : public cJob {
 public:
  EndTellingJob() : cJob(nullptr) {
    told.create(nullptr, false, false);
    release.create(nullptr, false, false);
  }
  ~EndTellingJob() override { terminate(); }
  int job() override { return 0; }
  void onJobEnd(unsigned long) override {
    told.set();
    release.wait_ms(10000);
  }
  cEvent told, release;
};

TEST(Job, AJobTellingItsEndIsNoLongerAtWork) {
  EndTellingJob job;
  EXPECT_FALSE(job.working());
  for (int run = 0; run < 2; ++run) {
    ASSERT_TRUE(job.start());
    ASSERT_EQ(job.told.wait_ms(10000), 2);
    EXPECT_FALSE(job.working());
    EXPECT_TRUE(job.runs()) << "the thread still tells of its end";
    job.release.set();
    // Starting again waits for that thread to leave.
    if (run == 0) continue;
    EXPECT_TRUE(job.terminate());
    EXPECT_FALSE(job.runs());
  }
}
