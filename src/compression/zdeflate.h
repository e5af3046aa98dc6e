// One-call compression and decompression of a whole buffer into a caller's
// buffer; each object may process several buffers in turn.
#pragma once

#include <zlib.h>

class cZDeflate {
 public:
  // 9 for package items and binary scenarios, 5 for documents and language tables.
  explicit cZDeflate(int level);
  cZDeflate(const cZDeflate&) = delete;
  cZDeflate& operator=(const cZDeflate&) = delete;
  ~cZDeflate();

  // The size of the complete zlib stream written to `out`; 0 when it does not fit.
  unsigned int deflate(const void* in, unsigned int inLen, void* out, unsigned int outLen);

 private:
  z_stream stream;
};

class cZInflate {
 public:
  cZInflate();
  cZInflate(const cZInflate&) = delete;
  cZInflate& operator=(const cZInflate&) = delete;
  ~cZInflate();

  // The plain bytes written to `out`; callers compare it with the size they expect.
  unsigned int inflate(const void* in, unsigned int inLen, void* out, unsigned int outLen);

 private:
  z_stream stream;
};
