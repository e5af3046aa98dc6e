#include "support/runprog.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <iterator>

extern char** environ;

namespace {

std::string slurp(int fd) {
  std::string all;
  char buf[4096];
  for (ssize_t n; (n = read(fd, buf, sizeof buf)) > 0;) all.append(buf, static_cast<size_t>(n));
  close(fd);
  return all;
}

// Where execvp would look for the program, in its order: the name itself
// when it holds a "/", else each folder of the PATH it is given (ours when
// it is given none), an empty entry being the working folder. Worked out
// before the fork: the child of a threaded process may not take locks, and
// getenv's or the allocator's would.
std::vector<std::string> programFiles(const std::string& name, const std::vector<std::string>& env) {
  if (name.find('/') != std::string::npos) return {name};
  const char* ours = getenv("PATH");
  std::string path = ours ? ours : "/usr/bin:/bin";
  for (const std::string& e : env)
    if (e.rfind("PATH=", 0) == 0) path = e.substr(5);
  std::vector<std::string> files;
  for (size_t at = 0; at <= path.size();) {
    size_t end = path.find(':', at);
    if (end == std::string::npos) end = path.size();
    std::string dir = path.substr(at, end - at);
    files.push_back((dir.empty() ? std::string(".") : dir) + "/" + name);
    at = end + 1;
  }
  return files;
}

}  // namespace

sRunResult runWithEnv(const std::vector<std::string>& argv, const std::vector<std::string>& env,
                      const std::string& cwd) {
  sRunResult r;
  char outName[] = "/tmp/zvk-run-out-XXXXXX";
  char errName[] = "/tmp/zvk-run-err-XXXXXX";
  int outFd = mkstemp(outName);
  int errFd = mkstemp(errName);
  unlink(outName);
  unlink(errName);
  const std::vector<std::string> files = programFiles(argv.at(0), env);
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  // A file the system cannot start by itself (a script without "#!") goes
  // to the shell, as execvp does; its slot for the file is filled in the child.
  std::vector<char*> shellArgs = {const_cast<char*>("sh"), nullptr};
  shellArgs.insert(shellArgs.end(), args.begin() + 1, args.end());
  std::vector<char*> envp;
  for (const std::string& e : env) envp.push_back(const_cast<char*>(e.c_str()));
  envp.push_back(nullptr);
  char* const* environment = env.empty() ? environ : envp.data();
  pid_t pid = fork();
  if (pid == 0) {
    dup2(outFd, 1);
    dup2(errFd, 2);
    int devnull = open("/dev/null", O_RDONLY);
    dup2(devnull, 0);
    if (!cwd.empty() && chdir(cwd.c_str()) != 0) _exit(126);
    // Only execve and _exit from here on. A folder, or a file that is not
    // executable, fails with EACCES and the search goes on, as in execvp.
    for (const std::string& file : files) {
      execve(file.c_str(), args.data(), environment);
      if (errno == ENOEXEC) {
        shellArgs[1] = const_cast<char*>(file.c_str());
        execve("/bin/sh", shellArgs.data(), environment);
      }
    }
    _exit(127);
  }
  int ws = 0;
  waitpid(pid, &ws, 0);
  r.status = WIFEXITED(ws) ? WEXITSTATUS(ws) : -1;
  lseek(outFd, 0, SEEK_SET);
  lseek(errFd, 0, SEEK_SET);
  r.out = slurp(outFd);
  r.err = slurp(errFd);
  return r;
}

std::string readFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}
