#include "netio/pollwait.h"

#include <poll.h>

#include <cerrno>
#include <chrono>

int pollWait(int fd, short events, int timeoutMs) {
  using clock = std::chrono::steady_clock;
  if (timeoutMs < 0) timeoutMs = 0;
  const auto deadline = clock::now() + std::chrono::milliseconds(timeoutMs);
  int left = timeoutMs;
  for (;;) {
    pollfd p{fd, events, 0};
    int rc = ::poll(&p, 1, left);
    if (rc > 0) return p.revents;
    if (rc == 0) return 0;
    if (errno != EINTR) return -1;
    // A signal cut the wait short: wait only for what is left of it.
    auto rest = std::chrono::ceil<std::chrono::milliseconds>(deadline - clock::now()).count();
    if (rest <= 0) return 0;
    left = static_cast<int>(rest);
  }
}
