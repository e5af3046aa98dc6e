// A listener on 127.0.0.1 that plays one scripted peer on its own thread.
// Every wait of the peer is bounded, so a faulty client cannot hang a test.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <functional>
#include <thread>

class LoopbackPeer {
 public:
  explicit LoopbackPeer(int backlog = 4) {
    listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof(a);
    if (::bind(listener, reinterpret_cast<sockaddr*>(&a), len) == 0 && ::listen(listener, backlog) == 0 &&
        ::getsockname(listener, reinterpret_cast<sockaddr*>(&a), &len) == 0)
      portNumber = ntohs(a.sin_port);
  }
  LoopbackPeer(const LoopbackPeer&) = delete;
  LoopbackPeer& operator=(const LoopbackPeer&) = delete;
  ~LoopbackPeer() {
    join();
    ::close(listener);
  }

  // Waits until the script has ended and the connection is closed.
  void join() {
    if (worker.joinable()) worker.join();
  }

  int port() const { return portNumber; }

  // Accepts one connection (waiting at most 5 s) and runs the script on it.
  void serve(std::function<void(int)> script) {
    worker = std::thread([this, script] {
      pollfd p{listener, POLLIN, 0};
      if (::poll(&p, 1, 5000) != 1) return;
      int fd = ::accept(listener, nullptr, nullptr);
      if (fd < 0) return;
      script(fd);
      ::close(fd);
    });
  }

 private:
  int listener = -1;
  int portNumber = 0;
  std::thread worker;
};

// Waits at most `ms` for the client to close its side; true when it did.
inline bool peerSeesEnd(int fd, int ms) {
  char scratch[4096];
  for (;;) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, ms) != 1) return false;
    ssize_t n = ::recv(fd, scratch, sizeof(scratch), 0);
    if (n <= 0) return n == 0;
  }
}
