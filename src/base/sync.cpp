#include "base/sync.h"

#include <cerrno>
#include <ctime>

cCriticalSection::cCriticalSection() {
  pthread_mutexattr_t attr;
  pthread_mutexattr_init(&attr);
  pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE);
  pthread_mutex_init(&mutex_, &attr);
  pthread_mutexattr_destroy(&attr);
}

cCriticalSection::~cCriticalSection() { pthread_mutex_destroy(&mutex_); }

void cCriticalSection::enter() { pthread_mutex_lock(&mutex_); }

void cCriticalSection::exit() { pthread_mutex_unlock(&mutex_); }

bool cCriticalSection::try_enter() { return pthread_mutex_trylock(&mutex_) == 0; }

cSafeCriticalSectionAccess::cSafeCriticalSectionAccess(cCriticalSection* cs) : cs_(cs) {
  if (cs_) cs_->enter();
}

cSafeCriticalSectionAccess::~cSafeCriticalSectionAccess() {
  if (cs_) cs_->exit();
}

cSafeCriticalSectionUnlock::~cSafeCriticalSectionUnlock() {
  if (cs_) cs_->exit();
}

bool cEvent::create(const unsigned short*, bool signalled, bool manualReset) {
  close();
  // Deadlines run on the monotonic clock so that a change of the time of day
  // neither cuts a wait short nor stretches it.
  pthread_condattr_t attr;
  if (pthread_condattr_init(&attr) != 0) return false;
  bool ok =
      pthread_condattr_setclock(&attr, CLOCK_MONOTONIC) == 0 && pthread_cond_init(&condition_, &attr) == 0;
  pthread_condattr_destroy(&attr);
  if (!ok) return false;
  if (pthread_mutex_init(&mutex_, nullptr) != 0) {
    pthread_cond_destroy(&condition_);
    return false;
  }
  signalled_ = signalled;
  manualReset_ = manualReset;
  created_ = true;
  return true;
}

void cEvent::close() {
  if (!created_) return;
  pthread_mutex_destroy(&mutex_);
  pthread_cond_destroy(&condition_);
  created_ = false;
}

bool cEvent::set() {
  if (!created_ || pthread_mutex_lock(&mutex_) != 0) return false;
  signalled_ = true;
  pthread_cond_signal(&condition_);
  pthread_mutex_unlock(&mutex_);
  return true;
}

bool cEvent::reset() {
  if (!created_ || pthread_mutex_lock(&mutex_) != 0) return false;
  signalled_ = false;
  pthread_mutex_unlock(&mutex_);
  return true;
}

// Called with the mutex held once a waiter has seen the signal. A set
// manual-reset event passes the wake-up on, so its waiters leave one after
// the other while it stays signalled.
void cEvent::consume() {
  if (manualReset_)
    pthread_cond_signal(&condition_);
  else
    signalled_ = false;
}

namespace {

// A job cancelled while it waits leaves the wait holding the event's mutex;
// releasing it on the way out keeps the event usable by the thread that
// would have answered.
struct MutexRelease {
  pthread_mutex_t* mutex;
  ~MutexRelease() { pthread_mutex_unlock(mutex); }
};

}  // namespace

bool cEvent::wait() {
  if (!created_ || pthread_mutex_lock(&mutex_) != 0) return false;
  MutexRelease release{&mutex_};
  // Condition variables may wake without a signal; only the flag counts.
  while (!signalled_)
    if (pthread_cond_wait(&condition_, &mutex_) != 0) return false;
  consume();
  return true;
}

bool cEvent::try_wait() {
  if (!created_ || pthread_mutex_lock(&mutex_) != 0) return false;
  bool got = signalled_;
  if (got) consume();
  pthread_mutex_unlock(&mutex_);
  return got;
}

int cEvent::wait_ms(unsigned int ms) {
  if (!created_ || pthread_mutex_lock(&mutex_) != 0) return 0;
  MutexRelease release{&mutex_};
  timespec deadline;
  clock_gettime(CLOCK_MONOTONIC, &deadline);
  deadline.tv_sec += ms / 1000;
  deadline.tv_nsec += static_cast<long>(ms % 1000) * 1000000L;
  if (deadline.tv_nsec >= 1000000000L) {
    deadline.tv_sec += 1;
    deadline.tv_nsec -= 1000000000L;
  }
  int answer = 2;
  while (!signalled_) {
    int rc = pthread_cond_timedwait(&condition_, &mutex_, &deadline);
    if (rc == ETIMEDOUT && !signalled_) {
      answer = 1;
      break;
    }
    if (rc != 0 && rc != ETIMEDOUT) {
      answer = 0;
      break;
    }
  }
  if (answer == 2) consume();
  return answer;
}
