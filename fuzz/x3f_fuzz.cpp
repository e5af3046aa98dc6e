// Sigma camera files from arbitrary bytes: probing, the section directory,
// both body formats, the preview choice, and the factory into a small bitmap.
#include "camera_fuzz.h"
#include "picts/pictx3f.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  decodeCamera<cPictX3F>(data, size);
  return 0;
}
