// Olympus camera files from arbitrary bytes: probing, decoding every body
// layout, the maker-note preview, and the factory into a small bitmap.
#include "camera_fuzz.h"
#include "picts/pictorf.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  decodeCamera<cPictORF>(data, size);
  return 0;
}
