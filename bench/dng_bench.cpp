// dng_bench: synthesises a 24-megapixel CFA DNG (6000 x 4000, 14-bit smooth
// mosaic, 256 x 256 lossless JPEG tiles), puts it in a scratch file (so the
// page cache holds it for both), and decodes it with cPictDNG and with
// `dcraw -q 2 -o 0 -4 -c > /dev/null`, both single-threaded: the best of a
// few runs each, our time split into reading the raw and finishing it.
#include <cstdio>

#include "bench_timing.h"
#include "picts/dng.h"
#include "picts/tests/raw_support.h"

namespace {

using Clock = std::chrono::steady_clock;

double ms(Clock::time_point a, Clock::time_point b) {
  return std::chrono::duration<double, std::milli>(b - a).count();
}

// Notes when the raw plane is complete, between reading and finishing.
struct cTimedDNG : cPictDNG {
  Clock::time_point rawDone;
  bool onRawDecoded(cFileIOTarget* io) override {
    rawDone = Clock::now();
    return cPictDNG::onRawDecoded(io);
  }
};

}  // namespace

int main() {
  rawtest::DngSpec s;
  s.width = 6000;
  s.height = 4000;
  s.bits = 14;
  s.layout = rawtest::DngSpec::kLJpegTiles;
  s.tile = 256;
  s.samples = rawtest::mosaic(s.width, s.height, true, 1);
  for (uint16_t& v : s.samples) v = static_cast<uint16_t>(v >> 2);
  rawtest::Bytes file = rawtest::writeDng(s);
  const std::string path = tifftest::scratchDir() + "/bench.dng";
  tifftest::writeFile(path, file);
  std::printf("file: %d x %d, %zu bytes\n", s.width, s.height, file.size());

  double best = 1e300, bestRaw = 0, bestFinish = 0;
  for (int run = 0; run < bench::kRuns; ++run) {
    cBufWrapperIO io(file.data(), static_cast<long long>(file.size()), false);
    cTimedDNG dng;
    Clock::time_point start = Clock::now();
    if (!dng.decode(&io)) {
      std::fprintf(stderr, "cPictDNG failed\n");
      return 1;
    }
    Clock::time_point end = Clock::now();
    if (ms(start, end) < best) {
      best = ms(start, end);
      bestRaw = ms(start, dng.rawDone);
      bestFinish = ms(dng.rawDone, end);
    }
  }
  bool ok = true;
  double peer = bench::bestMs(
      bench::kRuns,
      [&] {
        return rawtest::dcrawTo({"-q", "2", "-o", "0", "-4", "-c"}, path, "/dev/null");
      },
      ok);
  if (!ok) {
    std::fprintf(stderr, "dcraw failed\n");
    return 1;
  }
  std::printf("dng: %.1f ms (raw plane %.1f ms, demosaic and finishing %.1f ms)\n", best, bestRaw,
              bestFinish);
  std::printf("dcraw: %.1f ms\n", peer);
  std::printf("ratio dng/dcraw time: %.3f\n", best / peer);
  return 0;
}
