#include "netio/tcpclient.h"

#include <fcntl.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstring>

#include "netio/hostlookup.h"
#include "netio/pollwait.h"

namespace {

bool setBlocking(int fd, bool blocking) {
  int flags = ::fcntl(fd, F_GETFL);
  if (flags < 0) return false;
  flags = blocking ? flags & ~O_NONBLOCK : flags | O_NONBLOCK;
  return ::fcntl(fd, F_SETFL, flags) == 0;
}

}  // namespace

bool initSockLib() { return true; }

bool cTCPClient::connect(const char* host, int port, int timeout) {
  close();
  unsigned char ip[4];
  // The lookup is one more wait, bounded like the others.
  switch (strToIPv4(host, ip, boundedMs(timeout), stopFlag)) {
    case eHostLookup::found:
      return connect(ip, port, timeout);
    case eHostLookup::timedOut:
      lastErr = errTimedOutConnect;
      return false;
    case eHostLookup::stopped:
      lastErr = errFailed;
      return false;
    case eHostLookup::unknown:
      break;
  }
  lastErr = errNoPeer;
  return false;
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
