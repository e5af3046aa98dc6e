// Pentax camera files from arbitrary bytes: probing, decoding every body
// kind, the second IFD's preview, and the factory into a small bitmap.
#include "camera_fuzz.h"
#include "picts/pictpef.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  decodeCamera<cPictPEF>(data, size);
  return 0;
}
