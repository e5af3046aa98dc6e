// NEF decoding of arbitrary bytes: probing, decoding the sensor data through
// the finishing chain, the preview, then through the factory.
#include <cstddef>
#include <cstdint>

#include "base/memio.h"
#include "picts/nef.h"

namespace {

volatile unsigned long long gPixelSum;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  cBufWrapperIO io(const_cast<uint8_t*>(data), static_cast<long long>(size), false);
  cPictBase::sPictInfo info;
  if (!cPictNEF::validFor(&io, &info)) return 0;
  cPictNEF nef;
  io.set_fp(0);
  if (nef.decode(&io)) {
    unsigned long long sum = 0;
    const long long count = nef.width() * nef.height();
    for (long long i = 0; i < count; ++i) sum += nef.is16Bpp() ? nef.raw16Bpp()[i] : nef.raw8Bpp()[i];
    gPixelSum = sum;
  }
  cPictDummy preview;
  long long side = 16;
  nef.getPreview(&io, preview, &side, &side);
  cPictDummy icon;
  io.set_fp(0);
  cPictBase::getImage(&io, icon, 16, 16, 0);
  return 0;
}
