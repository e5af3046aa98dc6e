// Clipboard tools of other programs (xclip, xsel) run as peers of the
// tests, fed and read while the main thread answers the clipboard.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>

#include "x11_driver.h"
// After gtest, which x11_driver.h brings in first.
#include "nslib/nswnd_clip.h"

namespace nstest {

// The clipboard's limits for one test, put back after it.
struct cLimits {
  sNSClipLimits saved = nswnd_clip_limits();
  cLimits() = default;
  cLimits(const cLimits&) = delete;
  ~cLimits() { nswnd_clip_limits() = saved; }
  sNSClipLimits* operator->() { return &nswnd_clip_limits(); }
};

// A clipboard tool run with fixed arguments, never through a shell, fed
// `input` and keeping what it prints. A tool that fills the clipboard leaves
// a process behind to serve it, which must hold none of our streams.
struct cTool {
  pid_t pid = -1;
  int in = -1, out = -1, status = -1;
  std::string input, output;
  size_t fed = 0;

  cTool(std::vector<const char*> args, std::string text) : input(std::move(text)) {
    int i[2], o[2];
    if (pipe(i) || pipe(o)) return;
    pid = fork();
    if (pid == 0) {
      dup2(i[0], 0);
      dup2(input.empty() ? o[1] : open("/dev/null", O_WRONLY), 1);
      // The process left behind must not hold the test runner's error
      // stream either, or the runner waits for it long after the test.
      if (!input.empty()) dup2(open("/dev/null", O_WRONLY), 2);
      for (int fd : {i[0], i[1], o[0], o[1]}) close(fd);
      args.push_back(nullptr);
      execvp(args[0], const_cast<char* const*>(args.data()));
      _exit(127);
    }
    close(i[0]);
    close(o[1]);
    in = i[1];
    out = o[0];
    if (input.empty()) stop(in);
  }
  ~cTool() {
    if (status < 0 && pid > 0) {
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
    }
    stop(in);
    stop(out);
  }
  static void stop(int& fd) {
    if (fd >= 0) close(fd);
    fd = -1;
  }
  bool busy() const { return out >= 0 || status < 0; }
  // One turn of feeding and reading, waiting at most a few milliseconds.
  void step() {
    pollfd p[2] = {{out, POLLIN, 0}, {in, POLLOUT, 0}};
    if (poll(p, 2, 2) > 0) {
      if (p[1].revents) {
        ssize_t n = write(in, input.data() + fed, std::min<size_t>(input.size() - fed, 1 << 16));
        fed += n > 0 ? static_cast<size_t>(n) : 0;
        if (n <= 0 || fed == input.size()) stop(in);
      }
      if (p[0].revents) {
        char buf[1 << 16];
        ssize_t n = read(out, buf, sizeof buf);
        if (n > 0) output.append(buf, static_cast<size_t>(n));
        if (n <= 0) stop(out);
      }
    }
    if (status < 0 && pid > 0 && waitpid(pid, &status, WNOHANG) != pid) status = -1;
  }
  bool succeeded() const { return !busy() && WIFEXITED(status) && WEXITSTATUS(status) == 0; }
};

// Runs the tools to their end while the clipboard's requests are answered;
// false when one did not end by itself with status 0.
inline bool runTools(std::initializer_list<cTool*> tools) {
  pumpUntil(
      [&] {
        bool busy = false;
        for (cTool* t : tools) {
          if (t->busy()) t->step();
          busy |= t->busy();
        }
        return !busy;
      },
      std::chrono::seconds(120));
  bool ok = true;
  for (cTool* t : tools) ok &= t->succeeded();
  return ok;
}

}  // namespace nstest
