// What the picture benchmarks measure: the best time of a few runs and the
// growth of the peak resident size over one run.
#pragma once

#include <malloc.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <cstring>
#include <fstream>
#include <string>

namespace bench {

inline long long statusKb(const char* field) {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind(field, 0) == 0) return std::stoll(line.substr(std::strlen(field)));
  return 0;
}

// Runs `decode` once with the peak resident size reset first; answers the
// growth of the peak over the size before, in KiB.
template <typename F>
long long peakGrowthKb(F decode) {
  malloc_trim(0);
  std::ofstream("/proc/self/clear_refs") << "5";
  long long before = statusKb("VmRSS:");
  decode();
  return statusKb("VmHWM:") - before;
}

template <typename F>
double bestMs(int runs, F decode, bool& ok) {
  double best = 1e300;
  for (int run = 0; run < runs; ++run) {
    auto start = std::chrono::steady_clock::now();
    ok = decode() && ok;
    best = std::min(
        best, std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
  }
  return best;
}

inline double processCpuMs() {
  timespec t;
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

// The best processor time of the process (all its threads) over the runs:
// on a shared machine it does not count the time other work held the cores.
template <typename F>
double bestCpuMs(int runs, F decode, bool& ok) {
  double best = 1e300;
  for (int run = 0; run < runs; ++run) {
    double start = processCpuMs();
    ok = decode() && ok;
    best = std::min(best, processCpuMs() - start);
  }
  return best;
}

}  // namespace bench
