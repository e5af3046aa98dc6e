// TIFF decoding of arbitrary bytes: probing, paging, page sizes and decoding
// every page into the picture's own buffer, the embedded and page previews,
// then through the factory into a small bitmap.
#include <cstddef>
#include <cstdint>

#include "base/memio.h"
#include "picts/pictbase.h"
#include "picts/picttiff.h"

namespace {

// Reading every pixel into a place the compiler must keep lets the
// sanitizers see any pixel the picture claims but does not own.
volatile unsigned long long gPixelSum;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  cBufWrapperIO io(const_cast<uint8_t*>(data), static_cast<long long>(size), false);
  cPictBase::sPictInfo info;
  if (!cPictTIFF::validFor(&io, &info)) return 0;
  cPictTIFF tiff;
  int pages = tiff.getNumPages(&io);
  for (int page = 0; page < pages && page < 4; ++page) {
    int w = 0, h = 0;
    // A few bytes of G4 are a white page of any size: such pages are real,
    // but their own buffer would pass the sanitizer's allocation cap, so
    // they reach only the render targets below.
    if (!tiff.getPageSize(&io, page, w, h) || static_cast<long long>(w) * h > (1LL << 24)) continue;
    if (!tiff.decodePage(&io, page)) continue;
    unsigned long long sum = 0;
    long long count = tiff.width() * tiff.height();
    for (long long i = 0; i < count; ++i) sum += tiff.is16Bpp() ? tiff.raw16Bpp()[i] : tiff.raw8Bpp()[i];
    gPixelSum = sum;
  }
  cPictDummy preview;
  tiff.getPreview(&io, preview, nullptr, nullptr);
  cPictDummy pagePreview;
  tiff.decodePagePreview(&io, pagePreview, 16, 16, pages > 1 ? 1 : 0, true, 0);
  cPictDummy icon;
  io.set_fp(0);
  cPictBase::getImage(&io, icon, 16, 16, 0);
  return 0;
}
