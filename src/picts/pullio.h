// A stream read as a file: a prefix the caller keeps, then pulled input
// from a given byte on, asked for only as far as it is read. A JPEG unit
// is so read to its end of image, whatever its declared count.
#pragma once

#include "base/pullinput.h"
#include "base/targets.h"

class cPullIO : public cFileIOTarget {
 public:
  // `total` is the size the file claims: the prefix and the input's bytes
  // from `skip` as far as they may go.
  cPullIO(const unsigned char* prefix, unsigned long long prefixSize, cPullInput& in, unsigned long long skip,
          unsigned long long total)
      : myPrefix(prefix), myPrefixSize(prefixSize), myIn(in), mySkip(skip), myTotal(total) {}

  unsigned long long size() override { return myTotal; }
  // What is held from the position, pulling more only when nothing is: a
  // reader asking for a large block gets a short answer, not bytes read
  // ahead past the stream's end.
  unsigned int read(void* buf, unsigned int count) override;
  // All or nothing, as for a file: short answers are put together.
  bool readf(void* buf, unsigned int count) override;
  bool set_fp(unsigned long long pos) override;
  bool set_fp_end(unsigned long long offset) override {
    return offset <= myTotal && set_fp(myTotal - offset);
  }
  bool set_eof(unsigned long long) override { return false; }
  void close() override {}
  bool valid() override { return true; }

 private:
  const unsigned char* myPrefix;
  unsigned long long myPrefixSize;
  cPullInput& myIn;
  unsigned long long mySkip;
  unsigned long long myTotal;
  unsigned long long myPos = 0;
};
