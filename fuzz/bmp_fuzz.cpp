// BMP files and bare bitmaps of arbitrary bytes; the bare ones also in icon
// mode, as icons hand theirs over: height halved, palette forced, AND mask.
#include "picts/pictdib.h"
#include "raster_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  decodeAll<cPictBMP>(data, size);
  decodeAll<cPictDIB>(data, size);
  decodeAll<cPictDIB>(data, size, nullptr, [](cPictDIB& dib) {
    dib.setUseAlphaBp(true);
    dib.setForcedPalletteLoad(true);
  });
  return 0;
}
