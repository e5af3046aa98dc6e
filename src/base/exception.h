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
};

// The operating system's messages are not looked up: answers false and
// leaves `text` as it was.
bool getOSErrorMessage(int error, _guardchar<char>& text, const char* fallback);
