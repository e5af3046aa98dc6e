#include "picts/pullio.h"

#include <algorithm>
#include <cstring>

unsigned int cPullIO::read(void* buf, unsigned int count) {
  unsigned long long n = std::min<unsigned long long>(count, myTotal - std::min(myPos, myTotal));
  if (!n) return 0;
  if (myPos < myPrefixSize) {
    n = std::min(n, myPrefixSize - myPos);
    std::memcpy(buf, myPrefix + myPos, static_cast<size_t>(n));
  } else {
    const unsigned long long at = myPos - myPrefixSize + mySkip;
    if (at >= myIn.size && !myIn.pull(static_cast<size_t>(at + 1))) return 0;
    if (at >= myIn.size) return 0;
    n = std::min<unsigned long long>(n, myIn.size - at);
    std::memcpy(buf, myIn.data + at, static_cast<size_t>(n));
  }
  myPos += n;
  return static_cast<unsigned int>(n);
}

bool cPullIO::readf(void* buf, unsigned int count) {
  for (unsigned char* at = static_cast<unsigned char*>(buf); count;) {
    const unsigned int n = read(at, count);
    if (!n) return false;
    at += n;
    count -= n;
  }
  return true;
}

bool cPullIO::set_fp(unsigned long long pos) {
  if (pos > myTotal) return false;
  myPos = pos;
  return true;
}
