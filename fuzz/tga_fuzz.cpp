// TGA decoding of arbitrary bytes.
#include "picts/picttga.h"
#include "raster_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  decodeAll<cPictTGA>(data, size);
  return 0;
}
