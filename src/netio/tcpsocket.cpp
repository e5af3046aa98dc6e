#include "netio/tcpsocket.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstring>

#include "netio/pollwait.h"

namespace {

timeval msToTimeval(int ms) {
  if (ms < 0) ms = 0;
  return timeval{ms / 1000, (ms % 1000) * 1000};
}

}  // namespace

int timevalToMs(const timeval& tv) {
  if (tv.tv_sec < 0 || tv.tv_usec < 0) return 0;
  long long ms = static_cast<long long>(tv.tv_sec) * 1000 + (tv.tv_usec + 999) / 1000;
  return ms > INT_MAX ? INT_MAX : static_cast<int>(ms);
}

cTCPSocket::cTCPSocket() : sock(-1), readTimeout{20, 0}, writeTimeout{20, 0}, lastErr(errNone) {
  std::memset(&peer, 0, sizeof(peer));
}

cTCPSocket::~cTCPSocket() { close(); }

bool cTCPSocket::create(int descriptor) {
  close();
  sock = descriptor;
  return sock != -1;
}

void cTCPSocket::close() {
  if (sock == -1) return;
  // The drain's receives would otherwise overwrite the error of the
  // operation that made the caller close.
  int keep = lastErr;
  ::shutdown(sock, SHUT_WR);
  using clock = std::chrono::steady_clock;
  const auto deadline = clock::now() + std::chrono::milliseconds(kDrainTotalMs);
  unsigned char scratch[1024];
  long long drained = 0;
  timeval pass = msToTimeval(kDrainPassMs);
  while (drained < kDrainMaxBytes && clock::now() < deadline) {
    int n = receive(scratch, sizeof(scratch), &pass);
    if (n <= 0) break;
    drained += n;
  }
  ::close(sock);
  sock = -1;
  lastErr = keep;
}

void cTCPSocket::setReadTO(int ms) { readTimeout = msToTimeval(ms); }

void cTCPSocket::setWriteTO(int ms) { writeTimeout = msToTimeval(ms); }

void cTCPSocket::setDeadline(int ms) {
  hasDeadline = ms >= 0;
  deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms < 0 ? 0 : ms);
}

int cTCPSocket::boundedMs(int ms) const {
  if (!hasDeadline) return ms;
  auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
  if (left <= 0) return 0;
  return left < ms ? static_cast<int>(left) : ms;
}

bool cTCPSocket::canTransfer(int length) {
  if (sock == -1) {
    lastErr = errNoPeer;
    return false;
  }
  if (length <= 0) {
    lastErr = errNone;
    return false;
  }
  return true;
}

int cTCPSocket::receive(void* buffer, int length, timeval* timeout) {
  if (!canTransfer(length)) return 0;
  const int wait = timevalToMs(timeout ? *timeout : readTimeout);
  // Past the deadline even bytes already waiting are not taken: a peer
  // that drips them would otherwise be read for ever.
  if (boundedMs(wait) == 0 && wait > 0) {
    lastErr = errRefusedOrTimedOut;
    return 0;
  }
  int ready = pollWait(sock, POLLIN | POLLPRI, boundedMs(wait), stopFlag);
  if (ready < 0 || (ready & POLLNVAL)) {
    lastErr = errFailed;
    return 0;
  }
  if (ready == 0) {
    lastErr = errRefusedOrTimedOut;
    return 0;
  }
  if (ready & POLLPRI) {
    lastErr = errException;
    return 0;
  }
  ssize_t n;
  do n = ::recv(sock, buffer, static_cast<size_t>(length), 0);
  while (n < 0 && errno == EINTR);
  if (n > 0) {
    lastErr = errNone;
    return static_cast<int>(n);
  }
  lastErr = n == 0 ? errNoPeer : errFailed;
  return 0;
}

int cTCPSocket::read(void* buffer, int length) {
  if (length <= 0) return 0;
  auto* out = static_cast<unsigned char*>(buffer);
  int total = 0;
  while (total < length) {
    int ask = length - total < 1024 ? length - total : 1024;
    int n = receive(out + total, ask, nullptr);
    if (n <= 0) break;
    total += n;
  }
  return total;
}

bool cTCPSocket::readf(void* buffer, int length) { return read(buffer, length) == length; }

int cTCPSocket::send(const void* buffer, int length) {
  if (!canTransfer(length)) return 0;
  // Without waiting inside the system, each piece goes only where there is
  // room, and the whole transfer stays within one write time-out.
  using clock = std::chrono::steady_clock;
  const auto until = clock::now() + std::chrono::milliseconds(boundedMs(timevalToMs(writeTimeout)));
  const auto* in = static_cast<const unsigned char*>(buffer);
  int total = 0;
  int err = errNone;
  while (total < length) {
    ssize_t n = ::send(sock, in + total, static_cast<size_t>(length - total), MSG_DONTWAIT | MSG_NOSIGNAL);
    if (n > 0) {
      total += static_cast<int>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK)) {
      err = errFailed;
      break;
    }
    auto left = std::chrono::ceil<std::chrono::milliseconds>(until - clock::now()).count();
    int ready = left > 0 ? pollWait(sock, POLLOUT, static_cast<int>(left), stopFlag) : 0;
    if (ready == 0) {
      err = errRefusedOrTimedOut;
      break;
    }
    if (ready < 0 || (ready & (POLLERR | POLLNVAL))) {
      err = errFailed;
      break;
    }
  }
  // Bytes the system took count as sent even when the rest failed.
  lastErr = total > 0 ? errNone : err;
  return total;
}

bool cTCPSocket::writef(const void* buffer, int length) { return send(buffer, length) == length; }

bool cTCPSocket::sendSource(cXCSourceStream* source, long long& total) {
  total = 0;
  if (!source) return false;
  for (;;) {
    unsigned int length = 0;
    const void* chunk = source->next(length);
    if (!chunk || length == 0) return true;
    // A chunk beyond what one send can carry counts as a short send.
    if (length > INT_MAX) return false;
    int sent = send(chunk, static_cast<int>(length));
    total += sent;
    if (sent != static_cast<int>(length)) return false;
  }
}

long long cTCPSocket::write(cXCSourceStream* source) {
  long long total;
  sendSource(source, total);
  return total;
}

bool cTCPSocket::writef(cXCSourceStream* source) {
  long long total;
  return sendSource(source, total);
}

bool cTCPSocket::ipv4fromsock(unsigned char (&ip)[4]) {
  if (sock == -1) {
    lastErr = errNoPeer;
    return false;
  }
  sockaddr_in addr{};
  socklen_t len = sizeof(addr);
  if (::getpeername(sock, reinterpret_cast<sockaddr*>(&addr), &len) != 0 || addr.sin_family != AF_INET) {
    lastErr = errFailed;
    return false;
  }
  std::memcpy(ip, &addr.sin_addr.s_addr, 4);
  return true;
}
