// Fujifilm camera files from arbitrary bytes: probing, bare and directory
// sections, every packing, the diamond layout, the preview, and the factory
// into a small bitmap.
#include "camera_fuzz.h"
#include "picts/pictraf.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  decodeCamera<cPictRAF>(data, size);
  return 0;
}
