// Icon directories of arbitrary bytes: the probe, every page, the preview
// choice and rendering into a small target.
#include <cstddef>
#include <cstdint>

#include "base/memio.h"
#include "picts/pictico.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  cBufWrapperIO io(const_cast<uint8_t*>(data), static_cast<long long>(size), false);
  cPictBase::sPictInfo info;
  if (!cPictICO::validFor(&io, &info)) return 0;
  cPictICO ico;
  io.set_fp(0);
  int pages = ico.getNumPages(&io);
  for (int page = 0; page < pages && page < 8; ++page) {
    io.set_fp(0);
    ico.decodePage(&io, page);
  }
  cPictDummy out;
  long long limit = 16;
  io.set_fp(0);
  ico.getPreview(&io, out, &limit, &limit);
  io.set_fp(0);
  ico.decodePagePreview(&io, out, 16, 16, 0, true, 0xFFFFFFFF);
  cPictDummy icon;
  icon.create(16, 16, 0);
  cPictBase::sExtPictDef target(&icon);
  ico.setExtTarget(&target);
  io.set_fp(0);
  ico.decode(&io);
  return 0;
}
