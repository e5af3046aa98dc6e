#include "base/exception.h"

#include <csignal>
#include <initializer_list>

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

namespace {

void translateFault(int signal) { throw cException(__FILE__, __LINE__, signal, "Signal received"); }

}  // namespace

void cException::init() {
  struct sigaction fault = {};
  fault.sa_handler = translateFault;
  sigemptyset(&fault.sa_mask);
  // The handler is left by a throw, never by a return, so the kernel never
  // restores the signal mask it set on entry: the signal must not be blocked
  // there, or a second fault on the same thread would end the process.
  fault.sa_flags = SA_NODEFER;
  for (int signal : {SIGSEGV, SIGFPE, SIGBUS}) sigaction(signal, &fault, nullptr);

  // A write to a closed pipe or socket then fails with an error result.
  struct sigaction ignore = {};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  for (int signal : {SIGPIPE, SIGHUP}) sigaction(signal, &ignore, nullptr);
}
