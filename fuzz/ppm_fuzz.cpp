// PPM decoding of arbitrary bytes.
#include "picts/pictppm.h"
#include "raster_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  decodeAll<cPictPPM>(data, size);
  return 0;
}
