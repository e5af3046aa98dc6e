#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <tuple>
#include <vector>

#include "loopback_peer.h"
#include "netio/hostlookup.h"
#include "netio/tcpclient.h"

namespace {

using Clock = std::chrono::steady_clock;

long long msSince(Clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

// A port on which nothing listens: bound once, then released.
int closedPort() { return LoopbackPeer().port(); }

TEST(StrToIPv4, DottedTextNeedsNoResolver) {
  unsigned char ip[4];
  for (auto [text, want] :
       {std::pair{"10.0.0.1", 0x0A000001u}, {"255.254.0.7", 0xFFFE0007u}, {"localhost", 0x7F000001u}}) {
    ASSERT_EQ(eHostLookup::found, strToIPv4(text, ip, 5000)) << text;
    EXPECT_EQ(want, unsigned(ip[0]) << 24 | ip[1] << 16 | ip[2] << 8 | ip[3]) << text;
  }
  EXPECT_EQ(eHostLookup::unknown, strToIPv4(nullptr, ip, 5000));
  EXPECT_EQ(eHostLookup::unknown, strToIPv4("", ip, 5000));
}

TEST(TCPClient, ConnectFailuresLeaveTheSocketClosedWithTheirCode) {
  cTCPClient c;
  for (auto [host, port, code] :
       {std::tuple<const char*, int, int>{"127.0.0.1", closedPort(), 5}, {"", 80, 4}}) {
    EXPECT_FALSE(c.connect(host, port, 2000));
    EXPECT_EQ(code, c.lastError());
    EXPECT_FALSE(c.valid());
  }
  EXPECT_FALSE(c.connect("127.0.0.1", 0, 100));
}

TEST(TCPClient, ListenerThatNeverAcceptsTimesOutWithinTheBound) {
  // With a backlog of 0 the queue fills after a connection or two; later
  // handshakes go unanswered.
  LoopbackPeer silent(0);
  std::vector<cTCPClient> fillers(4);
  bool timedOut = false;
  for (auto& f : fillers) {
    auto start = Clock::now();
    if (!f.connect("127.0.0.1", silent.port(), 300)) {
      long long took = msSince(start);
      EXPECT_EQ(2, f.lastError());
      EXPECT_GE(took, 290);
      EXPECT_LT(took, 1500);
      EXPECT_FALSE(f.valid());
      timedOut = true;
      break;
    }
  }
  EXPECT_TRUE(timedOut);
}

TEST(TCPSocket, ASilentPeerTimesOutReadsAndWrites) {
  LoopbackPeer peer;
  std::atomic<bool> done{false};
  peer.serve([&](int fd) {
    ::send(fd, "hello", 5, 0);
    while (!done) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  });
  cTCPClient c;
  ASSERT_TRUE(c.connect("127.0.0.1", peer.port(), 2000));
  c.setReadTO(100);
  char buf[16];
  EXPECT_EQ(5, c.receive(buf, sizeof(buf), nullptr));
  EXPECT_EQ(0, c.lastError());
  auto start = Clock::now();
  EXPECT_EQ(0, c.receive(buf, sizeof(buf), nullptr));
  EXPECT_EQ(5, c.lastError());
  EXPECT_GE(msSince(start), 95);

  c.setWriteTO(200);
  std::vector<char> big(64 << 20, 'z');
  start = Clock::now();
  int sent = c.send(big.data(), static_cast<int>(big.size()));
  EXPECT_GT(sent, 0);
  EXPECT_LT(sent, static_cast<int>(big.size()));
  EXPECT_LT(msSince(start), 2000);
  EXPECT_FALSE(c.writef(big.data(), static_cast<int>(big.size())));
  done = true;
}

TEST(TCPSocket, ReadGathersUntilThePeerCloses) {
  LoopbackPeer peer;
  std::vector<unsigned char> sent(2000);
  for (size_t i = 0; i < sent.size(); ++i) sent[i] = static_cast<unsigned char>(i * 7);
  peer.serve([&](int fd) {
    for (size_t at = 0; at < sent.size(); at += 500) {
      ::send(fd, sent.data() + at, 500, 0);
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
  });
  cTCPClient c;
  ASSERT_TRUE(c.connect("localhost", peer.port(), 2000));
  std::vector<unsigned char> got(3000);
  EXPECT_EQ(2000, c.read(got.data(), 3000));
  EXPECT_EQ(4, c.lastError());
  EXPECT_EQ(0, std::memcmp(sent.data(), got.data(), sent.size()));
  EXPECT_FALSE(c.readf(got.data(), 1));
}

TEST(TCPSocket, CloseIsSafeAndBoundedAgainstAChattyPeer) {
  cTCPSocket none;
  none.close();
  char b;
  EXPECT_EQ(0, none.send(&b, 1));

  // Declared first, so it outlives the peer's thread, which reads it.
  std::atomic<bool> stop{false};
  LoopbackPeer peer;
  peer.serve([&](int fd) {
    std::vector<char> junk(16384, 'x');
    while (!stop && ::send(fd, junk.data(), junk.size(), MSG_NOSIGNAL) > 0) {
    }
  });
  cTCPClient c;
  ASSERT_TRUE(c.connect("127.0.0.1", peer.port(), 2000));
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  auto start = Clock::now();
  c.close();
  EXPECT_LT(msSince(start), 1000);
  c.close();
  stop = true;
}

}  // namespace
