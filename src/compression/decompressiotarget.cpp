#include "compression/decompressiotarget.h"

#include <cstring>

cDecompressIOTarget::~cDecompressIOTarget() { delete ownedSource; }

unsigned long long cDecompressIOTarget::size() { return plainSize; }

bool cDecompressIOTarget::valid() { return source != nullptr && plainSize != 0; }

bool cDecompressIOTarget::set_eof(unsigned long long) { return false; }

void cDecompressIOTarget::close() {
  source = nullptr;
  window.set(0);
  windowStart = position = plainSize = 0;
  delete ownedSource;
  ownedSource = nullptr;
}

bool cDecompressIOTarget::readPlainSizeFromStream(cFileIOTarget*) { return false; }

bool cDecompressIOTarget::create(cFileIOTarget* src, unsigned long long plainSize, long long bufSize,
                                 bool ownSource) {
  close();
  if (ownSource) ownedSource = src;
  if (!src || bufSize <= 0) return false;
  if (plainSize != 0) {
    if (static_cast<long long>(plainSize) < 0) return false;
    this->plainSize = plainSize;
  } else if (!readPlainSizeFromStream(src)) {
    return false;
  }
  if (this->plainSize == 0) return false;
  try {
    window.set(bufSize);
  } catch (const std::bad_alloc&) {
    return false;
  }
  windowStart = position = this->plainSize;
  source = src;
  return set_fp(0);
}

bool cDecompressIOTarget::set_fp(unsigned long long pos) {
  unsigned long long p = pos < plainSize ? pos : plainSize;
  unsigned long long capacity = static_cast<unsigned long long>(window.count);
  if (p < windowStart) {
    if (!resetDecompression()) return false;
  } else if (p - windowStart < capacity) {
    position = p;
    return true;
  }
  if (!fillBufFrom(p)) {
    // The window may be half overwritten: it must not serve its old range
    // again, so the next read restarts the decoder instead.
    windowStart = plainSize;
    return false;
  }
  windowStart = position = p;
  return true;
}

bool cDecompressIOTarget::set_fp_end(unsigned long long offset) {
  return set_fp(offset < plainSize ? plainSize - offset : 0);
}

unsigned int cDecompressIOTarget::read(void* buf, unsigned int count) {
  if (!source || position >= plainSize) return 0;
  unsigned long long left = plainSize - position;
  unsigned int n = left < count ? static_cast<unsigned int>(left) : count;
  unsigned long long capacity = static_cast<unsigned long long>(window.count);
  auto* dst = static_cast<unsigned char*>(buf);
  unsigned int done = 0;
  while (done < n) {
    if (position < windowStart || position - windowStart >= capacity) {
      // Nothing is reported read, so nothing may count as consumed either:
      // a read after the source recovers starts where this one did.
      if (!set_fp(position)) {
        position -= done;
        return 0;
      }
    }
    unsigned long long offset = position - windowStart;
    unsigned long long avail = capacity - offset;
    unsigned int step = avail < n - done ? static_cast<unsigned int>(avail) : n - done;
    std::memcpy(dst + done, window.ptr + offset, step);
    done += step;
    position += step;
  }
  return n;
}
