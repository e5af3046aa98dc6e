#include "picts/pixelalloc.h"

#include <sys/mman.h>

#include <atomic>
#include <cstdint>
#include <cstring>
#include <new>

long long pictPixelCount(long long w, long long h) {
  if (w < 1 || h < 1 || w > kMaxPictPixels / h) return -1;
  return w * h;
}

bool pictDataCanHold(long long w, long long h, unsigned long long bytes, unsigned long long pixels,
                     unsigned long long per) {
  const long long count = pictPixelCount(w, h);
  if (count < 0 || per < 1) return false;
  const unsigned long long n = static_cast<unsigned long long>(count);
  // With n below 2^28 and both ratio terms below 2^20 no product overflows.
  constexpr unsigned long long kPlenty = 1ULL << 40;
  return bytes >= kPlenty || n * per <= bytes * pixels;
}

namespace {

std::atomic<unsigned long long> gRequested{0};

// Large pictures ask for huge pages: the first touch of every 4 KiB page
// otherwise costs a fault, a noticeable share of a camera file's decode.
void preferHugePages(void* p, size_t bytes) {
  constexpr size_t kPage = 4096, kWorthIt = size_t(8) << 20;
  if (bytes < kWorthIt) return;
  const uintptr_t from = (reinterpret_cast<uintptr_t>(p) + kPage - 1) & ~uintptr_t(kPage - 1);
  const uintptr_t to = (reinterpret_cast<uintptr_t>(p) + bytes) & ~uintptr_t(kPage - 1);
  madvise(reinterpret_cast<void*>(from), to - from, MADV_HUGEPAGE);  // only advice: failure changes nothing
}

template <typename T>
bool allocCount(_typebuf<T>& buf, long long count) {
  if (count < 1 || count > kMaxPictSamples) {
    buf.set(0);
    return false;
  }
  gRequested += static_cast<unsigned long long>(count) * sizeof(T);
  try {
    buf.set(count);
  } catch (const std::bad_alloc&) {
    return false;  // set() emptied the buffer before asking
  }
  preferHugePages(buf.ptr, static_cast<size_t>(count) * sizeof(T));
  std::memset(buf.ptr, 0, static_cast<size_t>(count) * sizeof(T));
  return true;
}

template <typename T>
bool allocZeroed(_typebuf<T>& buf, long long w, long long h) {
  return allocCount(buf, pictPixelCount(w, h));
}

}  // namespace

unsigned long long pictBytesRequested() { return gRequested; }

bool allocPictPixels(_typebuf<unsigned int>& buf, long long w, long long h) { return allocZeroed(buf, w, h); }

bool allocPictPixels(_typebuf<unsigned long long>& buf, long long w, long long h) {
  return allocZeroed(buf, w, h);
}

bool allocPictPixels(_typebuf<unsigned short>& buf, long long w, long long h) { return allocZeroed(buf, w, h); }

bool allocPictSamples(_typebuf<int>& buf, long long count) { return allocCount(buf, count); }
bool allocPictSamples(_typebuf<float>& buf, long long count) { return allocCount(buf, count); }
bool allocPictSamples(_typebuf<unsigned char>& buf, long long count) { return allocCount(buf, count); }
