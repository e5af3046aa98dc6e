// MRW camera files of arbitrary bytes: probing, decoding through the block chain
// and the finishing chain, then the embedded preview.
#include "picts/mrw.h"
#include "raster_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  decodeAll<cPictMRW>(data, size);
  cBufWrapperIO io(const_cast<uint8_t*>(data), static_cast<long long>(size), false);
  cPictMRW pict;
  cPictDummy preview;
  long long side = 16;
  pict.getPreview(&io, preview, &side, &side);
  return 0;
}
