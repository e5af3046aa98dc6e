// Runs a piece of a test in a child process, for what must not touch the
// test itself (another user, a mount namespace), and hands back its text.
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <string>

// What `work` answered in the child; "" when the child could not be made.
// The child ends with _exit, so nothing of the test's own runs twice.
inline std::string textFromChild(const std::function<std::string()>& work) {
  int fds[2];
  if (pipe(fds) != 0) return "";
  pid_t child = fork();
  if (child == 0) {
    close(fds[0]);
    const std::string text = work();
    for (size_t at = 0; at < text.size();) {
      ssize_t n = write(fds[1], text.data() + at, text.size() - at);
      if (n <= 0) break;
      at += static_cast<size_t>(n);
    }
    _exit(0);
  }
  close(fds[1]);
  std::string text;
  char buf[4096];
  for (ssize_t n; child > 0 && (n = read(fds[0], buf, sizeof buf)) > 0;) text.append(buf, static_cast<size_t>(n));
  close(fds[0]);
  if (child > 0) waitpid(child, nullptr, 0);
  return text;
}
