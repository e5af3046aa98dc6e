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

// Headers may ask for a gigabyte of samples and the decoder grants it; the
// fuzzer's memory cap would end the run there, so such inputs stop after
// the header.
constexpr long long kMaxFuzzSamples = 1 << 24;

bool small(const cJP2Image& image) {
  long long samples = 0;
  for (unsigned int c = 0; c < image.numcomps; ++c)
    samples += static_cast<long long>(image.comps.ptr[c].w) * image.comps.ptr[c].h;
  return samples <= kMaxFuzzSamples;
}

bool decode(const uint8_t* data, size_t size, const int* area) {
  cBufWrapperIO io(const_cast<uint8_t*>(data), static_cast<long long>(size), false);
  cJP2FileIOTarget in(&io);
  cJ2KDecode dec;
  cPtr<cJP2Image> image;
  if (!dec.readHeader(&in, image) || !small(*image)) return false;
  if (area && !dec.setDecodeArea(image.ptr, area[0], area[1], area[2], area[3])) return true;
  if (dec.decode(&in, image.ptr)) touch(*image);
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  cBufWrapperIO io(const_cast<uint8_t*>(data), static_cast<long long>(size), false);
  cPictBase::sPictInfo info;
  if (!cPictJ2K::validFor(&io, &info)) return 0;
  if (!decode(data, size, nullptr)) return 0;
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
