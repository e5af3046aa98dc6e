// Panasonic and Leica camera files from arbitrary bytes: probing, decoding
// every body kind, and the factory into a small bitmap.
#include "camera_fuzz.h"
#include "picts/pictrwl.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  decodeCamera<cPictRWL>(data, size);
  return 0;
}
