// Other programs the system starts: a child on pipes (the uninstallers of
// deprecated packages), and the desktop's opener for documents, folders and
// addresses.
#pragma once

#include <sys/types.h>

#include <string>

#include "base/buffers.h"

// Where `name` runs from: itself when it holds a "/", else the first
// executable regular file of that name in a PATH folder (an empty step is
// the working folder; without PATH the system's default folders); empty
// when none is found. Every program here starts from such a path: the C
// library's own search hands a file the kernel refuses to execute (a text
// without "#!") to the shell, and nothing that comes from a package or an
// archive may be read by one.
std::string programPath(const char* name);

// A child whose standard input and combined standard output and error run
// through pipes. Its owner polls isValid() until it answers false and then
// reads status().
class cConProcess {
 public:
  cConProcess() = default;
  cConProcess(const cConProcess&) = delete;
  cConProcess& operator=(const cConProcess&) = delete;
  virtual ~cConProcess() { close(); }

  // Runs a command line without a shell: the first word (a double-quoted
  // path may hold blanks) is the program, found by programPath; the
  // other words are its arguments, split at blanks, double quotes grouping
  // and \" standing for a quote. The child writes "CMD>" to its output
  // first. False, with nothing started, for a line that cannot be split (an
  // unclosed quote). A program that cannot be started ends its child with
  // status 127.
  bool startProcess(const char* commandLine, bool unused = false);
  // One read of at most 4096 bytes, never waiting; false when nothing came.
  bool readOutput(_typebuf<unsigned char>& out);
  // Sleeps until the child writes, closes its output or ends, or until
  // `timeoutMs` milliseconds have passed, whichever comes first.
  void waitActivity(int timeoutMs);
  // True when all `length` bytes went into the pipe.
  bool writeInput(const void* data, long long length);
  // True while the child runs; once it has ended, stores its wait status,
  // or -1 when the status could not be had (children reaped behind our
  // back), which no caller may take for success.
  bool isValid();
  // Sends SIGTERM and reaps the child; its status is not stored.
  bool terminate();
  bool simCtrlC();
  void close();
  // The child's wait status once isValid() saw it end (0: exit code 0).
  int status() const { return status_; }

 private:
  int output_ = -1;
  int input_ = -1;
  // Readable once the child has ended; -1 on kernels without it.
  int pidfd_ = -1;
  bool outputEnded_ = false;
  pid_t pid_ = 0;
  int status_ = 0;
};

// The desktop's opener, which shows files, folders and addresses.
inline constexpr char kDesktopOpener[] = "xdg-open";
// shellOpen's answer for a path that does not begin with "/": no errno, as
// nothing was tried.
inline constexpr int kPathNotAbsolute = -2;
// shellOpen's answer for a script whose "#!" line names an interpreter that
// does not begin with "/": nothing runs.
inline constexpr int kInterpreterNotAbsolute = -3;
// shellOpen's answer for a script whose "#!" line names an interpreter that
// is there but is no program: a folder, or a file the system does not take
// for one or may not run.
inline constexpr int kInterpreterNotAProgram = -4;

// Hands a command line, as runCommandLine writes it, to the desktop. A web
// address alone (isWebAddress) goes to the opener as one argument; given
// arguments, which the opener cannot take, it fails with E2BIG. Any other
// path must begin with "/": one that does not would be found wherever the
// caller happens to run, so nothing runs or opens, `error` is
// kPathNotAbsolute and `program` the path. A path alone is one path
// whatever it holds, never split: a bundle folder
// ("x.app") starts the program its Info.plist names in Contents/MacOS, a
// file marked executable starts, any other existing path goes to the
// opener. A quoted path followed by arguments runs that program with the
// arguments split as startProcess splits them. Nothing runs through a
// shell. Every program starts detached and nothing waits for its end: true
// when its exec worked; else false, with `error` (when given) the errno of
// the exec that failed, ENOEXEC for a file that is neither a binary nor a
// script beginning with "#!", or EINVAL for a text that cannot be split;
// `program` (when given) receives what was at fault: the program, the
// interpreter a script's "#!" line names when that is what is missing or
// may not run, the address, or the opener (kDesktopOpener) for what it
// hands to the desktop. A script whose "#!" line (or its interpreter's, in
// turn) names an interpreter without its place, or one that is no regular
// file, is refused before anything runs: `error` is kInterpreterNotAbsolute
// or kInterpreterNotAProgram, `program` that interpreter and `script` (when
// given) the file whose line names it. kInterpreterNotAProgram also tells
// of an interpreter the system would not run as a program, or may not run
// at all, behind a script it may run.
// Only for commands written by a package's author. Text that comes from
// outside (an address from the update server, a link in a document, a file
// name the user picked) must go through run_xdgopen, which passes it as one
// argument.
bool shellOpen(const char* text, int* error = nullptr, std::string* program = nullptr,
               std::string* script = nullptr);
// The command line shellOpen reads back as `path` and `arguments`: the
// path alone when there are no arguments, else the path quoted (a quote or
// backslash in it after a backslash), a blank and the arguments.
std::string runCommandLine(const char* path, const char* arguments);

// The desktop's opener, started detached with `path` as its one argument:
// true when it could be started (false when it is not installed); it never
// waits for what it opens.
bool run_xdgopen(const char* path);
// The same with the openers of older desktops; kfmclient gets "exec" first.
bool run_gnomeopen(const char* path);
bool run_kfmclient(const char* path);
// From DESKTOP_SESSION, read once: 1 for "kde", 2 for "gnome", else 3.
int get_xsession_type();
// Waits for the child `pid` to end; true when its wait status is 0.
bool waitfor(int pid);
// Starts `file` detached with no arguments; true unless it could not be
// started or ended with a failure within its first 10 ms.
bool just_run(const char* file);
// Starts `file` detached with no arguments, and removes the folder
// `leftover` (an absolute path) with everything in it once the program has
// ended; true when the program started. Until then a shared lock (flock) on
// the folder, held by the watcher and by the program (which inherits it, as
// a descriptor open on the folder), tells whoever takes an exclusive one
// that it is still in use. When it answers false the folder is left to the
// caller, untouched.
bool just_run_removing(const char* file, const char* leftover);

// Runs `command` through the shell; true when its status is 0.
bool execCmd(const char* command);
