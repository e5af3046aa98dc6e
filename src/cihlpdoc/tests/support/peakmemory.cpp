#include "support/peakmemory.h"

#include <atomic>
#include <cstddef>
#include <cstdlib>
#include <new>

namespace {

std::atomic<long long> gLive{0}, gPeak{0}, gBaseline{0};
// Keeps the size in front of the block, aligned for any element.
constexpr size_t kHeader = alignof(std::max_align_t);

}  // namespace

long long peakArrayBytes() { return gPeak.load() - gBaseline.load(); }
void resetPeakArrayBytes() {
  gBaseline = gLive.load();
  gPeak = gBaseline.load();
}

void* operator new[](size_t n) {
  auto* p = static_cast<unsigned char*>(std::malloc(n + kHeader));
  if (!p) throw std::bad_alloc();
  *reinterpret_cast<size_t*>(p) = n;
  long long live = gLive += static_cast<long long>(n);
  for (long long peak = gPeak.load(); live > peak && !gPeak.compare_exchange_weak(peak, live);) {
  }
  return p + kHeader;
}

void operator delete[](void* block) noexcept {
  if (!block) return;
  auto* p = static_cast<unsigned char*>(block) - kHeader;
  gLive -= static_cast<long long>(*reinterpret_cast<size_t*>(p));
  std::free(p);
}

void operator delete[](void* block, size_t) noexcept { operator delete[](block); }
