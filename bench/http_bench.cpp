// Downloads 1 GiB from a loopback server of its own through cHttpTransport
// into a sink that keeps nothing, and the same with curl into /dev/null, in
// one run. Each side is measured three times, alternating; the best counts.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "nethttp/httptransport.h"

extern char** environ;

namespace {

constexpr unsigned long long kBodySize = 1ull << 30;
constexpr int kRounds = 3;

// Serves the same body to every connection until told to stop.
class BodyServer {
 public:
  BodyServer() {
    listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof(a);
    if (::bind(listener, reinterpret_cast<sockaddr*>(&a), len) != 0 || ::listen(listener, 4) != 0 ||
        ::getsockname(listener, reinterpret_cast<sockaddr*>(&a), &len) != 0)
      return;
    portNumber = ntohs(a.sin_port);
    worker = std::thread([this] { run(); });
  }
  ~BodyServer() {
    stop = true;
    if (worker.joinable()) worker.join();
    ::close(listener);
  }
  int port() const { return portNumber; }

 private:
  void run() {
    std::vector<char> chunk(1 << 20);
    for (size_t i = 0; i < chunk.size(); ++i) chunk[i] = static_cast<char>(i * 131);
    while (!stop) {
      pollfd p{listener, POLLIN, 0};
      if (::poll(&p, 1, 100) != 1) continue;
      int fd = ::accept(listener, nullptr, nullptr);
      if (fd < 0) continue;
      std::string request;
      char buf[4096];
      while (request.find("\r\n\r\n") == std::string::npos) {
        ssize_t n = ::recv(fd, buf, sizeof(buf), 0);
        if (n <= 0) break;
        request.append(buf, static_cast<size_t>(n));
      }
      char head[128];
      int headSize =
          std::snprintf(head, sizeof(head), "HTTP/1.1 200 OK\r\nContent-Length: %llu\r\n\r\n", kBodySize);
      bool ok = ::send(fd, head, static_cast<size_t>(headSize), MSG_NOSIGNAL) == headSize;
      for (unsigned long long sent = 0; ok && sent < kBodySize; sent += chunk.size())
        ok = ::send(fd, chunk.data(), chunk.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(chunk.size());
      ::close(fd);
    }
  }

  int listener = -1;
  int portNumber = 0;
  std::atomic<bool> stop{false};
  std::thread worker;
};

class NullSink : public cHttpResponse {
 public:
  bool onData(const unsigned char*, long long length, unsigned long long) override {
    received += static_cast<unsigned long long>(length);
    return true;
  }
  unsigned long long received = 0;
};

double seconds(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double viaTransport(const std::string& url) {
  auto start = std::chrono::steady_clock::now();
  cHttpTransport transport;
  cHttpRequest request(cHttpRequest::GET, url.c_str(), 1);
  NullSink sink;
  if (!transport.processRequest(request, sink) || sink.received != kBodySize) return -1;
  return seconds(start);
}

double viaCurl(const std::string& url) {
  std::vector<std::string> args = {"curl", "-s", "-f", "-o", "/dev/null", url};
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  auto start = std::chrono::steady_clock::now();
  pid_t pid;
  if (posix_spawnp(&pid, "curl", nullptr, nullptr, argv.data(), environ) != 0) return -1;
  int status = 0;
  ::waitpid(pid, &status, 0);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return -1;
  return seconds(start);
}

}  // namespace

int main() {
  initSockLib();
  BodyServer server;
  if (server.port() == 0) {
    std::fprintf(stderr, "no loopback listener\n");
    return 1;
  }
  std::string url = "http://127.0.0.1:" + std::to_string(server.port()) + "/body";
  double best[2] = {1e30, 1e30};
  for (int round = 0; round < kRounds; ++round) {
    double t[2] = {viaTransport(url), viaCurl(url)};
    for (int k = 0; k < 2; ++k) {
      if (t[k] < 0) {
        std::fprintf(stderr, "%s download failed\n", k == 0 ? "transport" : "curl");
        return 1;
      }
      if (t[k] < best[k]) best[k] = t[k];
    }
  }
  const double mib = static_cast<double>(kBodySize) / (1 << 20);
  std::printf("body_bytes: %llu\n", kBodySize);
  std::printf("http_seconds: %.3f\n", best[0]);
  std::printf("curl_seconds: %.3f\n", best[1]);
  std::printf("http_mib_per_s: %.1f\n", mib / best[0]);
  std::printf("curl_mib_per_s: %.1f\n", mib / best[1]);
  std::printf("ratio http/curl throughput: %.3f\n", best[1] / best[0]);
  return 0;
}
