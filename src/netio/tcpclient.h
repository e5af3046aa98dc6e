// The connecting side of a TCP socket and the host-name conversion it uses.
#pragma once

#include "netio/tcpsocket.h"

class cTCPClient : public cTCPSocket {
 public:
  // Time-outs in milliseconds. A failed connect leaves the socket closed.
  bool connect(const char* host, int port, int timeout);
  bool connect(unsigned char (&ip)[4], int port, int timeout);
};

// Four dotted decimal numbers up to 255 are taken as they are; anything else
// goes to the resolver, which is safe to call from job threads.
bool strToIPv4(const char* text, unsigned char (&ip)[4]);

// Sockets need no set-up on this system.
bool initSockLib();
