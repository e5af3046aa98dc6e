#include "base/conproc.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

#include "base/casemap.h"
#include "base/folder.h"
#include "base/job.h"

namespace {

constexpr int kTermWaitMs = 2000;
constexpr int kStepMs = 10;

// A pipe end that landed on a standard descriptor (the parent had closed
// one) would be overwritten by the child's own redirections.
bool makePipe(int fds[2]) {
  if (pipe2(fds, O_CLOEXEC) != 0) return false;
  for (int i = 0; i < 2; ++i) {
    if (fds[i] > 2) continue;
    int moved = fcntl(fds[i], F_DUPFD_CLOEXEC, 3);
    ::close(fds[i]);
    fds[i] = moved;
  }
  if (fds[0] >= 0 && fds[1] >= 0) return true;
  for (int i = 0; i < 2; ++i)
    if (fds[i] >= 0) ::close(fds[i]);
  return false;
}

// This process ignores SIGPIPE and SIGHUP, and an ignored signal stays
// ignored across exec: the programs it starts get the usual behaviour back.
// Both calls are safe between fork and exec.
void restoreDefaultSignals() {
  signal(SIGPIPE, SIG_DFL);
  signal(SIGHUP, SIG_DFL);
}

// Waits for the child, through interruptions; false when it cannot be had.
bool reap(pid_t pid, int& status) {
  while (waitpid(pid, &status, 0) < 0)
    if (errno != EINTR) return false;
  return true;
}

void closeFd(int& fd) {
  if (fd >= 0) ::close(fd);
  fd = -1;
}

}  // namespace

bool cConProcess::startProcess(const char* file, bool) {
  close();
  status_ = 0;
  if (!file || !*file) return false;
  int in[2], out[2];
  if (!makePipe(in)) return false;
  if (!makePipe(out)) {
    closeFd(in[0]);
    closeFd(in[1]);
    return false;
  }
  pid_t pid = fcntl(out[0], F_SETFL, O_NONBLOCK) == 0 ? fork() : -1;
  if (pid == 0) {
    // Only async-signal-safe calls between fork and exec: another thread may
    // have held a lock of the C library when the process was copied. The
    // pipes' own descriptors close on exec.
    dup2(in[0], 0);
    dup2(out[1], 1);
    dup2(out[1], 2);
    restoreDefaultSignals();
    char* argv[] = {const_cast<char*>(file), nullptr};
    execvp(file, argv);
    _exit(127);
  }
  closeFd(in[0]);
  closeFd(out[1]);
  if (pid < 0) {
    closeFd(in[1]);
    closeFd(out[0]);
    return false;
  }
  input_ = in[1];
  output_ = out[0];
  pid_ = pid;
  return true;
}

bool cConProcess::readOutput(_typebuf<unsigned char>& out) {
  if (output_ < 0) return false;
  unsigned char chunk[4096];
  ssize_t n;
  do n = read(output_, chunk, sizeof chunk);
  while (n < 0 && errno == EINTR);
  if (n <= 0) return false;
  out.set(n);
  memcpy(out.ptr, chunk, static_cast<size_t>(n));
  return true;
}

bool cConProcess::writeInput(const void* data, long long length) {
  if (input_ < 0 || length < 0 || (!data && length > 0)) return false;
  const char* at = static_cast<const char*>(data);
  while (length > 0) {
    ssize_t n = write(input_, at, static_cast<size_t>(length));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    at += n;
    length -= n;
  }
  return true;
}

bool cConProcess::isValid() {
  if (pid_ == 0) return false;
  int st = 0;
  pid_t r;
  do r = waitpid(pid_, &st, WNOHANG);
  while (r < 0 && errno == EINTR);
  if (r == 0) return true;
  if (r == pid_) status_ = st;
  pid_ = 0;
  return false;
}

bool cConProcess::terminate() {
  if (!isValid()) return true;
  if (kill(pid_, SIGTERM) != 0) return false;
  // Reaped here so that no zombie stays behind; a child that ignores the
  // request is killed after two seconds.
  pid_t pid = pid_;
  pid_ = 0;
  // On the monotonic clock, as a loaded machine oversleeps every step.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kTermWaitMs);
  do {
    if (waitpid(pid, nullptr, WNOHANG) != 0) return true;
    cJob::sleep(kStepMs);
  } while (std::chrono::steady_clock::now() < deadline);
  kill(pid, SIGKILL);
  int status;
  reap(pid, status);
  return true;
}

bool cConProcess::simCtrlC() { return isValid() && kill(pid_, SIGINT) == 0; }

void cConProcess::close() {
  if (pid_) terminate();
  closeFd(output_);
  closeFd(input_);
}

bool run_xdgopen(const char* path) {
  if (!path) return false;
  // The opener runs as a grandchild that nobody waits for: the child in
  // between ends at once and is reaped here. A close-on-exec pipe reports
  // whether the exec worked: it closes empty on success and carries errno
  // otherwise.
  int report[2];
  if (!makePipe(report)) return false;
  pid_t middle = fork();
  if (middle == 0) {
    pid_t opener = fork();
    if (opener == 0) {
      setsid();
      restoreDefaultSignals();
      char* argv[] = {const_cast<char*>("xdg-open"), const_cast<char*>(path), nullptr};
      execvp(argv[0], argv);
      int error = errno;
      ssize_t ignored = write(report[1], &error, sizeof error);
      (void)ignored;
      _exit(127);
    }
    _exit(opener < 0 ? 1 : 0);
  }
  ::close(report[1]);
  bool started = false;
  int st = 0;
  if (middle > 0 && reap(middle, st)) {
    int error;
    ssize_t n;
    do n = read(report[0], &error, sizeof error);
    while (n < 0 && errno == EINTR);
    started = WIFEXITED(st) && WEXITSTATUS(st) == 0 && n == 0;
  }
  ::close(report[0]);
  return started;
}

bool execCmd(const char* command) {
  if (!command) return false;
  pid_t pid = fork();
  if (pid == 0) {
    restoreDefaultSignals();
    execl("/bin/sh", "sh", "-c", command, static_cast<char*>(nullptr));
    _exit(127);
  }
  int status;
  return pid > 0 && reap(pid, status) && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

bool shellOpen(const char* text) {
  if (!text || !*text) return false;
  if (cFolderContents::objtype(text) != fotNone) return run_xdgopen(text);
  const char* rest = text;
  if (*rest == '"') {
    rest = strchr(rest + 1, '"');
    if (!rest) return false;
    ++rest;
  } else {
    while (*rest && !__acp_isspace(*rest)) ++rest;
  }
  for (const char* c = rest; *c; ++c)
    if (__acp_isspace(*c)) return execCmd(text);
  return run_xdgopen(text);
}
