// JP2 files of arbitrary bytes: the box walk, the colour boxes applied to
// the decoded image, and the picture made from it.
#include <cstddef>
#include <cstdint>

#include "base/memio.h"
#include "picts/jp2codec.h"
#include "picts/pictjp2.h"

namespace {

volatile unsigned long long gPixelSum;

// Headers may ask for a gigabyte of samples and the decoder grants it; the
// fuzzer's memory cap would end the run there, so such inputs stop after
// the header.
bool small(const uint8_t* data, size_t size) {
  cBufWrapperIO io(const_cast<uint8_t*>(data), static_cast<long long>(size), false);
  cJP2FileIOTarget in(&io);
  cJP2Decode dec;
  cPtr<cJP2Image> image;
  if (!dec.readHeader(&in, image)) return false;
  long long samples = 0;
  for (unsigned int c = 0; c < image->numcomps; ++c)
    samples += static_cast<long long>(image->comps.ptr[c].w) * image->comps.ptr[c].h;
  return samples <= 1 << 24;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  cBufWrapperIO io(const_cast<uint8_t*>(data), static_cast<long long>(size), false);
  cPictBase::sPictInfo info;
  if (!cPictJP2::validFor(&io, &info) || !small(data, size)) return 0;
  cPictJP2 pict;
  io.set_fp(0);
  if (pict.decode(&io)) {
    unsigned long long sum = 0;
    for (long long i = 0; i < pict.width() * pict.height(); ++i) sum += pict.raw8Bpp()[i];
    gPixelSum = sum;
  }
  return 0;
}
