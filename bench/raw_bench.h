// What the camera-file benchmarks share: the synthesised file is written
// where dcraw reads it (the page cache then holds it for both) and decoded
// by our decoder and by `dcraw -q 2 -o 0 -4 -c > /dev/null` (PPG, camera
// colours, 16-bit output), both single-threaded, the best of a few runs
// each. A decoder that notes `rawDone` has its time split into reading the
// raw plane and finishing it.
#pragma once

#include <chrono>
#include <cstdio>
#include <string>

#include "base/memio.h"
#include "bench_timing.h"
#include "picts/tests/raw_support.h"

namespace bench {

template <typename Decoder>
int compareRawWithDcraw(const char* name, const std::vector<uint8_t>& file) {
  using Clock = std::chrono::steady_clock;
  auto ms = [](Clock::time_point a, Clock::time_point b) {
    return std::chrono::duration<double, std::milli>(b - a).count();
  };
  const std::string path = tifftest::scratchDir() + "/bench." + name;
  tifftest::writeFile(path, file);
  std::printf("file: %zu bytes\n", file.size());
  double best = 1e300, bestRaw = 0, bestFinish = 0;
  for (int run = 0; run < kRuns; ++run) {
    cBufWrapperIO io(const_cast<uint8_t*>(file.data()), static_cast<long long>(file.size()), false);
    Decoder decoder;
    Clock::time_point start = Clock::now();
    if (!decoder.decode(&io)) {
      std::fprintf(stderr, "%s: our decoder failed\n", name);
      return 1;
    }
    Clock::time_point end = Clock::now();
    if (ms(start, end) >= best) continue;
    best = ms(start, end);
    if constexpr (requires { decoder.rawDone; }) {
      bestRaw = ms(start, decoder.rawDone);
      bestFinish = ms(decoder.rawDone, end);
    }
  }
  bool ok = true;
  double peer = bestMs(
      kRuns, [&] { return rawtest::dcrawTo({"-q", "2", "-o", "0", "-4", "-c"}, path, "/dev/null"); }, ok);
  if (!ok) {
    std::fprintf(stderr, "%s: dcraw failed\n", name);
    return 1;
  }
  if (bestRaw > 0)
    std::printf("%s: %.1f ms (raw plane %.1f ms, demosaic and finishing %.1f ms)\n", name, best, bestRaw,
                bestFinish);
  else
    std::printf("%s: %.1f ms\n", name, best);
  std::printf("dcraw: %.1f ms\n", peer);
  std::printf("ratio %s/dcraw time: %.3f\n", name, best / peer);
  return 0;
}

}  // namespace bench
