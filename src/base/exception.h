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

  // Turns SIGSEGV, SIGFPE and SIGBUS into a cException thrown on the faulting
  // thread, and ignores SIGPIPE and SIGHUP. Called once at start-up, before
  // any window or job exists. The throw unwinds from the faulting
  // instruction, so every library is built with -fnon-call-exceptions.
  static void init();
};

// The operating system's messages are not looked up: answers false and
// leaves `text` as it was.
bool getOSErrorMessage(int error, _guardchar<char>& text, const char* fallback);
