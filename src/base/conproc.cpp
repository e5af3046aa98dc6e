#include "base/conproc.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <new>
#include <string>
#include <utility>

#include "base/casemap.h"
#include "base/folder.h"
#include "base/job.h"
#include "base/plist.h"
#include "base/webaddress.h"

namespace {

constexpr int kTermWaitMs = 2000;
constexpr int kStepMs = 10;
// How long just_run gives a program to fail at once.
constexpr int kSettleMs = 10;

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

// What a started child writes to its output before the program runs.
constexpr char kPrompt[] = "CMD>";

// The command line's words, one after another in `text`, with `args`
// pointing at each and ending with a null; a double-quoted stretch keeps its
// blanks and \" stands for a quote. False for an unclosed quote or a line
// without a word.
bool splitCommandLine(const char* line, _typebuf<char>& text, _typebuf<char*>& args) {
  long long length = static_cast<long long>(strlen(line));
  // Every word takes at least one byte and a blank of the line, plus its
  // terminator.
  text.set(length + 1);
  args.set(length / 2 + 2);
  long long used = 0, words = 0;
  const char* at = line;
  for (;;) {
    while (__acp_isspace(*at)) ++at;
    if (!*at) break;
    args.ptr[words++] = text.ptr + used;
    bool quoted = false;
    for (; *at && (quoted || !__acp_isspace(*at)); ++at) {
      if (at[0] == '\\' && at[1] == '"') {
        text.ptr[used++] = '"';
        ++at;
      } else if (*at == '"') {
        quoted = !quoted;
      } else {
        text.ptr[used++] = *at;
      }
    }
    if (quoted) return false;
    text.ptr[used++] = 0;
  }
  args.ptr[words] = nullptr;
  return words > 0;
}

}  // namespace

std::string programPath(const char* name) {
  if (!name || !*name) return {};
  if (strchr(name, '/')) return name;
  std::string steps;
  if (const char* path = getenv("PATH")) {
    steps = path;
  } else {
    steps.resize(confstr(_CS_PATH, nullptr, 0));
    if (!steps.empty()) steps.resize(confstr(_CS_PATH, steps.data(), steps.size()) - 1);
  }
  for (size_t start = 0; start <= steps.size();) {
    size_t end = steps.find(':', start);
    if (end == std::string::npos) end = steps.size();
    const std::string candidate = (end > start ? steps.substr(start, end - start) : ".") + "/" + name;
    struct stat st;
    if (stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(candidate.c_str(), X_OK) == 0)
      return candidate;
    start = end + 1;
  }
  return {};
}

bool cConProcess::startProcess(const char* commandLine, bool) {
  close();
  status_ = 0;
  if (!commandLine) return false;
  _typebuf<char> text;
  _typebuf<char*> argv;
  std::string program;
  try {
    if (!splitCommandLine(commandLine, text, argv)) return false;
    program = programPath(argv.ptr[0]);
  } catch (const std::bad_alloc&) {
    return false;
  }
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
    // Straight to the descriptor: a buffered prompt would be lost with the
    // exec.
    ssize_t ignored = write(1, kPrompt, sizeof kPrompt - 1);
    (void)ignored;
    if (!program.empty()) execv(program.c_str(), argv.ptr);
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
  outputEnded_ = false;
  pid_ = pid;
  pidfd_ = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
  if (pidfd_ >= 0) fcntl(pidfd_, F_SETFD, FD_CLOEXEC);
  return true;
}

bool cConProcess::readOutput(_typebuf<unsigned char>& out) {
  if (output_ < 0) return false;
  unsigned char chunk[4096];
  ssize_t n;
  do n = read(output_, chunk, sizeof chunk);
  while (n < 0 && errno == EINTR);
  if (n == 0) outputEnded_ = true;
  if (n <= 0) return false;
  out.set(n);
  memcpy(out.ptr, chunk, static_cast<size_t>(n));
  return true;
}

