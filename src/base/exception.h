// The one exception class of the system: thrown by the container index
// operators and by the translation of fault signals, caught only by jobs.
#pragma once

#include "base/guardchar.h"

class cException {
 public:
  _guardchar<char> message;
  unsigned int code;
  _guardchar<char> file;
  unsigned int line;

  cException(const char* file, unsigned int line, unsigned int code, const char* message);
  cException(const cException& other);
  cException& operator=(const cException&) = delete;

  // Turns SIGSEGV, SIGFPE and SIGBUS raised inside guard() into a cException
  // "Signal received" coming out of that guard() on the faulting thread, and
  // ignores SIGPIPE and SIGHUP; SIGCHLD gets its usual handling back. Called
  // once at start-up, before any window or job exists.
  static void init();

  // Answers work(context). A fault inside it is thrown from here as a
  // cException whose code is the signal; a fault outside every guard ends
  // the process as the signal would.
  static int guard(int (*work)(void*), void* context);
};

// The operating system's messages are not looked up: answers false and
// leaves `text` as it was.
bool getOSErrorMessage(int error, _guardchar<char>& text, const char* fallback);
