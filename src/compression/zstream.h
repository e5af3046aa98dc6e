// The zlib member of the decompressing streams: package items are read
// through one with a 4096-byte window.
#pragma once

#include <zlib.h>

#include "compression/decompressiotarget.h"

class cZStream : public cDecompressIOTarget {
 public:
  _typebuf<unsigned char> input;   // compressed bytes, bufSize of them
  _typebuf<unsigned char> output;  // inflated bytes, twice bufSize
  // The plain offset of the output's first byte; all bits set before decoding starts.
  unsigned long long outputStart = ~0ull;
  // total_out doubles as the output's fill level: it is zeroed whenever the output is recycled.
  z_stream stream;

  cZStream();
  ~cZStream() override;

  bool fillBufFrom(unsigned long long pos) override;
  bool resetDecompression() override;
  // Refuses a window larger than zlib's 32-bit counts can serve twice over.
  bool create(cFileIOTarget* src, unsigned long long plainSize, long long bufSize, bool ownSource) override;

 private:
  bool started = false;

  bool refillInput();
  bool step();
  void recycleOutput();
};
