// CR2 camera files of arbitrary bytes: probing, decoding through the maker
// note, the sliced stream and the finishing chain, then the preview.
#include "picts/cr2.h"
#include "raster_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  decodeAll<cPictCR2>(data, size);
  cBufWrapperIO io(const_cast<uint8_t*>(data), static_cast<long long>(size), false);
  cPictCR2 pict;
  cPictDummy preview;
  long long side = 16;
  pict.getPreview(&io, preview, &side, &side);
  return 0;
}
