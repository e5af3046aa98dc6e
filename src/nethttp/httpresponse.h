// An HTTP/1.x reply read from a byte stream: status line and headers, then
// the body handed to the sink operations in order, never more than one
// buffer at a time.
#pragma once

#include "base/btree.h"
#include "base/guardchar.h"
#include "base/stringkey.h"
#include "base/targets.h"

class cHttpResponse {
 public:
  cHttpResponse();
  cHttpResponse(const cHttpResponse&) = delete;
  cHttpResponse& operator=(const cHttpResponse&) = delete;
  virtual ~cHttpResponse();

  // The sink. A false answer ends the exchange. Offsets count body bytes
  // delivered before this chunk.
  virtual bool onData(const unsigned char* data, long long length, unsigned long long offset);
  // Status and Content-Length are known when this runs.
  virtual bool onHeaderDone();

  unsigned int RC() const { return status; }
  // All bits set when the reply announced no length.
  unsigned long long contentLength() const { return length; }
  // Names are matched exactly as the peer wrote them.
  const char* getHeaderVal(const char* name);

  // True only when the whole announced body was delivered and accepted.
  bool processResponse(cFileIOTarget* stream);

  // Consumes the whole lines of the head found in `data`: on entry `length`
  // is what is there, on return what was used. A line whose end has not yet
  // arrived is left for the next call. `more` turns false once the blank
  // line ending the head was consumed.
  bool parseHeaders(const unsigned char* data, unsigned int& length, bool& more);

 protected:
  unsigned int status;
  unsigned long long length;
  cFasterTreeList<cStringKey, _guardchar<char> > headers;

 private:
  bool parseLine(const unsigned char* line, unsigned int size);
  bool deliver(const unsigned char* data, unsigned long long size, unsigned long long& offset);

  int headerCount = 0;
  bool lengthSeen = false;
};
