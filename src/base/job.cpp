#include "base/job.h"

#include <cxxabi.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <ctime>
#include <exception>

#include "base/exception.h"

namespace {

constexpr int kStopMs = 4000;
// A cancelled thread gets this long to unwind once cancelled.
constexpr int kUnwindMs = 2000;
constexpr int kStepMs = 10;

thread_local cJob* tJob = nullptr;
std::terminate_handler gPreviousTerminate = nullptr;

// True once the job's thread has finished, within `ms` milliseconds. The
// bound is kept on the monotonic clock: on a loaded machine every step
// oversleeps, and counted steps would stretch the wait far beyond it.
bool waitForEnd(cJob& job, int ms) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (job.runs()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    cJob::sleep(kStepMs);
  }
  return true;
}

}  // namespace

// A cancellation unwinds from whatever instruction the thread was at. When
// that instruction lies outside the ranges the compiler described for its
// function, the runtime calls std::terminate instead of unwinding further.
// On a cancelled job's thread that must not end the process: the thread
// lets go of the job and stays parked for good.
void cJob::onTerminate() {
  if (tJob && tJob->cancelled_) {
    tJob->markFinished();
    for (;;) pause();
  }
  gPreviousTerminate();
  std::abort();
}

cJob::cJob(cSysExceptHandler* handler) : handler_(handler) { startEvent_.create(nullptr, false, false); }

cJob::~cJob() { terminate(); }

int cJob::onExceptionOccured(_EXCEPTION_POINTERS* info, unsigned int code) {
  return handler_ ? handler_->onException(info, code) : 0;
}

void* cJob::threadMain(void* self) {
  static_cast<cJob*>(self)->runOnThread();
  return nullptr;
}

void cJob::markFinished() {
  cSafeCriticalSectionAccess hold(&lock_);
  finished_ = true;
}

// The cancellation's unwinding carries no exception object, so the runtime
// binds the handler's reference to null.
__attribute__((no_sanitize("null"))) void cJob::runOnThread() {
  tJob = this;
  // Whether the thread ends normally or unwinds from a cancellation, its
  // last touch of the job is to mark it finished; the owner may destroy the
  // job as soon as it sees that.
  struct Finish {
    cJob* job;
    ~Finish() { job->markFinished(); }
  } finish{this};

  startEvent_.set();
  // Set after the start event so that a cancellation never lands while the
  // event's mutex is held; a cancellation already pending acts here.
  pthread_setcanceltype(PTHREAD_CANCEL_ASYNCHRONOUS, nullptr);

  unsigned long code;
  try {
    int answer = cException::guard(
        [](void* self) {
          static_cast<cJob*>(self)->onJobStart();
          return static_cast<cJob*>(self)->job();
        },
        this);
    code = static_cast<unsigned long>(static_cast<long>(answer));
  } catch (abi::__forced_unwind&) {
    // The cancellation's unwinding must reach the thread's start, or the
    // runtime aborts the process.
    throw;
  } catch (...) {
    pthread_setcancelstate(PTHREAD_CANCEL_DISABLE, nullptr);
    onExceptionOccured(nullptr, 0xFFFFFFFF);
    onJobException();
    code = 0xFFFFFFFF;
  }
  pthread_setcancelstate(PTHREAD_CANCEL_DISABLE, nullptr);
  {
    cSafeCriticalSectionAccess hold(&lock_);
    working_ = false;
  }
  onJobEnd(code);
}

bool cJob::start() {
  // Two threads must never share one job's state.
  if (!terminate()) return false;
  static const bool terminateHooked = (gPreviousTerminate = std::set_terminate(onTerminate), true);
  (void)terminateHooked;
  stopRequested_ = false;
  cancelled_ = false;
  startEvent_.reset();
  {
    // The lock keeps the new thread from marking itself finished before its
    // id is stored and it is detached.
    cSafeCriticalSectionAccess hold(&lock_);
    pthread_t thread;
    if (pthread_create(&thread, nullptr, threadMain, this) != 0) return false;
    finished_ = false;
    working_ = true;
    thread_ = thread;
    pthread_detach(thread);
  }
  startEvent_.wait();
  return true;
}

void cJob::stop() {
  cSafeCriticalSectionAccess hold(&lock_);
  stopRequested_ = true;
  onJobStopSignal();
}

bool cJob::runs() {
  cSafeCriticalSectionAccess hold(&lock_);
  return !finished_;
}

bool cJob::working() {
  cSafeCriticalSectionAccess hold(&lock_);
  return working_ && !finished_;
}

bool cJob::terminate() {
  if (!runs()) return true;
  stop();
  waitForEnd(*this, kStopMs);
  {
    // Under the lock the thread cannot finish, so its id is still alive.
    cSafeCriticalSectionAccess hold(&lock_);
    if (finished_) return true;
    cancelled_ = true;
    if (pthread_cancel(thread_) != 0) {
      cancelled_ = false;
      return false;
    }
  }
  return waitForEnd(*this, kUnwindMs);
}

void cJob::sleep(int ms) {
  if (ms <= 0) return;
  timespec rest = {ms / 1000, static_cast<long>(ms % 1000) * 1000000L};
  while (nanosleep(&rest, &rest) != 0 && errno == EINTR) {
  }
}

long cJob::maxHWThreads() { return sysconf(_SC_NPROCESSORS_ONLN); }
