// Raw deflate streams through the one-shot inflater and through zlib's own:
// both must stop at the same byte, and agree on whether the stream ended.
// The first byte sizes the output buffer.
#include <zlib.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "compression/oneshotinflate.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  size_t cap = static_cast<size_t>(data[0]) << 8 | 1;
  std::vector<unsigned char> ours(cap), theirs(cap);
  sInflated r = inflateOneShot(data + 1, size - 1, ours.data(), cap, false);

  z_stream zs{};
  if (inflateInit2(&zs, -15) != Z_OK) return 0;
  zs.next_in = const_cast<unsigned char*>(data + 1);
  zs.avail_in = static_cast<uInt>(size - 1);
  zs.next_out = theirs.data();
  zs.avail_out = static_cast<uInt>(cap);
  int rc = inflate(&zs, Z_FINISH);
  size_t produced = zs.total_out;
  inflateEnd(&zs);

  if ((r.end == eInflateEnd::finished) != (rc == Z_STREAM_END)) std::abort();
  if (r.end != eInflateEnd::outputFull &&
      (r.produced != produced || std::memcmp(ours.data(), theirs.data(), produced) != 0))
    std::abort();
  return 0;
}
