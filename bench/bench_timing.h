// Timing and memory figures shared by the decoder benchmarks: the best of a
// few runs, and the growth of the resident peak over one run.
#pragma once

#include <malloc.h>
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace bench {

using Bytes = std::vector<unsigned char>;
constexpr int kRuns = 3;

inline Bytes readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

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

inline double cpuMs() {
  timespec now;
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return now.tv_sec * 1e3 + now.tv_nsec / 1e6;
}

struct sTimes {
  double wallMs = 1e300;
  double cpuMs = 1e300;
};

// The best of `runs` runs, by the clock and by the processor time this
// process took (steadier on a busy machine); `ok` turns false when one fails.
template <typename F>
sTimes bestTimes(int runs, F decode, bool& ok) {
  sTimes best;
  for (int run = 0; run < runs; ++run) {
    auto start = std::chrono::steady_clock::now();
    double cpuStart = cpuMs();
    ok = decode() && ok;
    best.cpuMs = std::min(best.cpuMs, cpuMs() - cpuStart);
    best.wallMs = std::min(
        best.wallMs, std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
  }
  return best;
}

template <typename F>
double bestMs(int runs, F decode, bool& ok) {
  return bestTimes(runs, decode, ok).wallMs;
}

// Decodes every file of `dir` with the given `extensions` by both decoders
// (each answering whether it succeeded), prints per file the best of a few
// runs and each one's peak growth, and ends with the ratio of processor
// times (single-threaded decoders, so the clock only adds the machine's load).
template <typename Own, typename Peer>
int compareDecoders(const char* dir, const std::vector<std::string>& extensions, const char* own,
                    const char* peer, Own decodeOwn, Peer decodePeer) {
  // Every large buffer gets its own mapping and goes back when freed, so the
  // peaks of one decoder do not hide in memory the other left behind.
  mallopt(M_MMAP_THRESHOLD, 128 * 1024);
  std::vector<std::filesystem::path> paths;
  for (const auto& entry : std::filesystem::directory_iterator(dir))
    if (std::find(extensions.begin(), extensions.end(), entry.path().extension()) != extensions.end())
      paths.push_back(entry.path());
  std::sort(paths.begin(), paths.end());
  double ownTotal = 0, peerTotal = 0;
  long long ownPeak = 0, peerPeak = 0;
  for (const auto& path : paths) {
    Bytes file = readFile(path);
    bool ok = true;
    sTimes ownMs = bestTimes(kRuns, [&] { return decodeOwn(file); }, ok);
    sTimes peerMs = bestTimes(kRuns, [&] { return decodePeer(file); }, ok);
    long long ownKb = peakGrowthKb([&] { decodeOwn(file); });
    long long peerKb = peakGrowthKb([&] { decodePeer(file); });
    std::printf("%s: %s %.2f ms (cpu %.2f), %s %.2f ms (cpu %.2f), peak %s %lld KiB, %s %lld KiB%s\n",
                path.filename().c_str(), own, ownMs.wallMs, ownMs.cpuMs, peer, peerMs.wallMs, peerMs.cpuMs, own,
                ownKb, peer, peerKb, ok ? "" : " (a decode failed)");
    ownTotal += ownMs.cpuMs;
    peerTotal += peerMs.cpuMs;
    ownPeak = std::max(ownPeak, ownKb);
    peerPeak = std::max(peerPeak, peerKb);
  }
  if (paths.empty() || peerTotal <= 0) {
    std::fprintf(stderr, "no %s files in %s\n", extensions.front().c_str(), dir);
    return 1;
  }
  std::printf("largest peak %s: %lld KiB\nlargest peak %s: %lld KiB\n", own, ownPeak, peer, peerPeak);
  std::printf("ratio %s/%s time: %.3f\n", own, peer, ownTotal / peerTotal);
  return 0;
}

}  // namespace bench
