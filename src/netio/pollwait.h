// The one wait of the socket layer: poll, so any descriptor number works,
// with the time-out measured on the monotonic clock across interruptions.
#pragma once

#include <atomic>

// How soon a raised stop flag ends a wait.
inline constexpr int kStopCheckMs = 50;

// The events that ended the wait; 0 when the time-out ran out, -1 when the
// wait itself failed or `stop` was raised meanwhile.
int pollWait(int fd, short events, int timeoutMs, const std::atomic<bool>* stop = nullptr);
