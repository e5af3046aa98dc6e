// nef_bench: synthesises a 24-megapixel NEF (6000 x 4000, 14-bit smooth
// mosaic, lossless Huffman body), puts it in a scratch file (so the page
// cache holds it for both), and decodes it with cPictNEF and with
// `dcraw -q 2 -o 0 -4 -c > /dev/null`, both single-threaded: the best of a
// few runs each, our time split into reading the raw and finishing it.
#include <cstdio>

#include "bench_timing.h"
#include "picts/nef.h"
#include "picts/tests/nef_support.h"

namespace {

using Clock = std::chrono::steady_clock;

double ms(Clock::time_point a, Clock::time_point b) {
  return std::chrono::duration<double, std::milli>(b - a).count();
}

// Notes when the raw plane is complete, between reading and finishing.
struct cTimedNEF : cPictNEF {
  Clock::time_point rawDone;
  bool onAfterDecodeStripes() override {
    rawDone = Clock::now();
    return cPictNEF::onAfterDecodeStripes();
  }
};

}  // namespace

int main() {
  neftest::Spec s;
  s.plane.width = 6000;
  s.plane.height = 4000;
  s.plane.bits = 14;
  for (uint16_t v : rawtest::mosaic(s.plane.width, s.plane.height, true, 1))
    s.plane.v.push_back(static_cast<uint16_t>(v >> 2));
  s.kind = 3;
  s.linearization = neftest::Bytes(12, 0);
  s.linearization[0] = 'F';
  s.subIfds = 2;
  const neftest::Bytes file = neftest::writeNef(s);
  const std::string path = tifftest::scratchDir() + "/bench.nef";
  tifftest::writeFile(path, file);
  std::printf("file: %d x %d, %zu bytes\n", s.plane.width, s.plane.height, file.size());

  double best = 1e300, bestRaw = 0, bestFinish = 0;
  for (int run = 0; run < bench::kRuns; ++run) {
    cBufWrapperIO io(const_cast<uint8_t*>(file.data()), static_cast<long long>(file.size()), false);
    cTimedNEF nef;
    Clock::time_point start = Clock::now();
    if (!nef.decode(&io)) {
      std::fprintf(stderr, "cPictNEF failed\n");
      return 1;
    }
    Clock::time_point end = Clock::now();
    if (ms(start, end) < best) {
      best = ms(start, end);
      bestRaw = ms(start, nef.rawDone);
      bestFinish = ms(nef.rawDone, end);
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
  std::printf("nef: %.1f ms (raw plane %.1f ms, demosaic and finishing %.1f ms)\n", best, bestRaw,
              bestFinish);
  std::printf("dcraw: %.1f ms\n", peer);
  std::printf("ratio nef/dcraw time: %.3f\n", best / peer);
  return 0;
}
