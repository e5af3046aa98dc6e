// Camera lossless JPEG of arbitrary bytes. The first nine bytes choose the
// raw geometry the caller would give (size, slices or interlacing), so that
// every layout meets hostile streams; the rest is the stream.
#include <cstddef>
#include <cstdint>

#include "base/memio.h"
#include "picts/raw_ljpeg.h"

namespace {

// Reading every sample lets the sanitizers see a buffer smaller than claimed.
volatile unsigned gSampleSum;

unsigned word(const uint8_t* p) { return static_cast<unsigned>(p[0] << 8 | p[1]); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 9) return 0;
  // Up to 1024 x 1024: room for every layout, while buffers of many
  // megabytes at every run would grow the sanitizer's heap past the
  // fuzzer's memory limit.
  unsigned width = word(data) % 1025, height = word(data + 2) % 1025;
  unsigned slices = data[4] % 5, sliceWidth = word(data + 5), lastWidth = word(data + 7);
  cRAWLosslessJpeg raw;
  if (slices == 4)
    raw.init(width, height,
             sliceWidth & 1 ? cRAWLosslessJpeg::kScanInterlaced : cRAWLosslessJpeg::kScanPlain);
  else
    raw.init(width, height, slices, sliceWidth, lastWidth);
  cBufWrapperIO io(const_cast<uint8_t*>(data + 9), static_cast<long long>(size - 9), false);
  raw.decode(&io);
  _typebuf<unsigned char> buf;
  if (raw.getData(buf)) {
    unsigned sum = 0;
    for (long long i = 0; i < buf.count; ++i) sum += buf.ptr[i];
    gSampleSum = sum;
  }
  return 0;
}
