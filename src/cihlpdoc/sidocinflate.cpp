#include "cihlpdoc/sidocinflate.h"

#include <algorithm>
#include <new>

#include "compression/zdecompress.h"

bool inflateBounded(const unsigned char* in, long long inLen, long long limit, _typebuf<unsigned char>& out) {
  out.set(0);
  if (!in || inLen <= 0 || limit < 0) return false;
  // One byte past the limit tells "exactly at the limit" from "past it".
  const long long ceiling = limit + 1;
  cZDecompress z;
  long long used = 0, consumed = 0;
  try {
    // Growing copies the old buffer into the new one; keeping the last
    // buffer before the ceiling at half of it holds the peak to 1.5 x the ceiling.
    out.set(std::min(ceiling / 2 + 1, std::max<long long>(65536, inLen * 4)));
    for (;;) {
      if (used == out.count) {
        if (out.count >= ceiling) break;
        out.reset(out.count * 2 > ceiling / 2 ? ceiling : out.count * 2);
      }
      long long inStep = inLen - consumed, outStep = out.count - used;
      // A cut stream ends in a step that cannot progress, which zlib reports
      // as an error; a finished one answers every later step with no work.
      if (!z.decompressPart(in + consumed, inStep, out.ptr + used, outStep)) break;
      consumed += inStep;
      used += outStep;
      if (inStep == 0 && outStep == 0) {
        if (used > limit) break;
        out.reset(used);
        return used > 0;
      }
    }
  } catch (const std::bad_alloc&) {
    // No room for the output: the same answer as a stream too large.
  }
  out.set(0);
  return false;
}
