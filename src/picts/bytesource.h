// Bytes of a stream read through a buffer, for decoders that take their
// input a byte or two at a time (run lengths): one stream call per 64 KiB
// instead of one per byte. It reads ahead, so the stream's position after
// it is not where the decoder stopped.
#pragma once

#include "base/targets.h"

class cByteSource {
 public:
  explicit cByteSource(cFileIOTarget* io) : myIo(io) {}
  cByteSource(const cByteSource&) = delete;
  cByteSource& operator=(const cByteSource&) = delete;

  bool get(unsigned char& b) {
    if (myAt == myFill && !refill()) return false;
    b = myBuf[myAt++];
    return true;
  }
  // Exactly `count` bytes or false.
  bool read(unsigned char* out, unsigned int count);
  // The bytes buffered past the read position, to be read in place and
  // taken with advance(); none until get() or read() has loaded a block.
  const unsigned char* buffered(unsigned int& count) const {
    count = myFill - myAt;
    return myBuf + myAt;
  }
  void advance(unsigned int count) { myAt += count < myFill - myAt ? count : myFill - myAt; }

 private:
  bool refill();

  cFileIOTarget* myIo;
  unsigned char myBuf[65536];
  unsigned int myAt = 0, myFill = 0;
};
