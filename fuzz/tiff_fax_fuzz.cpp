// Fax data of arbitrary bytes: the first two bytes choose the row width,
// the row count and the variant (G3 1D or 2D, G4, bit order), the rest is
// the strip. Rows, cut to some of their columns, are decoded into a buffer
// of exactly their size, so the sanitizers see any write outside a row.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "picts/tifffax.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  long long width = 1 + data[0] * 9;
  long long rows = 1 + (data[1] & 31);
  long long columns = 1 + data[0] * 4;
  sFax3DecodeCtx ctx{data + 2,
                     static_cast<long long>(size - 2),
                     (data[1] & 32) != 0,
                     (data[1] & 64) != 0,
                     (data[1] & 128) != 0,
                     width,
                     rows,
                     columns};
  std::vector<unsigned char> out(static_cast<size_t>((columns + 7) / 8 * rows));
  decodeFax(ctx, out.data());
  return 0;
}
