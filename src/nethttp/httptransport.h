// One HTTP exchange over a connection of its own: connect, send the request,
// read the reply into the response's sink. The connection stays open until
// the transport connects again or is destroyed.
#pragma once

#include "nethttp/httprequest.h"
#include "nethttp/httpresponse.h"
#include "netio/tcpclient.h"

class cHttpTransport : public cTCPClient {
 public:
  static constexpr int kConnectTimeoutMs = 20000;
  static constexpr int kReadWriteTimeoutMs = 30000;

  // A false answer after a failed connect leaves the reason in lastError().
  bool processRequest(cHttpRequest& request, cHttpResponse& response);
  // Later requests go to this IPv4 address, whatever host they name (the
  // Host header still names it): requests to one host need one lookup.
  void setAddress(const unsigned char (&ip)[4]);

 private:
  unsigned char myAddress[4] = {};
  bool myHaveAddress = false;
};
