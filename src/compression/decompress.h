// A one-shot buffer decompressor; the TIFF decoder picks a member by the
// picture's compression.
#pragma once

#include "base/buffers.h"

class cDecompress {
 public:
  // 1 = LZW, 3 = zlib.
  virtual int typeOf() = 0;
  virtual bool decompress(const _typebuf<unsigned char>& in, _typebuf<unsigned char>& out) = 0;
  virtual ~cDecompress() = default;
};
