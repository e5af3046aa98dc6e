// Code streams through the LZW decoder. The first byte picks the bit order,
// the initial width and early change; the second caps the output, as a
// picture's size would.
#include <cstdint>
#include <cstring>

#include "compression/lzwdecompress.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3) return 0;
  bool msbFirst = data[0] & 1;
  bool earlyChange = data[0] & 2;
  int width = data[0] >> 2 & 15;  // 10 to 15 check the fallback to 9
  cLZWDecompress lzw(msbFirst, width, earlyChange);
  lzw.setOutputLimit(static_cast<unsigned long long>(data[1]) << 14);
  _typebuf<unsigned char> in, out;
  in.set(static_cast<long long>(size - 2));
  std::memcpy(in.ptr, data + 2, size - 2);
  lzw.decompress(in, out);
  return 0;
}
