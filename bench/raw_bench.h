// What the camera-file benchmarks share: the synthesised file is written
// where dcraw reads it (the page cache then holds it for both) and decoded
// by our decoder and by `dcraw -q 2 -o 0 -4 -c > /dev/null` (PPG, camera
// colours, 16-bit output), both single-threaded, the best of a few runs
// each by processor time. A decoder that notes `rawDone` has its time split
// into reading the raw plane and finishing it.
#pragma once

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>

#include "base/memio.h"
#include "bench_timing.h"
#include "picts/tests/raw_support.h"

namespace bench {

// Processor time of the children waited for so far, in ms.
inline double childCpuMs() {
  rusage use{};
  getrusage(RUSAGE_CHILDREN, &use);
  return (use.ru_utime.tv_sec + use.ru_stime.tv_sec) * 1e3 + (use.ru_utime.tv_usec + use.ru_stime.tv_usec) / 1e3;
}

// The synthesised file and its scratch folder go when the run ends, however
// it ends: a run must not leave tens of megabytes behind. A later run in
// the same program makes the folder again.
struct sScratchFile {
  std::string path;
  explicit sScratchFile(const char* name) : path(tifftest::scratchDir() + "/bench." + name) {
    mkdir(tifftest::scratchDir().c_str(), 0700);
  }
  ~sScratchFile() {
    std::remove(path.c_str());
    rmdir(tifftest::scratchDir().c_str());
  }
};

// Both sides single-threaded: the ratio is of processor times, which the
// machine's other load disturbs far less than the clock.
template <typename Decoder>
int compareRawWithDcraw(const char* name, const std::vector<uint8_t>& file) {
  using Clock = std::chrono::steady_clock;
  auto ms = [](Clock::time_point a, Clock::time_point b) {
    return std::chrono::duration<double, std::milli>(b - a).count();
  };
  const sScratchFile scratch(name);
  const std::string& path = scratch.path;
  tifftest::writeFile(path, file);
  std::printf("file: %zu bytes\n", file.size());
  double best = 1e300, bestWall = 0, bestRaw = 0, bestFinish = 0;
  for (int run = 0; run < kRuns; ++run) {
    cBufWrapperIO io(const_cast<uint8_t*>(file.data()), static_cast<long long>(file.size()), false);
    Decoder decoder;
    const Clock::time_point start = Clock::now();
    const double cpuStart = cpuMs();
    if (!decoder.decode(&io)) {
      std::fprintf(stderr, "%s: our decoder failed\n", name);
      return 1;
    }
    const double cpu = cpuMs() - cpuStart;
    const Clock::time_point end = Clock::now();
    if (cpu >= best) continue;
    best = cpu;
    bestWall = ms(start, end);
    if constexpr (requires { decoder.rawDone; }) {
      bestRaw = ms(start, decoder.rawDone);
      bestFinish = ms(decoder.rawDone, end);
    }
  }
  double peer = 1e300, peerWall = 1e300;
  for (int run = 0; run < kRuns; ++run) {
    const Clock::time_point start = Clock::now();
    const double cpuStart = childCpuMs();
    if (!rawtest::dcrawTo({"-q", "2", "-o", "0", "-4", "-c"}, path, "/dev/null")) {
      std::fprintf(stderr, "%s: dcraw failed\n", name);
      return 1;
    }
    peer = std::min(peer, childCpuMs() - cpuStart);
    peerWall = std::min(peerWall, ms(start, Clock::now()));
  }
  if (bestRaw > 0)
    std::printf("%s: cpu %.1f ms, clock %.1f ms (raw plane %.1f ms, demosaic and finishing %.1f ms)\n", name,
                best, bestWall, bestRaw, bestFinish);
  else
    std::printf("%s: cpu %.1f ms, clock %.1f ms\n", name, best, bestWall);
  std::printf("dcraw: cpu %.1f ms, clock %.1f ms\n", peer, peerWall);
  std::printf("ratio %s/dcraw time: %.3f\n", name, best / peer);
  return 0;
}

}  // namespace bench
