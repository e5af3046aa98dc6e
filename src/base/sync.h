// The two synchronisation objects every shared structure is guarded by: a
// recursive lock taken for the length of a scope, and a signalled event.
#pragma once

#include <pthread.h>

class cCriticalSection {
 public:
  cCriticalSection();
  cCriticalSection(const cCriticalSection&) = delete;
  cCriticalSection& operator=(const cCriticalSection&) = delete;
  virtual ~cCriticalSection();

  // The owning thread may enter again; each enter needs its own exit.
  void enter();
  void exit();
  // False when another thread holds the lock.
  bool try_enter();

 private:
  pthread_mutex_t mutex_;
};

// Holds `cs` (when not null) from construction to destruction, so the lock is
// released also when an exception leaves the scope.
class cSafeCriticalSectionAccess {
 public:
  explicit cSafeCriticalSectionAccess(cCriticalSection* cs);
  cSafeCriticalSectionAccess(const cSafeCriticalSectionAccess&) = delete;
  cSafeCriticalSectionAccess& operator=(const cSafeCriticalSectionAccess&) = delete;
  virtual ~cSafeCriticalSectionAccess();

 private:
  cCriticalSection* cs_;
};

// Releases, when the scope ends, a lock that the caller already holds.
class cSafeCriticalSectionUnlock {
 public:
  explicit cSafeCriticalSectionUnlock(cCriticalSection* cs) : cs_(cs) {}
  cSafeCriticalSectionUnlock(const cSafeCriticalSectionUnlock&) = delete;
  cSafeCriticalSectionUnlock& operator=(const cSafeCriticalSectionUnlock&) = delete;
  virtual ~cSafeCriticalSectionUnlock();

 private:
  cCriticalSection* cs_;
};

// A manual-reset event stays signalled until `reset`; an automatic one is
// consumed by the wait that sees it. Every operation on an event that was not
// created (or was closed) fails without blocking.
class cEvent {
 public:
  cEvent() = default;
  cEvent(const cEvent&) = delete;
  cEvent& operator=(const cEvent&) = delete;
  ~cEvent() { close(); }

  // Events never cross processes, so the name is not used.
  bool create(const unsigned short* name, bool signalled, bool manualReset);
  void close();
  bool set();
  bool reset();
  // Blocks until the event is signalled.
  bool wait();
  // Takes the signal when it is there; never blocks.
  bool try_wait();
  // 0 on error, 1 when `ms` milliseconds passed unsignalled, 2 when signalled.
  int wait_ms(unsigned int ms);

 private:
  void consume();

  bool manualReset_ = false;
  bool signalled_ = false;
  pthread_cond_t condition_;
  pthread_mutex_t mutex_;
  bool created_ = false;
};
