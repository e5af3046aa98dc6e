#include "picts/pixelalloc.h"

#include <cstring>
#include <new>

long long pictPixelCount(long long w, long long h) {
  if (w < 1 || h < 1 || w > kMaxPictPixels / h) return -1;
  return w * h;
}

namespace {

template <typename T>
bool allocCount(_typebuf<T>& buf, long long count) {
  if (count < 1 || count > kMaxPictSamples) {
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

template <typename T>
bool allocZeroed(_typebuf<T>& buf, long long w, long long h) {
  return allocCount(buf, pictPixelCount(w, h));
}

}  // namespace

bool allocPictPixels(_typebuf<unsigned int>& buf, long long w, long long h) { return allocZeroed(buf, w, h); }

bool allocPictPixels(_typebuf<unsigned long long>& buf, long long w, long long h) {
  return allocZeroed(buf, w, h);
}

bool allocPictPixels(_typebuf<unsigned short>& buf, long long w, long long h) { return allocZeroed(buf, w, h); }

bool allocPictSamples(_typebuf<int>& buf, long long count) { return allocCount(buf, count); }
bool allocPictSamples(_typebuf<float>& buf, long long count) { return allocCount(buf, count); }
bool allocPictSamples(_typebuf<unsigned char>& buf, long long count) { return allocCount(buf, count); }
