#include "netio/socketio.h"

#include <gtest/gtest.h>

#include <string>

#include "loopback_peer.h"
#include "netio/tcpclient.h"

namespace {

class CountedSocket : public cTCPClient {
 public:
  explicit CountedSocket(int& alive) : alive(alive) { ++alive; }
  ~CountedSocket() override { --alive; }
  int& alive;
};

TEST(SocketIO, CarriesBytesAndLeavesABorrowedSocketOpen) {
  cSocketIO empty;
  char b[4];
  EXPECT_EQ(0u, empty.read(b, 4));

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
  {
    cSocketIO io;
    ASSERT_TRUE(io.create(&socket, false));
    EXPECT_TRUE(io.writef(const_cast<char*>("hello"), 5));
    char in[8] = {};
    EXPECT_TRUE(io.readf(in, 5));
    EXPECT_STREQ("reply", in);
  }
  // A borrowed socket outlives the stream.
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
