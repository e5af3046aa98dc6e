// TIFF-based camera raw files of arbitrary bytes: probing, decoding and the
// preview, through the DNG, 3FR and TIFF/EP decoders alike.
#include <cstddef>
#include <cstdint>

#include "base/memio.h"
#include "picts/h3fr.h"

namespace {

// Reading every pixel lets the sanitizers see a buffer smaller than claimed.
volatile unsigned long long gPixelSum;

void run(cPictTIFF_EP& pict, cFileIOTarget& io) {
  cPictBase::sPictInfo info;
  if (!pict.isPicture(&io, &info)) return;
  if (pict.decode(&io)) {
    unsigned long long sum = 0;
    long long count = pict.width() * pict.height();
    for (long long i = 0; i < count; ++i) sum += pict.raw16Bpp()[i];
    gPixelSum = sum;
  }
  cPictDummy preview;
  const long long side = 16;
  pict.getPreview(&io, preview, &side, &side);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  cBufWrapperIO io(const_cast<uint8_t*>(data), static_cast<long long>(size), false);
  cPictDNG dng;
  run(dng, io);
  cPict3FR h3fr;
  run(h3fr, io);
  cPictTIFF_EP ep;
  run(ep, io);
  return 0;
}
