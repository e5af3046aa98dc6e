// CRW decoding of arbitrary bytes: probing, decoding the sensor data through
// the finishing chain, the preview, then through the factory.
#include <cstddef>
#include <cstdint>

#include "base/memio.h"
#include "picts/crw.h"

namespace {

volatile unsigned long long gPixelSum;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  cBufWrapperIO io(const_cast<uint8_t*>(data), static_cast<long long>(size), false);
  cPictBase::sPictInfo info;
  if (!cPictCRW::validFor(&io, &info)) return 0;
  cPictCRW crw;
  io.set_fp(0);
  if (crw.decode(&io)) {
    unsigned long long sum = 0;
    const long long count = crw.width() * crw.height();
    for (long long i = 0; i < count; ++i) sum += crw.is16Bpp() ? crw.raw16Bpp()[i] : crw.raw8Bpp()[i];
    gPixelSum = sum;
  }
  cPictDummy preview;
  long long side = 16;
  crw.getPreview(&io, preview, &side, &side);
  cPictDummy icon;
  io.set_fp(0);
  cPictBase::getImage(&io, icon, 16, 16, 0);
  return 0;
}
