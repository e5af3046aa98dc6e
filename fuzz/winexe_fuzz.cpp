// Windows executables of arbitrary bytes: the headers, the resource walk,
// the version blocks and the icon choice at a small and an unlimited size.
#include <cstddef>
#include <cstdint>
#include <initializer_list>

#include "base/memio.h"
#include "propreader/winexeprops.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  cBufWrapperIO io(const_cast<uint8_t*>(data), static_cast<long long>(size), false);
  cWinExeProps props;
  for (int side : {16, -1}) {
    props.close();
    props.setPreviewPreferrences(side, side);
    io.set_fp(0);
    props.load(&io, 0, true);
  }
  return 0;
}
