#include "base/exception.h"

cException::cException(const char* file_, unsigned int line_, unsigned int code_, const char* message_)
    : code(code_), line(line_) {
  message.set(message_);
  file.set(file_);
}

// Throwing copies the object, so the copy must own its own strings.
cException::cException(const cException& other) : code(other.code), line(other.line) {
  message.set(other.message.ptr);
  file.set(other.file.ptr);
}

bool getOSErrorMessage(int, _guardchar<char>&, const char*) { return false; }
