// The common body of the raster decoders' targets: probing, decoding into
// the picture's own buffer (every pixel read back, so the sanitizers see any
// pixel the picture claims but does not own) and rendering into a small
// target while decoding.
#pragma once

#include <cstddef>
#include <cstdint>

#include "base/memio.h"
#include "picts/pictbase.h"

namespace {

volatile unsigned long long gPixelSum;

void readEveryPixel(cPictBase& pict) {
  unsigned long long sum = 0;
  long long count = pict.width() * pict.height();
  if (pict.is16Bpp() ? !pict.raw16Bpp() : !pict.raw8Bpp()) return;
  for (long long i = 0; i < count; ++i) sum += pict.is16Bpp() ? pict.raw16Bpp()[i] : pict.raw8Bpp()[i];
  gPixelSum = sum;
}

// `prepare` sets the decoder up (icon mode and the like) before each decode.
template <typename Decoder, typename Prepare>
void decodeAll(const uint8_t* data, size_t size, bool (*probe)(cFileIOTarget*, cPictBase::sPictInfo*),
               Prepare prepare) {
  cBufWrapperIO io(const_cast<uint8_t*>(data), static_cast<long long>(size), false);
  cPictBase::sPictInfo info;
  if (probe && !probe(&io, &info)) return;
  Decoder pict;
  prepare(pict);
  io.set_fp(0);
  if (pict.decode(&io)) readEveryPixel(pict);
  cPictDummy icon;
  icon.create(16, 16, 0);
  cPictBase::sExtPictDef target(&icon);
  Decoder rendering;
  prepare(rendering);
  rendering.setExtTarget(&target);
  io.set_fp(0);
  rendering.decode(&io);
}

template <typename Decoder>
void decodeAll(const uint8_t* data, size_t size) {
  decodeAll<Decoder>(data, size, &Decoder::validFor, [](Decoder&) {});
}

}  // namespace
