#include "base/exception.h"

#include <csetjmp>
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

// With -fnon-call-exceptions g++ gives every instruction that may fault an
// entry in its function's unwind tables, so the handler can throw and the
// destructors of the frames in between run. clang takes the flag but treats
// loads, stores and divisions as unable to throw: a function made of them is
// deduced not to throw, and the try blocks and cleanups around its calls are
// dropped, so an exception thrown from the faulting instruction misses the
// catch meant for it. Under clang the handler therefore jumps back to the
// innermost guard of the thread, which throws from an ordinary call; the
// frames in between are left without their destructors, as they would be by
// the throw.
#if defined(__clang__)
constexpr bool kThrowFromHandler = false;
#else
constexpr bool kThrowFromHandler = true;
#endif

struct sRecoveryPoint {
  sigjmp_buf where;
  sRecoveryPoint* outer;
};

// The innermost guard of the thread; null outside every guard.
thread_local sRecoveryPoint* tRecovery = nullptr;

// Only the guard's own frame is left, whichever way work() ends.
struct sGuardScope {
  sRecoveryPoint* outer;
  ~sGuardScope() { tRecovery = outer; }
};

void translateFault(int signal) {
  if (tRecovery && kThrowFromHandler) throw cException(__FILE__, __LINE__, signal, "Signal received");
  if (tRecovery) siglongjmp(tRecovery->where, signal);
  // Unguarded: the process ends with the signal, as if it had never been
  // handled (sent by another process too, not only raised by a fault).
  std::signal(signal, SIG_DFL);
  std::raise(signal);
}

}  // namespace

int cException::guard(int (*work)(void*), void* context) {
  sRecoveryPoint point;
  point.outer = tRecovery;
  if (int signal = sigsetjmp(point.where, 1)) {
    tRecovery = point.outer;
    throw cException(__FILE__, __LINE__, static_cast<unsigned int>(signal), "Signal received");
  }
  sGuardScope scope{point.outer};
  tRecovery = &point;
  return work(context);
}

void cException::init() {
  struct sigaction fault = {};
  fault.sa_handler = translateFault;
  sigemptyset(&fault.sa_mask);
  // A translated fault leaves the handler by a throw or a jump, never by a
  // return, so the kernel never restores the signal mask it set on entry:
  // the signal must not be blocked there, or a second fault on the same
  // thread would end the process.
  fault.sa_flags = SA_NODEFER;
  for (int signal : {SIGSEGV, SIGFPE, SIGBUS}) sigaction(signal, &fault, nullptr);

  // A write to a closed pipe or socket then fails with an error result.
  struct sigaction ignore = {};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  for (int signal : {SIGPIPE, SIGHUP}) sigaction(signal, &ignore, nullptr);

  // Started with SIGCHLD ignored (a shell or service may pass that on
  // through exec), the kernel would reap every child by itself and no wait
  // could tell a failed uninstaller or unzip from a good one.
  struct sigaction usual = {};
  usual.sa_handler = SIG_DFL;
  sigemptyset(&usual.sa_mask);
  sigaction(SIGCHLD, &usual, nullptr);
}
