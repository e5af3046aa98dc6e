// Compressed bytes through the seekable zlib stream and the part-wise
// inflater. The first four bytes pick the window size and the promised plain
// size; the next four drive the seeks.
#include <cstdint>
#include <cstring>

#include "base/memio.h"
#include "compression/zdecompress.h"
#include "compression/zstream.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 8) return 0;
  long long bufSize = 1 + data[0] % 64 * 67;
  unsigned long long plainSize = (data[1] | data[2] << 8 | (data[3] & 0x0F) << 16) + 1;  // up to 1 MiB
  uint32_t seeds;
  std::memcpy(&seeds, data + 4, 4);
  const uint8_t* packed = data + 8;
  size_t packedSize = size - 8;

  cMemIOTarget source;
  source.fromBuffer(packed, static_cast<long long>(packedSize));
  cZStream z;
  if (z.create(&source, plainSize, bufSize, false)) {
    static unsigned char sink[70000];
    for (int i = 0; i < 6; ++i) {
      seeds = seeds * 1103515245u + 12345u;
      z.set_fp((seeds >> 8) % (plainSize + 2));
      z.read(sink, (seeds >> 4) % sizeof sink);
    }
  }

  cZDecompress parts;
  _typebuf<unsigned char> out;
  size_t half = packedSize / 2;
  parts.decompressPart(packed, static_cast<long long>(half), out);
  parts.decompressPart(packed + half, static_cast<long long>(packedSize - half), out);
  return 0;
}
