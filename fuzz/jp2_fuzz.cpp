// JP2 files of arbitrary bytes: the box walk, the colour boxes applied to
// the decoded image, and the picture made from it.
#include <cstddef>
#include <cstdint>

#include "base/memio.h"
#include "picts/pictjp2.h"

namespace {

volatile unsigned long long gPixelSum;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  cBufWrapperIO io(const_cast<uint8_t*>(data), static_cast<long long>(size), false);
  cPictBase::sPictInfo info;
  if (!cPictJP2::validFor(&io, &info)) return 0;
  cPictJP2 pict;
  io.set_fp(0);
  if (pict.decode(&io)) {
    unsigned long long sum = 0;
    for (long long i = 0; i < pict.width() * pict.height(); ++i) sum += pict.raw8Bpp()[i];
    gPixelSum = sum;
  }
  return 0;
}
