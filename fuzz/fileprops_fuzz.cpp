// Any file on the manager's road: recognised by guessObj, then loaded for
// the small and the large icon.
#include <cstddef>
#include <cstdint>
#include <initializer_list>

#include "base/memio.h"
#include "propreader/fileprops.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  cBufWrapperIO io(const_cast<uint8_t*>(data), static_cast<long long>(size), false);
  cPtr<cFileObjectProps> props(cFileObjectProps::guessObj(&io));
  if (!props) return 0;
  for (int side : {16, 48}) {
    props->close();
    props->setPreviewPreferrences(side, side);
    io.set_fp(0);
    props->load(&io, 0, true);
  }
  return 0;
}
