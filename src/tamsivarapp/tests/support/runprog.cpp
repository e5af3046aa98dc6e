#include "support/runprog.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <iterator>

namespace {

std::string slurp(int fd) {
  std::string all;
  char buf[4096];
  for (ssize_t n; (n = read(fd, buf, sizeof buf)) > 0;) all.append(buf, static_cast<size_t>(n));
  close(fd);
  return all;
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
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  std::vector<char*> envp;
  for (const std::string& e : env) envp.push_back(const_cast<char*>(e.c_str()));
  envp.push_back(nullptr);
  pid_t pid = fork();
  if (pid == 0) {
    dup2(outFd, 1);
    dup2(errFd, 2);
    int devnull = open("/dev/null", O_RDONLY);
    dup2(devnull, 0);
    if (!cwd.empty() && chdir(cwd.c_str()) != 0) _exit(126);
    // The program is looked up through the PATH it is given, not ours.
    for (const std::string& e : env)
      if (e.rfind("PATH=", 0) == 0) setenv("PATH", e.c_str() + 5, 1);
    if (env.empty())
      execvp(args[0], args.data());
    else
      execvpe(args[0], args.data(), envp.data());
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
