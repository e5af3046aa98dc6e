// The peer of the chooser benchmarks: `ls -l` of a folder, run without a
// shell, its output thrown away.
#pragma once

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <chrono>
#include <string>

extern char** environ;

namespace bench {

// Milliseconds `ls -l` of the folder took; -1 when it failed.
inline double lsMs(const std::string& dir) {
  posix_spawn_file_actions_t io;
  posix_spawn_file_actions_init(&io);
  posix_spawn_file_actions_addopen(&io, 1, "/dev/null", O_WRONLY, 0);
  std::string l = "-l";
  char* argv[] = {const_cast<char*>("ls"), l.data(), const_cast<char*>(dir.c_str()), nullptr};
  const auto start = std::chrono::steady_clock::now();
  pid_t pid = 0;
  const int spawned = posix_spawnp(&pid, "ls", &io, nullptr, argv, environ);
  posix_spawn_file_actions_destroy(&io);
  int status = 0;
  if (spawned != 0 || waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
    return -1;
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace bench
