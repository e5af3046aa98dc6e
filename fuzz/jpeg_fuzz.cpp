// JPEG decoding of arbitrary bytes: probing, decoding into the picture's own
// buffer, and rendering into a small target while decoding.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "base/memio.h"
#include "picts/pictjpeg.h"

namespace {

// Reading every pixel into a place the compiler must keep lets the
// sanitizers see any pixel the picture claims but does not own.
volatile unsigned long long gPixelSum;

// A frame header of a few bytes may declare a picture of a quarter of a
// gigapixel, which the decoder rightly grants; its 16-bit buffer alone is
// near the fuzzer's memory cap, so such inputs stop after the probe.
constexpr long long kMaxFuzzPixels = 1 << 24;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<uint8_t> file(data, data + size);
  cBufWrapperIO io(file.data(), static_cast<long long>(file.size()), false);
  cPictBase::sPictInfo info;
  if (!cPictJPEG::validFor(&io, &info) || info.width * info.height > kMaxFuzzPixels) return 0;
  cPictJPEG jpeg;
  io.set_fp(0);
  if (jpeg.decode(&io)) {
    unsigned long long sum = 0;
    long long count = jpeg.width() * jpeg.height();
    for (long long i = 0; i < count; ++i) sum += jpeg.is16Bpp() ? jpeg.raw16Bpp()[i] : jpeg.raw8Bpp()[i];
    gPixelSum = sum;
  }
  cPictDummy icon;
  icon.create(16, 16, 0);
  cPictBase::sExtPictDef target(&icon);
  jpeg.setExtTarget(&target);
  io.set_fp(0);
  jpeg.decode(&io);
  return 0;
}
