// Runs a server program on loopback for one test: started without a shell,
// its port read from the first "port N" in its output, stopped by its own
// process id when the test ends.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

extern char** environ;

class SpawnedServer {
 public:
  explicit SpawnedServer(std::vector<std::string> args) {
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    if (posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    // The read end stays open while the program runs: it may still be
    // writing the rest of the line, and a closed pipe would end it.
    output = out[0];
    readPort();
  }
  SpawnedServer(const SpawnedServer&) = delete;
  SpawnedServer& operator=(const SpawnedServer&) = delete;
  ~SpawnedServer() {
    if (pid > 0) {
      ::kill(pid, SIGTERM);
      ::waitpid(pid, nullptr, 0);
    }
    ::close(output);
  }

  int port() const { return portNumber; }

 private:
  void readPort() {
    const std::string marker = "port ";
    std::string seen;
    char buf[256];
    // The wait ends when the program says where it listens; the bound only
    // catches one that hangs, and a loaded machine may take seconds to
    // start an interpreter.
    while (portNumber == 0) {
      pollfd p{output, POLLIN, 0};
      if (::poll(&p, 1, 120000) != 1) return;
      ssize_t n = ::read(output, buf, sizeof(buf));
      if (n <= 0) return;
      seen.append(buf, static_cast<size_t>(n));
      size_t at = seen.find(marker);
      if (at == std::string::npos) continue;
      size_t end = at + marker.size();
      while (end < seen.size() && seen[end] >= '0' && seen[end] <= '9') ++end;
      if (end < seen.size()) portNumber = std::atoi(seen.c_str() + at + marker.size());
    }
  }

  pid_t pid = -1;
  int output = -1;
  int portNumber = 0;
};
