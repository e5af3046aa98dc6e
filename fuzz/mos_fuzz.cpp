// Leaf MOS files of arbitrary bytes, alone or as a stored ZIP member:
// probing, decoding and the JPEG preview.
#include <cstddef>
#include <cstdint>

#include "base/memio.h"
#include "picts/mos.h"

namespace {

volatile unsigned long long gPixelSum;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  cBufWrapperIO io(const_cast<uint8_t*>(data), static_cast<long long>(size), false);
  cPictMOS mos;
  cPictBase::sPictInfo info;
  if (!mos.isPicture(&io, &info)) return 0;
  if (mos.decode(&io)) {
    unsigned long long sum = 0;
    long long count = mos.width() * mos.height();
    for (long long i = 0; i < count; ++i) sum += mos.raw16Bpp()[i];
    gPixelSum = sum;
  }
  cPictMOS again;
  cPictDummy preview;
  const long long side = 16;
  again.getPreview(&io, preview, &side, &side);
  return 0;
}