void cConProcess::waitActivity(int timeoutMs) {
  pollfd watched[2];
  nfds_t count = 0;
  // An ended output would wake every poll at once.
  if (output_ >= 0 && !outputEnded_) watched[count++] = {output_, POLLIN, 0};
  if (pidfd_ >= 0 && pid_) watched[count++] = {pidfd_, POLLIN, 0};
  while (poll(watched, count, timeoutMs) < 0 && errno == EINTR) {
  }
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
  // A wait that fails (SIGCHLD ignored lets the kernel reap the child) says
  // nothing of how the child ended.
  status_ = r == pid_ ? st : -1;
  pid_ = 0;
  closeFd(pidfd_);
  return false;
}

bool cConProcess::terminate() {
  if (!isValid()) return true;
  if (kill(pid_, SIGTERM) != 0) return false;
  // Reaped here so that no zombie stays behind; a child that ignores the
  // request is killed after two seconds.
  pid_t pid = pid_;
  pid_ = 0;
  closeFd(pidfd_);
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
  closeFd(pidfd_);
  closeFd(output_);
  closeFd(input_);
}

namespace {

void closeAllFrom3Except(int keep) {
  const unsigned int kept = keep >= 3 ? static_cast<unsigned int>(keep) : 2u;
  if (kept > 3 && close_range(3, kept - 1, 0) != 0)
    for (unsigned int fd = 3; fd < kept; ++fd) ::close(static_cast<int>(fd));
  if (close_range(kept + 1, ~0U, 0) != 0)
    for (int fd = static_cast<int>(kept) + 1; fd < 1024; ++fd) ::close(fd);
}

// Tells the caller through the report pipe why nothing was started.
[[noreturn]] void reportAndExit(int error, int report) {
  ssize_t ignored = write(report, &error, sizeof error);
  (void)ignored;
  _exit(127);
}

// The child's last act: the program at `path` (empty: none was found), or
// its errno on the close-on-exec report pipe when it cannot be started.
[[noreturn]] void execReporting(const std::string& path, char* const argv[], int report) {
  restoreDefaultSignals();
  if (!path.empty()) execv(path.c_str(), argv);
  reportAndExit(path.empty() ? ENOENT : errno, report);
}

// Starts argv as a grandchild that nobody waits for: the child in between
// ends once the grandchild has lived `settleMs` milliseconds (or at once) and
// is reaped here. A close-on-exec pipe reports whether the exec worked: it
// closes empty on success and carries errno otherwise. 0 when the program
// started and had not ended with a failure by then; else the errno of its
// exec (or of the fork before it), or -1 when it ended with a failure. With `removeAfter` (an
// argument vector that removes the folder `held`) a watcher stands between
// them: it holds a shared lock on that folder, waits for the program and
// then runs removeAfter; a program that did not start leaves the folder to
// the caller.
int startDetached(char* const argv[], int settleMs = 0, char* const removeAfter[] = nullptr,
                  const char* held = nullptr) {
  const std::string programAt = programPath(argv[0]);
  const std::string removerAt = removeAfter ? programPath(removeAfter[0]) : "";
  int report[2];
  if (!makePipe(report)) return errno;
  pid_t middle = fork();
  if (middle == 0 && removeAfter) {
    // Only async-signal-safe calls from here on, as in startProcess.
    const pid_t watcher = fork();
    if (watcher != 0) _exit(watcher < 0 ? 1 : 0);
    setsid();
    // Taken before the caller learns the outcome, so that the folder is
    // never without a holder while the program runs.
    const int hold = held ? open(held, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC) : -1;
    if (hold >= 0) flock(hold, LOCK_SH);
    // The exec reports here first: a program that never started leaves its
    // folder to the caller, which removes it at once. Both at work on one
    // folder, each would trip on what the other took.
    int ran[2];
    if (!makePipe(ran)) reportAndExit(errno, report[1]);
    const pid_t program = fork();
    if (program == 0) {
      // The program holds the lock too: a watcher killed before it (ended
      // by name with a hung manager) must not leave its folder to a
      // cleaner while it still runs from there.
      if (hold >= 0) fcntl(hold, F_SETFD, 0);
      execReporting(programAt, argv, ran[1]);
    }
    // Nothing else would tell the caller, which would take the program for
    // started.
    if (program < 0) reportAndExit(errno, report[1]);
    ::close(ran[1]);
    int error = 0;
    ssize_t n;
    do n = read(ran[0], &error, sizeof error);
    while (n < 0 && errno == EINTR);
    if (n == static_cast<ssize_t>(sizeof error)) reportAndExit(error, report[1]);
    // The watcher outlives its parent: holding the parent's descriptors (its
    // display connection among them) would keep them open until the program
    // ends, and the parent's windows on screen with them.
    closeAllFrom3Except(hold);
    int st;
    while (waitpid(program, &st, 0) < 0 && errno == EINTR) {
    }
    if (!removerAt.empty()) execv(removerAt.c_str(), removeAfter);
    _exit(127);
  }
  if (middle == 0) {
    pid_t program = fork();
    if (program == 0) {
      setsid();
      execReporting(programAt, argv, report[1]);
    }
    if (program < 0) reportAndExit(errno, report[1]);
    if (settleMs > 0) {
      timespec pause = {0, settleMs * 1000000L};
      while (nanosleep(&pause, &pause) != 0 && errno == EINTR) {
      }
      int st;
      if (waitpid(program, &st, WNOHANG) == program && st != 0) _exit(1);
    }
    _exit(0);
  }
  const int forkError = errno;
  ::close(report[1]);
  int outcome = middle < 0 ? forkError : -1;
  int st = 0;
  if (middle > 0 && reap(middle, st)) {
    int error = 0;
    ssize_t n;
    do n = read(report[0], &error, sizeof error);
    while (n < 0 && errno == EINTR);
    if (n == static_cast<ssize_t>(sizeof error) && error > 0)
      outcome = error;
    else if (n == 0 && WIFEXITED(st) && WEXITSTATUS(st) == 0)
      outcome = 0;
  }
  ::close(report[0]);
  return outcome;
}

bool openWith(const char* opener, const char* path) {
  if (!path) return false;
  char* argv[] = {const_cast<char*>(opener), const_cast<char*>(path), nullptr};
  return startDetached(argv) == 0;
}

}  // namespace

