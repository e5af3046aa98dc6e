// Background work: every thread the system creates beyond the main one is a
// job, whose virtual job() runs on a detached thread of its own.
#pragma once

#include <pthread.h>

#include <atomic>

#include "base/guardchar.h"
#include "base/sync.h"

// Fault details of an outside handler; never filled on this platform.
struct _EXCEPTION_POINTERS;

class cSysExceptHandler {
 public:
  virtual int onException(_EXCEPTION_POINTERS* info, unsigned int code) = 0;
  virtual ~cSysExceptHandler() = default;
};

class cJob {
 public:
  explicit cJob(cSysExceptHandler* handler);
  cJob(const cJob&) = delete;
  cJob& operator=(const cJob&) = delete;

  // The end code: job()'s result widened with its sign, or 0xFFFFFFFF when an
  // exception (a translated fault included) escaped it.
  virtual int job() = 0;
  virtual void onJobStart() {}
  // Runs on the thread that calls stop(), with the job's lock held: it must
  // not wait for the job.
  virtual void onJobStopSignal() {}
  // Not called for a run that terminate() had to cancel.
  virtual void onJobEnd(unsigned long /*code*/) {}
  virtual void onJobException() {}
  virtual int onExceptionOccured(_EXCEPTION_POINTERS* info, unsigned int code);
  // The subclass is gone by the time this runs, so owners terminate (or wait
  // for) the job before they destroy it or the data its work uses.
  virtual ~cJob();

  // Ends any previous run first; answers when the new thread is running.
  bool start();
  void stop();
  // Asks the work to stop and waits up to four seconds for it; then cancels
  // the thread, which unwinds from wherever it is. Work that holds locks or
  // other resources must poll haveToStop() rather than rely on this. True
  // once the thread has gone.
  bool terminate();
  bool runs();
  // True from start() until the work has ended. Unlike runs() it is false
  // already while onJobEnd tells the owner of the end: an owner acting on
  // that news must not take the job for still at work, or it waits for an
  // end that has already come.
  bool working();
  bool haveToStop() const { return stopRequested_.load(); }
  // For waits that must end as soon as the work is asked to stop.
  const std::atomic<bool>* stopFlag() const { return &stopRequested_; }

  static void sleep(int ms);
  void setJobName(const unsigned short* name) { name_.set(name); }
  const unsigned short* getName() const { return name_.ptr; }
  void setExceptionHandler(cSysExceptHandler* handler) { handler_ = handler; }
  cSysExceptHandler* exceptionHandler() const { return handler_; }
  static long maxHWThreads();
  static bool is64bitOS() { return true; }

 private:
  static void* threadMain(void* self);
  [[noreturn]] static void onTerminate();
  void runOnThread();
  void markFinished();

  cSysExceptHandler* handler_;
  std::atomic<bool> stopRequested_{false};
  std::atomic<bool> cancelled_{false};
  bool finished_ = true;  // guarded by lock_; set by the thread as its last act
  bool working_ = false;  // guarded by lock_; cleared before onJobEnd
  _guardchar<unsigned short> name_;
  cCriticalSection lock_;
  pthread_t thread_{};  // valid while finished_ is false
  cEvent startEvent_;
};
