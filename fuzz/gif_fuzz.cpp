// GIF decoding of arbitrary bytes: the first page through the common body,
// then every further page and its preview.
#include "picts/pictgif.h"
#include "raster_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  decodeAll<cPictGIF>(data, size);
  cBufWrapperIO io(const_cast<uint8_t*>(data), static_cast<long long>(size), false);
  cPictGIF gif;
  int pages = gif.getNumPages(&io);
  for (int page = 1; page < pages && page < 8; ++page) {
    io.set_fp(0);
    if (gif.decodePage(&io, page)) readEveryPixel(gif);
    io.set_fp(0);
    cPictDummy preview;
    gif.decodePagePreview(&io, preview, 12, 12, page, true, 0);
  }
  return 0;
}
