// Icon families of arbitrary bytes: the probe, every page, the preview
// within a size and rendering a page into a small target.
#include <cstddef>
#include <cstdint>

#include "base/memio.h"
#include "picts/picticns.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  cBufWrapperIO io(const_cast<uint8_t*>(data), static_cast<long long>(size), false);
  cPictICNS icns;
  if (!icns.isPicture(&io, nullptr)) return 0;
  icns.decode(&io);
  int pages = icns.getNumPages(&io);
  for (int page = 0; page < pages && page < 8; ++page) icns.decodePage(&io, page);
  cPictDummy out;
  long long limit = 32;
  icns.getPreview(&io, out, &limit, &limit);
  icns.decodePagePreview(&io, out, 8, 8, 0, true, 0xFFFFFFFF);
  return 0;
}
