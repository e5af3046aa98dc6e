// Runs a tool of the system directly (no shell) and collects what it prints.
#pragma once

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

extern char** environ;

// Answers the exit status, or -1 when the program could not be started.
inline int runProgram(const std::vector<std::string>& args, std::string* output = nullptr) {
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  int pipeFds[2];
  if (pipe(pipeFds) != 0) return -1;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 1);
  posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
  pid_t pid;
  int rc = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(pipeFds[1]);
  std::string collected;
  char chunk[4096];
  for (ssize_t n; (n = read(pipeFds[0], chunk, sizeof chunk)) > 0;)
    collected.append(chunk, static_cast<size_t>(n));
  close(pipeFds[0]);
  if (rc != 0) return -1;
  int status = 0;
  waitpid(pid, &status, 0);
  if (output) *output = collected;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}
