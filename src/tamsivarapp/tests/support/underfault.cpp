#include "support/underfault.h"

#include <sched.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

sFaultRun underFault(const std::string& call, const std::string& error, int nth,
                     const std::function<int()>& work, const std::string& scratch) {
  const pid_t child = ::fork();
  if (child == 0) {
    const std::string self = std::to_string(::getpid()), trace = "trace=" + call,
                      inject = "inject=" + call + ":error=" + error + ":when=" + std::to_string(nth);
    const char* argv[] = {"strace", "-q",           "-o", scratch.c_str(), "-e",   trace.c_str(),
                          "-e",     inject.c_str(), "-p", self.c_str(),    nullptr};
    pid_t tracer = 0;
    if (::posix_spawn(&tracer, "/usr/bin/strace", nullptr, nullptr, const_cast<char* const*>(argv),
                      environ) != 0)
      ::_exit(255);
    // Waits until the tracer holds this process, or has given up.
    for (;;) {
      std::ifstream status("/proc/self/status");
      std::string line;
      while (std::getline(status, line) && !line.starts_with("TracerPid:")) {
      }
      if (line != "TracerPid:\t0") break;
      if (::waitpid(tracer, nullptr, WNOHANG) == tracer) ::_exit(255);
      ::sched_yield();
    }
    ::_exit(work());
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  sFaultRun run;
  run.status = WIFEXITED(status) && WEXITSTATUS(status) != 255 ? WEXITSTATUS(status) : -1;
  // The tracer writes its last line as the child ends: its own end is
  // not waited for, so the trace is read until the marked line or the
  // child's exit line is there.
  for (;;) {
    std::ifstream in(scratch);
    std::stringstream text;
    text << in.rdbuf();
    run.injected = text.str().find("(INJECTED)") != std::string::npos;
    if (run.injected || text.str().find("+++ exited") != std::string::npos || run.status < 0) break;
    ::sched_yield();
  }
  return run;
}
