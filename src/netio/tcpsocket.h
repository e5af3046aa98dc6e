// A blocking IPv4 TCP socket whose every wait is bounded by a time-out, and
// which reports what went wrong through a small last-error code.
#pragma once

#include <netinet/in.h>
#include <sys/time.h>

#include <atomic>
#include <chrono>

// Hands out the bytes to send one chunk at a time.
class cXCSourceStream {
 public:
  // The next chunk and its length; a null answer or a zero length ends the source.
  virtual const void* next(unsigned int& length) = 0;
  virtual ~cXCSourceStream() = default;
};

class cTCPSocket {
 public:
  // Last-error codes. What each means depends on the operation that set it.
  enum {
    errNone = 0,
    errFailed = 1,  // no socket, a failed wait, or the system refused the transfer
    errTimedOutConnect = 2,
    errException = 3,          // an exceptional condition on the socket
    errNoPeer = 4,             // no descriptor, no address for a host, or the peer closed
    errRefusedOrTimedOut = 5,  // connect: refused; receive and send: the time-out ran out
  };

  // A close sends what is queued, then reads and drops what the peer still
  // sends, so the peer sees an orderly end rather than a reset. A peer that
  // keeps talking must not hold the close up, hence both bounds.
  static constexpr int kDrainPassMs = 10;
  static constexpr int kDrainTotalMs = 100;
  static constexpr long long kDrainMaxBytes = 65536;

  cTCPSocket();
  cTCPSocket(const cTCPSocket&) = delete;
  cTCPSocket& operator=(const cTCPSocket&) = delete;
  virtual ~cTCPSocket();

  bool create(int descriptor);
  bool valid() const { return sock != -1; }
  void close();

  void setReadTO(int ms);
  void setWriteTO(int ms);
  // Every later wait, connecting included, ends by `ms` milliseconds from
  // now, however the peer spreads its bytes: the time-outs bound each wait,
  // this bounds them all together. A negative value lifts it.
  void setDeadline(int ms);
  // Every later wait ends, as a failure, once `flag` is raised (a job asked
  // to stop); null waits out the time-outs.
  void setStopFlag(const std::atomic<bool>* flag) { stopFlag = flag; }

  // Waits for data for the given time-out (the read time-out when null),
  // then takes what one system receive gives, up to `length` bytes.
  int receive(void* buffer, int length, timeval* timeout);
  int read(void* buffer, int length);
  bool readf(void* buffer, int length);

  // Gives the bytes to the system within the write time-out, so a peer that
  // stops reading cannot hold the caller forever. Answers what was taken.
  int send(const void* buffer, int length);
  int write(const void* buffer, int length) { return send(buffer, length); }
  bool writef(const void* buffer, int length);
  long long write(cXCSourceStream* source);
  bool writef(cXCSourceStream* source);

  int lastError() const { return lastErr; }
  bool ipv4fromsock(unsigned char (&ip)[4]);

 protected:
  int sock;
  timeval readTimeout;
  timeval writeTimeout;
  int lastErr;
  sockaddr_in peer;
  const std::atomic<bool>* stopFlag = nullptr;
  bool hasDeadline = false;
  std::chrono::steady_clock::time_point deadline{};

  // `ms` cut to what is left before the deadline.
  int boundedMs(int ms) const;

 private:
  // False, with the last error set, when there is no connection or nothing
  // to transfer; both directions answer 0 then without touching the socket.
  bool canTransfer(int length);
  // True when the source ran out, false at a short send.
  bool sendSource(cXCSourceStream* source, long long& total);
};

// Milliseconds in a time-out, rounded up so a short wait never becomes none.
int timevalToMs(const timeval& tv);
