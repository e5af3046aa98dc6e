// One HTTP request to a plain "http://" URL, written as the exact bytes that
// go on the wire.
#pragma once

#include "base/btree.h"
#include "base/buffers.h"
#include "base/guardchar.h"
#include "base/list.h"
#include "base/stringkey.h"

class cHttpRequest {
 public:
  enum eRequestTypes : int { GET = 0, POST = 1 };

  struct sPostDataElement {
    _guardchar<char> name;
    _guardchar<char> contentType;
    // Written as it is after the field name, quotes and all.
    _guardchar<char> fileName;
    _typebuf<unsigned char> data;
  };

  // A URL that does not parse leaves the request without host or path, so
  // that `toTransport` refuses it.
  cHttpRequest(eRequestTypes type, const char* url, int http11);
  cHttpRequest(const cHttpRequest&) = delete;
  cHttpRequest& operator=(const cHttpRequest&) = delete;
  virtual ~cHttpRequest();

  bool create(eRequestTypes type, const char* url, int http11);
  void destroy();
  bool parseURL(const char* url);

  const char* host() const { return hostName.ptr; }
  int port() const { return portNumber; }

  // Content-Length, Content-Type and Host are generated and cannot be set;
  // a null value removes a header. Names and values holding a line break
  // are refused, so no caller can split the request.
  bool setHeader(const char* name, const char* value);
  bool addPost(const char* name, const void* data, int length, const char* contentType, const char* fileName);

  // Letters, digits and - . _ ~ stay; every other byte becomes %XX. A
  // negative length reads up to the terminating zero.
  static void urlEncode(const char* text, long long length, _guardchar<char>& out);

  bool toTransport(_typebuf<unsigned char>& out);

 private:
  eRequestTypes method;
  _guardchar<char> agent;
  _guardchar<char> hostName;
  _guardchar<char> authority;
  _guardchar<char> path;
  int portNumber;
  int http11;
  cFasterTreeList<cStringKey, _guardchar<char> > headers;
  _List<sPostDataElement> posts;
};
