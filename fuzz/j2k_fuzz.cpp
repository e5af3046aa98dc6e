// JPEG 2000 codestreams of arbitrary bytes: the probe, a whole decode and a
// decode restricted to an area taken from the input's last bytes.
#include <cstddef>
#include <cstdint>

#include "base/memio.h"
#include "picts/jp2codec.h"
#include "picts/pictjp2.h"

namespace {

// Reading every sample into a place the compiler must keep lets the
// sanitizers see any sample the image claims but does not own.
volatile long long gSampleSum;

void touch(const cJP2Image& image) {
  long long sum = 0;
  for (unsigned int c = 0; c < image.numcomps; ++c) {
    const sJP2ImageComp& ic = image.comps.ptr[c];
    for (long long i = 0; i < ic.data.count; ++i) sum += ic.data.ptr[i];
  }
  gSampleSum = sum;
}

void decode(const uint8_t* data, size_t size, const int* area) {
  cBufWrapperIO io(const_cast<uint8_t*>(data), static_cast<long long>(size), false);
  cJP2FileIOTarget in(&io);
  cJ2KDecode dec;
  cPtr<cJP2Image> image;
  if (!dec.readHeader(&in, image)) return;
  if (area && !dec.setDecodeArea(image.ptr, area[0], area[1], area[2], area[3])) return;
  if (dec.decode(&in, image.ptr)) touch(*image);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  cBufWrapperIO io(const_cast<uint8_t*>(data), static_cast<long long>(size), false);
  cPictBase::sPictInfo info;
  if (!cPictJ2K::validFor(&io, &info)) return 0;
  decode(data, size, nullptr);
  if (size >= 4) {
    const uint8_t* t = data + size - 4;
    int area[4] = {t[0], t[1], t[0] + 1 + t[2], t[1] + 1 + t[3]};
    decode(data, size, area);
  }
  cPictJ2K pict;
  io.set_fp(0);
  pict.decode(&io);
  return 0;
}
