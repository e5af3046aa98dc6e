#include "netio/hostlookup.h"

#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <system_error>
#include <thread>

#include "netio/pollwait.h"

namespace {

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

// Looks `text` up with the given family and flags; true with the first IPv4
// address of the answer.
bool firstIPv4(const char* text, int family, int flags, unsigned char (&ip)[4], int& rc) {
  addrinfo hints{};
  hints.ai_family = family;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = flags;
  addrinfo* found = nullptr;
  rc = ::getaddrinfo(text, nullptr, &hints, &found);
  if (rc != 0 || !found) return false;
  bool ok = false;
  for (addrinfo* a = found; a && !ok; a = a->ai_next) {
    if (a->ai_family == AF_INET && a->ai_addrlen >= sizeof(sockaddr_in)) {
      std::memcpy(ip, &reinterpret_cast<sockaddr_in*>(a->ai_addr)->sin_addr.s_addr, 4);
      ok = true;
    }
  }
  ::freeaddrinfo(found);
  return ok;
}

bool systemResolver(const char* name, unsigned char (&ip)[4]) {
  int rc;
  return firstIPv4(name, AF_INET, 0, ip, rc);
}

std::atomic<tIPv4Resolver> gResolver{systemResolver};

// The answer for a numeric address ("127.1", "::1" too), none for a name.
std::optional<eHostLookup> numericAnswer(const char* text, unsigned char (&ip)[4]) {
  if (parseDotted(text, ip)) return eHostLookup::found;
  int rc;
  if (firstIPv4(text, AF_UNSPEC, AI_NUMERICHOST, ip, rc)) return eHostLookup::found;
  // An address of another family has no IPv4 form.
  if (rc == 0) return eHostLookup::unknown;
  return std::nullopt;
}

// What the resolver's thread and the caller share. The caller may give up
// first; the thread then still owns this, so nothing it writes is freed
// under it, and the last of the two frees it.
struct sPendingLookup {
  std::mutex lock;
  std::condition_variable done;
  bool finished = false;
  bool found = false;
  unsigned char ip[4] = {};
};

}  // namespace

void setIPv4Resolver(tIPv4Resolver resolver) { gResolver = resolver ? resolver : systemResolver; }

// getaddrinfo has no time-out of its own, so it runs on a detached thread and
// the caller waits for it only as long as it may. getaddrinfo_a would do the
// same with a thread of the C library's, but a running request of it cannot be
// cancelled, so its control block would still need to outlive the caller,
// and the system's resolver behind it could not be replaced in tests. A
// thread still inside the resolver at exit is harmless: it touches only its
// own shared state, never anything that exit destroys.
eHostLookup strToIPv4(const char* host, unsigned char (&ip)[4], int timeoutMs,
                       const std::atomic<bool>* stop) {
  if (!host || !*host) return eHostLookup::unknown;
  if (auto numeric = numericAnswer(host, ip)) return *numeric;
  if (stop && stop->load()) return eHostLookup::stopped;
  if (timeoutMs <= 0) return eHostLookup::timedOut;
  using clock = std::chrono::steady_clock;
  const auto until = clock::now() + std::chrono::milliseconds(timeoutMs);
  auto pending = std::make_shared<sPendingLookup>();
  try {
    std::thread([pending, name = std::string(host), resolve = gResolver.load()] {
      unsigned char answer[4] = {};
      const bool found = resolve(name.c_str(), answer);
      std::lock_guard<std::mutex> hold(pending->lock);
      pending->found = found;
      std::memcpy(pending->ip, answer, sizeof answer);
      pending->finished = true;
      pending->done.notify_all();
    }).detach();
  } catch (const std::system_error&) {
    // No thread to be had: the name stays unknown rather than risk a wait
    // without end.
    return eHostLookup::unknown;
  }
  std::unique_lock<std::mutex> hold(pending->lock);
  while (!pending->finished) {
    if (stop && stop->load()) return eHostLookup::stopped;
    const auto now = clock::now();
    if (now >= until) return eHostLookup::timedOut;
    pending->done.wait_until(hold,
                             stop ? std::min(until, now + std::chrono::milliseconds(kStopCheckMs)) : until);
  }
  if (!pending->found) return eHostLookup::unknown;
  std::memcpy(ip, pending->ip, sizeof pending->ip);
  return eHostLookup::found;
}
