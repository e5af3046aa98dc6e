// Samsung camera files from arbitrary bytes: probing, decoding every body
// kind, the preview, and the factory into a small bitmap.
#include "camera_fuzz.h"
#include "picts/pictsrw.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  decodeCamera<cPictSRW>(data, size);
  return 0;
}
