// XPM decoding of arbitrary bytes.
#include "picts/pictxpm.h"
#include "raster_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  decodeAll<cPictXPM>(data, size);
  return 0;
}
