// MRW decoding of arbitrary bytes: probing, decoding the sensor samples through
// the finishing chain, the thumbnail, then through the factory.
#include <cstddef>
#include <cstdint>

#include "base/memio.h"
#include "picts/mrw.h"

namespace {

volatile unsigned long long gPixelSum;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  cBufWrapperIO io(const_cast<uint8_t*>(data), static_cast<long long>(size), false);
  cPictBase::sPictInfo info;
  if (!cPictMRW::validFor(&io, &info)) return 0;
  cPictMRW mrw;
  io.set_fp(0);
  if (mrw.decode(&io)) {
    unsigned long long sum = 0;
    const long long count = mrw.width() * mrw.height();
    for (long long i = 0; i < count; ++i) sum += mrw.is16Bpp() ? mrw.raw16Bpp()[i] : mrw.raw8Bpp()[i];
    gPixelSum = sum;
  }
  cPictDummy preview;
  long long side = 16;
  mrw.getPreview(&io, preview, &side, &side);
  cPictDummy icon;
  io.set_fp(0);
  cPictBase::getImage(&io, icon, 16, 16, 0);
  return 0;
}