bool run_xdgopen(const char* path) { return openWith("xdg-open", path); }

bool run_gnomeopen(const char* path) { return openWith("gnome-open", path); }

bool run_kfmclient(const char* path) {
  if (!path) return false;
  char* argv[] = {const_cast<char*>("kfmclient"), const_cast<char*>("exec"), const_cast<char*>(path),
                  nullptr};
  return startDetached(argv) == 0;
}

int get_xsession_type() {
  static const int type = [] {
    const char* session = getenv("DESKTOP_SESSION");
    if (session && strcmp(session, "kde") == 0) return 1;
    if (session && strcmp(session, "gnome") == 0) return 2;
    return 3;
  }();
  return type;
}

bool waitfor(int pid) {
  int status;
  return pid > 0 && reap(pid, status) && status == 0;
}

bool just_run(const char* file) {
  if (!file || !*file) return false;
  char* argv[] = {const_cast<char*>(file), nullptr};
  return startDetached(argv, kSettleMs) == 0;
}

bool just_run_removing(const char* file, const char* leftover) {
  if (!file || !*file || !leftover || *leftover != '/') return false;
  char* argv[] = {const_cast<char*>(file), nullptr};
  char* remove[] = {const_cast<char*>("rm"), const_cast<char*>("-rf"), const_cast<char*>("--"),
                    const_cast<char*>(leftover), nullptr};
  return startDetached(argv, 0, remove, leftover) == 0;
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

namespace {

// 0 when the desktop's opener took `path`, else why it did not start.
int openOutcome(const char* path, std::string& program) {
  program = kDesktopOpener;
  char* argv[] = {const_cast<char*>(kDesktopOpener), const_cast<char*>(path), nullptr};
  return startDetached(argv);
}

// The interpreter a script's "#!" line names; empty for a file without one
// or that cannot be read.
std::string interpreterOf(const char* path) {
  const int fd = ::open(path, O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) return {};
  // As much as the system itself reads of the line.
  char head[256];
  ssize_t n;
  do n = read(fd, head, sizeof head);
  while (n < 0 && errno == EINTR);
  ::close(fd);
  if (n < 2 || head[0] != '#' || head[1] != '!') return {};
  const char* at = head + 2;
  const char* end = head + n;
  while (at < end && (*at == ' ' || *at == '\t')) ++at;
  const char* stop = at;
  while (stop < end && *stop != ' ' && *stop != '\t' && *stop != '\n' && *stop) ++stop;
  return std::string(at, stop);
}

// The kernel looks for an interpreter whose path does not begin with "/"
// from wherever this process runs, and so would the interpreter's own
// "#!" line; a folder or any other file that is not a regular one is no
// program, whatever its modes let. The script whose line names such an
// interpreter is refused before anything runs, `script` naming it and
// `program` the interpreter. The kernel follows no more than this many
// scripts in a row.
constexpr int kScriptDepth = 5;
int checkInterpreters(const char* path, std::string& program, std::string& script) {
  std::string file = path;
  for (int depth = 0; depth < kScriptDepth; ++depth) {
    std::string interpreter = interpreterOf(file.c_str());
    if (interpreter.empty()) return 0;
    struct stat st;
    const bool relative = interpreter[0] != '/';
    if (relative || (stat(interpreter.c_str(), &st) == 0 && !S_ISREG(st.st_mode))) {
      program = std::move(interpreter);
      script = std::move(file);
      return relative ? kInterpreterNotAbsolute : kInterpreterNotAProgram;
    }
    file = std::move(interpreter);
  }
  return 0;
}

// The first interpreter on the chain of "#!" lines from `path`, a script
// the system may run, that it may not run, with the script whose line names
// it: the kernel refuses the chain at that link. False when each may run.
bool refusedInterpreter(const char* path, std::string& interpreter, std::string& script) {
  std::string file = path;
  for (int depth = 0; depth < kScriptDepth; ++depth) {
    std::string next = interpreterOf(file.c_str());
    if (next.empty()) return false;
    if (access(next.c_str(), X_OK) != 0) {
      interpreter = std::move(next);
      script = std::move(file);
      return true;
    }
    file = std::move(next);
  }
  return false;
}

// Runs argv[0] as it stands. When the exec fails for a file that is there,
// the file is not what is missing or refused: the interpreter its "#!" line
// names is, and `program` names that; a binary whose loader is missing is
// no program this system can run. The kernel refuses a script it may not
// run before it reads the line, so only a refusal of a script it may run
// is its interpreter's.
int runAsGiven(char* argv[], std::string& program, std::string& script) {
  program = argv[0];
  if (const int refused = checkInterpreters(argv[0], program, script)) return refused;
  const int outcome = startDetached(argv);
  if (outcome != ENOENT && outcome != EACCES && outcome != ENOEXEC) return outcome;
  struct stat st;
  if (stat(argv[0], &st) != 0) return outcome;
  const std::string interpreter = interpreterOf(argv[0]);
  if (interpreter.empty()) return outcome == ENOENT ? ENOEXEC : outcome;
  if (stat(interpreter.c_str(), &st) != 0) {
    program = interpreter;
    return errno;
  }
  // A script the system would not start behind an interpreter that is
  // there: the interpreter is itself no program, or one it may not run.
  if (outcome == ENOEXEC) {
    program = interpreter;
    script = argv[0];
    return kInterpreterNotAProgram;
  }
  if (outcome == EACCES && access(argv[0], X_OK) == 0 && refusedInterpreter(argv[0], program, script))
    return kInterpreterNotAProgram;
  return outcome;
}

// A path opened or run as it stands, never split, with the command line's
// `arguments` (null when none): a file no one may run, and any folder but a
// bundle's, is a document for the opener. Every road to a program passes
// here, so that a path without its place is never taken from wherever this
// process happens to run.
int openOrRunPath(const char* path, const char* arguments, std::string& program, std::string& script) {
  // An address is the desktop's to open, never looked for as a file; the
  // opener takes it alone.
  if (isWebAddress(path)) {
    if (!arguments) return openOutcome(path, program);
    program = path;
    return E2BIG;
  }
  program = path;
  if (*path != '/') return kPathNotAbsolute;
  if (arguments) {
    _typebuf<char> words;
    _typebuf<char*> args;
    if (!splitCommandLine(arguments, words, args)) return EINVAL;
    _typebuf<char*> argv;
    long long count = 0;
    while (args.ptr[count]) ++count;
    argv.set(count + 2);
    argv.ptr[0] = const_cast<char*>(path);
    for (long long i = 0; i <= count; ++i) argv.ptr[i + 1] = args.ptr[i];
    return runAsGiven(argv.ptr, program, script);
  }
  struct stat st;
  if (stat(path, &st) != 0) return errno;
  if (S_ISDIR(st.st_mode)) {
    // A bundle folder starts its program, as a double click on it would.
    const size_t n = strlen(path);
    std::string inside;
    if (n > 4 && !strcmp(path + n - 4, ".app") && bundleExecutable(path, inside) &&
        cFolderContents::objtype(inside.c_str()) == fotFile) {
      char* argv[] = {inside.data(), nullptr};
      return runAsGiven(argv, program, script);
    }
    return openOutcome(path, program);
  }
  if (!S_ISREG(st.st_mode) || !(st.st_mode & 0111)) return openOutcome(path, program);
  char* argv[] = {const_cast<char*>(path), nullptr};
  return runAsGiven(argv, program, script);
}

// Reads the quoted path that opens `at`, as runCommandLine quotes it, and
// leaves `at` after its closing quote; false when the quote is not closed.
bool readQuotedPath(const char*& at, std::string& path) {
  for (++at; *at && *at != '"'; ++at) {
    if (*at == '\\' && (at[1] == '"' || at[1] == '\\')) ++at;
    path += *at;
  }
  if (!*at) return false;
  ++at;
  return true;
}

// Only the exec's own outcome tells whether a program runs: a text without
// "#!" (ENOEXEC), a file that is gone (ENOENT) or one the system does not
// let run (EACCES) is told, never handed to a shell. `program` receives the
// program whose exec that outcome is, the opener's for what goes to it.
int openOrRun(const char* text, std::string& program, std::string& script) {
  try {
    if (*text != '"') return openOrRunPath(text, nullptr, program, script);
    std::string path;
    const char* rest = text;
    if (!readQuotedPath(rest, path) || (*rest && !__acp_isspace(*rest))) {
      program = text;
      return EINVAL;
    }
    while (__acp_isspace(*rest)) ++rest;
    // Without arguments the line is the path alone.
    return openOrRunPath(path.c_str(), *rest ? rest : nullptr, program, script);
  } catch (const std::bad_alloc&) {
    program = text;
    return ENOMEM;
  }
}

}  // namespace

bool shellOpen(const char* text, int* error, std::string* program, std::string* script) {
  std::string started, named;
  const int outcome = text && *text ? openOrRun(text, started, named) : EINVAL;
  if (error) *error = outcome;
  if (program) *program = std::move(started);
  if (script) *script = std::move(named);
  return outcome == 0;
}

std::string runCommandLine(const char* path, const char* arguments) {
  const std::string given = path ? path : "";
  const bool alone = !arguments || !*arguments;
  // A path alone that began with a quote would be read as a quoted one.
  if (alone && given[0] != '"') return given;
  std::string line = "\"";
  for (const char c : given) {
    if (c == '"' || c == '\\') line += '\\';
    line += c;
  }
  line += '"';
  if (!alone) line.append(" ").append(arguments);
  return line;
}
