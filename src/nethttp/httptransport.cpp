#include "nethttp/httptransport.h"

#include <climits>
#include <cstring>

#include "netio/socketio.h"

bool cHttpTransport::processRequest(cHttpRequest& request, cHttpResponse& response) {
  _typebuf<unsigned char> bytes;
  if (!request.toTransport(bytes) || bytes.count <= 0) return false;
  if (!(myHaveAddress ? connect(myAddress, request.port(), kConnectTimeoutMs)
                      : connect(request.host(), request.port(), kConnectTimeoutMs)))
    return false;
  setReadTO(kReadWriteTimeoutMs);
  setWriteTO(kReadWriteTimeoutMs);
  for (long long sent = 0; sent < bytes.count;) {
    long long rest = bytes.count - sent;
    int n = write(bytes.ptr + sent, rest > INT_MAX ? INT_MAX : static_cast<int>(rest));
    if (n <= 0) return false;
    sent += n;
  }
  cSocketIO stream;
  return stream.create(this, false) && response.processResponse(&stream);
}

void cHttpTransport::setAddress(const unsigned char (&ip)[4]) {
  std::memcpy(myAddress, ip, sizeof myAddress);
  myHaveAddress = true;
}
