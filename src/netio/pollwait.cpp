#include "netio/pollwait.h"

#include <poll.h>

#include <cerrno>
#include <chrono>

int pollWait(int fd, short events, int timeoutMs, const std::atomic<bool>* stop) {
  using clock = std::chrono::steady_clock;
  if (timeoutMs < 0) timeoutMs = 0;
  const auto deadline = clock::now() + std::chrono::milliseconds(timeoutMs);
  int left = timeoutMs;
  for (;;) {
    if (stop && stop->load()) return -1;
    pollfd p{fd, events, 0};
    int rc = ::poll(&p, 1, stop && left > kStopCheckMs ? kStopCheckMs : left);
    if (rc > 0) return p.revents;
    if (rc < 0 && errno != EINTR) return -1;
    // A signal or a stop check cut the wait short: wait only for what is
    // left of it.
    auto rest = std::chrono::ceil<std::chrono::milliseconds>(deadline - clock::now()).count();
    if (rest <= 0) return 0;
    left = static_cast<int>(rest);
  }
}
