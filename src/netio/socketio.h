// A socket seen as a byte stream, so the readers of streams can read a reply.
#pragma once

#include "base/targets.h"
#include "netio/tcpsocket.h"

class cSocketIO : public cFileIOTarget {
 public:
  cSocketIO() = default;
  cSocketIO(const cSocketIO&) = delete;
  cSocketIO& operator=(const cSocketIO&) = delete;
  ~cSocketIO() override;

  // With `own` the stream deletes the socket when it is done with it; a
  // borrowed socket stays open for its owner.
  bool create(cTCPSocket* socket, bool own);

  // A socket has no size and no position.
  unsigned long long size() override;
  unsigned int read(void* buf, unsigned int count) override;
  unsigned int write(void* buf, unsigned int count) override;
  bool set_fp(unsigned long long pos) override;
  bool set_fp_end(unsigned long long offset) override;
  bool set_eof(unsigned long long length) override;
  void close() override;
  bool valid() override;

 private:
  cTCPSocket* owned = nullptr;
  cTCPSocket* used = nullptr;
};
