#include "netio/socketio.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <string>
#include <vector>

#include "loopback_peer.h"
#include "netio/tcpclient.h"

namespace {

class CountedSocket : public cTCPClient {
 public:
  explicit CountedSocket(int& alive) : alive(alive) { ++alive; }
  ~CountedSocket() override { --alive; }
  int& alive;
};

TEST(SocketIO, CarriesBytesOverADescriptorAbove1023AndLeavesABorrowedSocketOpen) {
  rlimit lim{};
  ::getrlimit(RLIMIT_NOFILE, &lim);
  if (lim.rlim_cur < 2048 && lim.rlim_max >= 2048) {
    lim.rlim_cur = 2048;
    ::setrlimit(RLIMIT_NOFILE, &lim);
  }
  if (lim.rlim_cur < 2048) GTEST_SKIP() << "descriptor limit too low";
  // Occupy the low numbers so the client's own socket lands above 1023.
  std::vector<int> filler;
  for (int fd = ::dup(0); fd >= 0 && fd < 1100; fd = ::dup(0)) filler.push_back(fd);

  LoopbackPeer peer;
  std::string heard;
  peer.serve([&](int fd) {
    char in[5];
    if (::recv(fd, in, 5, MSG_WAITALL) == 5) heard.assign(in, 5);
    ::send(fd, "reply", 5, 0);
    peerSeesEnd(fd, 2000);
  });
  cTCPClient socket;
  ASSERT_TRUE(socket.connect("127.0.0.1", peer.port(), 2000));
  for (int fd : filler) ::close(fd);
  {
    cSocketIO io;
    ASSERT_TRUE(io.create(&socket, false));
    EXPECT_TRUE(io.writef(const_cast<char*>("hello"), 5));
    char in[8] = {};
    EXPECT_TRUE(io.readf(in, 5));
    EXPECT_STREQ("reply", in);
  }
  EXPECT_TRUE(socket.valid());
  socket.close();
  peer.join();
  EXPECT_EQ("hello", heard);
}

TEST(SocketIO, OwnsOnlyWhatItWasGiven) {
  int alive = 0;
  {
    cSocketIO io;
    EXPECT_FALSE(io.create(new CountedSocket(alive), true));
    EXPECT_EQ(1, alive);
    // Taking another socket to own deletes the one owned before.
    EXPECT_FALSE(io.create(new CountedSocket(alive), true));
    EXPECT_EQ(1, alive);
    io.close();
    EXPECT_EQ(0, alive);
    EXPECT_FALSE(io.create(new CountedSocket(alive), true));
  }
  EXPECT_EQ(0, alive);
}

}  // namespace
