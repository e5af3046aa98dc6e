// Medical-image decoding of arbitrary bytes, by both readers: the probe,
// every page up to a bound into the picture's own buffer, and the first
// page and a preview rendered into small targets.
#include "picts/pictdicom.h"
#include "picts/pictdicoml.h"
#include "raster_fuzz.h"

namespace {

// Enough pages to reach split frames and icon images without spending the
// run on one file of many frames.
constexpr int kPagesTried = 8;

template <typename Decoder>
void decodePages(const uint8_t* data, size_t size) {
  cBufWrapperIO io(const_cast<uint8_t*>(data), static_cast<long long>(size), false);
  Decoder pict;
  if (!pict.isPicture(&io, nullptr)) return;
  int pages = pict.getNumPages(&io);
  for (int n = 0; n < pages && n < kPagesTried; ++n) {
    int w, h;
    pict.getPageSize(&io, n, w, h);
    if (pict.decodePage(&io, n)) readEveryPixel(pict);
  }
  cPictDummy preview;
  pict.decodePagePreview(&io, preview, 16, 16, pages - 1, true, 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  decodeAll<cPictDICOM>(data, size);
  decodeAll<cPictDICOMLegacy>(data, size);
  decodePages<cPictDICOM>(data, size);
  decodePages<cPictDICOMLegacy>(data, size);
  return 0;
}
