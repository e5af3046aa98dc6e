// Phase One camera files from arbitrary bytes: probing, plain files and
// stored ZIP members, the body with its tables, the TIFF preview, and the
// factory into a small bitmap.
#include "camera_fuzz.h"
#include "picts/pictiiq.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  decodeCamera<cPictIIQ>(data, size);
  return 0;
}
