#include "netio/tcpclient.h"

#include <fcntl.h>
#include <netdb.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstring>

#include "netio/pollwait.h"

namespace {

bool setBlocking(int fd, bool blocking) {
  int flags = ::fcntl(fd, F_GETFL);
  if (flags < 0) return false;
  flags = blocking ? flags & ~O_NONBLOCK : flags | O_NONBLOCK;
  return ::fcntl(fd, F_SETFL, flags) == 0;
}

// Exactly four dot-separated decimal numbers of at most three digits, none
// above 255, and nothing else: a sign, a blank or a trailing letter makes the
// text a name for the resolver.
bool parseDotted(const char* text, unsigned char (&ip)[4]) {
  const char* p = text;
  for (int part = 0; part < 4; ++part) {
    if (part > 0 && *p++ != '.') return false;
    int value = 0;
    int digits = 0;
    while (*p >= '0' && *p <= '9' && digits < 4) {
      value = value * 10 + (*p++ - '0');
      ++digits;
    }
    if (digits == 0 || digits > 3 || value > 255) return false;
    ip[part] = static_cast<unsigned char>(value);
  }
  return *p == 0;
}

}  // namespace

bool strToIPv4(const char* text, unsigned char (&ip)[4]) {
  if (!text || !*text) return false;
  if (parseDotted(text, ip)) return true;
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  if (::getaddrinfo(text, nullptr, &hints, &found) != 0 || !found) return false;
  bool ok = false;
  for (addrinfo* a = found; a; a = a->ai_next) {
    if (a->ai_family == AF_INET && a->ai_addrlen >= sizeof(sockaddr_in)) {
      std::memcpy(ip, &reinterpret_cast<sockaddr_in*>(a->ai_addr)->sin_addr.s_addr, 4);
      ok = true;
      break;
    }
  }
  ::freeaddrinfo(found);
  return ok;
}

bool initSockLib() { return true; }

bool cTCPClient::connect(const char* host, int port, int timeout) {
  close();
  unsigned char ip[4];
  if (!strToIPv4(host, ip)) {
    lastErr = errNoPeer;
    return false;
  }
  return connect(ip, port, timeout);
}

bool cTCPClient::connect(unsigned char (&ip)[4], int port, int timeout) {
  close();
  std::memset(&peer, 0, sizeof(peer));
  peer.sin_family = AF_INET;
  peer.sin_port = htons(static_cast<unsigned short>(port));
  std::memcpy(&peer.sin_addr.s_addr, ip, 4);
  if (port <= 0 || port > 65535) {
    lastErr = errFailed;
    return false;
  }

  if (!create(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0))) {
    lastErr = errFailed;
    return false;
  }
  int on = 1;
  ::setsockopt(sock, IPPROTO_TCP, TCP_NODELAY, &on, sizeof(on));

  auto fail = [this](int code) {
    close();
    lastErr = code;
    return false;
  };
  if (!setBlocking(sock, false)) return fail(errFailed);
  if (::connect(sock, reinterpret_cast<sockaddr*>(&peer), sizeof(peer)) == 0)
    return setBlocking(sock, true) || fail(errFailed);
  if (errno != EINPROGRESS) return fail(errRefusedOrTimedOut);

  int ready = pollWait(sock, POLLOUT, boundedMs(timeout), stopFlag);
  if (ready == 0) return fail(errTimedOutConnect);
  if (ready < 0 || (ready & POLLNVAL)) return fail(errFailed);
  // A refused attempt also wakes the wait, as writable: only the socket's
  // own error tells whether the connection really stands.
  int soError = 0;
  socklen_t len = sizeof(soError);
  if (::getsockopt(sock, SOL_SOCKET, SO_ERROR, &soError, &len) != 0) return fail(errFailed);
  if (soError == ECONNREFUSED) return fail(errRefusedOrTimedOut);
  if (soError == ETIMEDOUT) return fail(errTimedOutConnect);
  if (soError != 0) return fail(errException);
  return setBlocking(sock, true) || fail(errFailed);
}
