// PCX decoding of arbitrary bytes.
#include "picts/pictpcx.h"
#include "raster_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  decodeAll<cPictPCX>(data, size);
  return 0;
}
