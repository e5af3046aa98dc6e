#include "picts/pixelalloc.h"

#include <cstring>
#include <new>

long long pictPixelCount(long long w, long long h) {
  if (w < 1 || h < 1 || w > kMaxPictPixels / h) return -1;
  return w * h;
}

namespace {

template <typename T>
bool allocZeroed(_typebuf<T>& buf, long long w, long long h) {
  long long count = pictPixelCount(w, h);
  if (count < 0) {
    buf.set(0);
    return false;
  }
  try {
    buf.set(count);
  } catch (const std::bad_alloc&) {
    return false;  // set() emptied the buffer before asking
  }
  std::memset(buf.ptr, 0, static_cast<size_t>(count) * sizeof(T));
  return true;
}

}  // namespace

bool allocPictPixels(_typebuf<unsigned int>& buf, long long w, long long h) { return allocZeroed(buf, w, h); }

bool allocPictPixels(_typebuf<unsigned long long>& buf, long long w, long long h) {
  return allocZeroed(buf, w, h);
}
