#include "picts/bytesource.h"

#include <cstring>

bool cByteSource::refill() {
  myAt = 0;
  myFill = myIo->read(myBuf, sizeof myBuf);
  // Some streams answer an error as a count past what was asked.
  if (myFill > sizeof myBuf) myFill = 0;
  return myFill > 0;
}

bool cByteSource::read(unsigned char* out, unsigned int count) {
  while (count > 0) {
    if (myAt == myFill && !refill()) return false;
    unsigned int n = count < myFill - myAt ? count : myFill - myAt;
    std::memcpy(out, myBuf + myAt, n);
    myAt += n;
    out += n;
    count -= n;
  }
  return true;
}
