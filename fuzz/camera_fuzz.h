// The common body of the camera decoders' targets: probe, decode (every
// pixel read back so the sanitizers see any the picture claims but does not
// own), the embedded preview at a small size, then the factory.
#pragma once

#include <cstddef>
#include <cstdint>

#include "base/memio.h"
#include "picts/pictbase.h"

namespace {

volatile unsigned long long gPixelSum;

template <typename Decoder>
void decodeCamera(const uint8_t* data, size_t size) {
  cBufWrapperIO io(const_cast<uint8_t*>(data), static_cast<long long>(size), false);
  Decoder pict;
  cPictBase::sPictInfo info;
  if (!pict.isPicture(&io, &info)) return;
  io.set_fp(0);
  if (pict.decode(&io) && pict.raw16Bpp()) {
    unsigned long long sum = 0;
    for (long long i = 0; i < pict.width() * pict.height(); ++i) sum += pict.raw16Bpp()[i];
    gPixelSum = sum;
  }
  const long long side = 16;
  cPictDummy preview;
  pict.getPreview(&io, preview, &side, &side);
  cPictDummy icon;
  io.set_fp(0);
  cPictBase::getImage(&io, icon, 16, 16, 0);
}

}  // namespace
