// Sony camera files from arbitrary bytes: probing, decoding every body
// kind with the private and Minolta blocks, the preview, and the factory.
#include "camera_fuzz.h"
#include "picts/pictarw.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  decodeCamera<cPictARW>(data, size);
  return 0;
}
