// The connecting side of a TCP socket.
#pragma once

#include "netio/tcpsocket.h"

class cTCPClient : public cTCPSocket {
 public:
  // Time-outs in milliseconds. Looking a host's name up is a wait like the
  // others, bounded by the time-out and the deadline. A failed connect leaves
  // the socket closed.
  bool connect(const char* host, int port, int timeout);
  bool connect(unsigned char (&ip)[4], int port, int timeout);
};

// Sockets need no set-up on this system.
bool initSockLib();
