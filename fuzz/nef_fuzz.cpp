// NEF camera files of arbitrary bytes: probing, decoding through the maker note's forms
// and the finishing chain, then the embedded preview.
#include "picts/nef.h"
#include "raster_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  decodeAll<cPictNEF>(data, size);
  cBufWrapperIO io(const_cast<uint8_t*>(data), static_cast<long long>(size), false);
  cPictNEF pict;
  cPictDummy preview;
  long long side = 16;
  pict.getPreview(&io, preview, &side, &side);
  return 0;
}
