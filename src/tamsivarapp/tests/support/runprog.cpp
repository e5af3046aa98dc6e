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

// The program's file, looked up through the PATH it is given (ours when it
// is given none) before the fork: the child of a threaded process may not
// take locks, and setenv would.
std::string programFile(const std::string& name, const std::vector<std::string>& env) {
  if (name.find('/') != std::string::npos) return name;
  const char* ours = getenv("PATH");
  std::string path = ours ? ours : "/usr/bin:/bin";
  for (const std::string& e : env)
    if (e.rfind("PATH=", 0) == 0) path = e.substr(5);
  for (size_t at = 0; at <= path.size();) {
    size_t end = path.find(':', at);
    if (end == std::string::npos) end = path.size();
    std::string dir = path.substr(at, end - at);
    std::string file = (dir.empty() ? std::string(".") : dir) + "/" + name;
    if (access(file.c_str(), X_OK) == 0) return file;
    at = end + 1;
  }
  return name;
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
  const std::string program = programFile(argv.at(0), env);
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
    if (env.empty())
      execv(program.c_str(), args.data());
    else
      execve(program.c_str(), args.data(), envp.data());
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
