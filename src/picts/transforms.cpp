// Whole-picture operations on decoded pixels, written once for both pixel
// modes: an 8-bit word has four 8-bit channels, a 16-bit word four 16-bit ones.
#include <algorithm>
#include <cstring>
#include <new>
#include <utility>

#include "picts/pictbase.h"
#include "picts/pixelalloc.h"

namespace {

template <typename T>
constexpr int kChannelBits = sizeof(T) * 2;
template <typename T>
constexpr unsigned long long kChannelMax = (1ULL << kChannelBits<T>)-1;

template <typename T>
unsigned long long channelOf(T v, int k) {
  return (static_cast<unsigned long long>(v) >> (kChannelBits<T> * k)) & kChannelMax<T>;
}

template <typename T>
T fromChannels(const double c[4]) {
  unsigned long long v = 0;
  for (int k = 0; k < 4; ++k) v |= static_cast<unsigned long long>(c[k]) << (kChannelBits<T> * k);
  return static_cast<T>(v);
}

// Stretches a row of n pixels (spaced `step` apart) to m pixels (spaced
// `outStep` apart); each channel separately, results truncated.
template <typename T>
void stretchRow(const T* in, long long n, long long step, T* out, long long m, long long outStep) {
  if (m == n) {
    for (long long j = 0; j < m; ++j) out[j * outStep] = in[j * step];
    return;
  }
  double ratio = static_cast<double>(n) / static_cast<double>(m);
  double p = 0;
  for (long long j = 0; j < m; ++j, p += ratio) {
    double c[4] = {0, 0, 0, 0};
    auto add = [&](long long i, double g) {
      T v = in[i * step];
      for (int k = 0; k < 4; ++k) c[k] += static_cast<double>(channelOf(v, k)) * g;
    };
    long long i = static_cast<long long>(p);
    if (i >= n) i = n - 1;
    double f = p - static_cast<double>(i);
    if (m > n) {
      if (f == 0.5) {
        add(i, 1);
      } else if (f < 0.5 && i > 0) {
        add(i, f + 0.5);
        add(i - 1, 0.5 - f);
      } else if (f > 0.5 && i < n - 1) {
        add(i, 1.5 - f);
        add(i + 1, f - 0.5);
      } else {
        add(i, 1);
      }
    } else {
      double weight = 0;
      long long whole = i;
      if (f > 0) {
        add(i, 1 - f);
        weight += 1 - f;
        whole = i + 1;
      }
      double end = p + ratio;
      long long last = static_cast<long long>(end);
      for (long long k = whole; k < last && k < n; ++k) {
        add(k, 1);
        weight += 1;
      }
      double endFrac = end - static_cast<double>(last);
      if (endFrac > 0 && last < n) {
        add(last, endFrac);
        weight += endFrac;
      }
      for (double& v : c) v /= weight;
    }
    out[j * outStep] = fromChannels<T>(c);
  }
}

template <typename T>
bool stretchRows(const T* src, long long w, long long h, int newW, _typebuf<T>& out) {
  if (newW < 1 || w < 1 || h < 1 || !src) return false;
  _typebuf<T> fresh;
  if (!allocPictPixels(fresh, newW, h)) return false;
  for (long long y = 0; y < h; ++y) stretchRow(src + y * w, w, 1, fresh.ptr + y * newW, newW, 1);
  out.set(0);
  std::swap(out.ptr, fresh.ptr);
  std::swap(out.count, fresh.count);
  return true;
}

// The columns of a w x h block stretched to newH rows. Stretching each column
// in place of turning the block, stretching its rows and turning it back
// gives the same pixels without the two extra copies.
template <typename T>
bool stretchColumns(const T* src, long long w, long long h, int newH, _typebuf<T>& out) {
  _typebuf<T> fresh;
  if (!allocPictPixels(fresh, w, newH)) return false;
  for (long long x = 0; x < w; ++x) stretchRow(src + x, h, w, fresh.ptr + x, newH, w);
  out.set(0);
  std::swap(out.ptr, fresh.ptr);
  std::swap(out.count, fresh.count);
  return true;
}

template <typename T>
bool stretchPixels(const _typebuf<T>& src, long long W, long long H, int w, int h, _typebuf<T>& dst) {
  if (w < 1 || h < 1 || W < 1 || H < 1 || !src.ptr) return false;
  if (w == W && h == H) {
    _typebuf<T> fresh;
    if (!allocPictPixels(fresh, W, H)) return false;
    std::memcpy(fresh.ptr, src.ptr, static_cast<size_t>(W * H) * sizeof(T));
    dst.set(0);
    std::swap(dst.ptr, fresh.ptr);
    std::swap(dst.count, fresh.count);
    return true;
  }
  if (h == H) return stretchRows(src.ptr, W, H, w, dst);
  if (w == W) return stretchColumns(src.ptr, W, H, h, dst);
  _typebuf<T> rows;
  return stretchRows(src.ptr, W, H, w, rows) && stretchColumns(rows.ptr, w, H, h, dst);
}

template <typename T>
bool turn(_typebuf<T>& buf, long long w, long long h, int degrees) {
  if (degrees == 180) {
    std::reverse(buf.ptr, buf.ptr + buf.count);
    return true;
  }
  _typebuf<T> fresh;
  if (!allocPictPixels(fresh, h, w)) return false;
  for (long long x = 0; x < w; ++x)
    for (long long y = 0; y < h; ++y)
      fresh.ptr[x * h + y] = degrees == 90 ? buf.ptr[y * w + (w - 1 - x)] : buf.ptr[(h - 1 - y) * w + x];
  buf.set(0);
  std::swap(buf.ptr, fresh.ptr);
  std::swap(buf.count, fresh.count);
  return true;
}

template <typename T>
void swapRows(T* p, long long w, long long h) {
  for (long long r = 0; r < h / 2; ++r) std::swap_ranges(p + r * w, p + (r + 1) * w, p + (h - 1 - r) * w);
}

}  // namespace

bool cPictBase::flip() {
  if (myIs16 ? !myPix16.ptr : !myPix8.ptr) return false;
  if (myIs16)
    swapRows(myPix16.ptr, myWidth, myHeight);
  else
    swapRows(myPix8.ptr, myWidth, myHeight);
  return true;
}

bool cPictBase::rotate(eRotateDegrees d) {
  if (d != kRotate0 && d != kRotate90 && d != kRotate180 && d != kRotate270) return false;
  if (myIs16 ? !myPix16.ptr : !myPix8.ptr) return false;
  if (d == kRotate0) return true;
  bool done = myIs16 ? turn(myPix16, myWidth, myHeight, d) : turn(myPix8, myWidth, myHeight, d);
  if (done && d != kRotate180) std::swap(myWidth, myHeight);
  return done;
}

bool cPictBase::stretchTo(int w, int h, cPictBase& dst) {
  bool done = myIs16 ? stretchPixels(myPix16, myWidth, myHeight, w, h, dst.myPix16)
                     : stretchPixels(myPix8, myWidth, myHeight, w, h, dst.myPix8);
  if (done) {
    dst.myWidth = w;
    dst.myHeight = h;
  }
  return done;
}

bool cPictBase::hStretchTo(int w, _typebuf<unsigned int>& out) {
  return stretchRows(myPix8.ptr, myWidth, myHeight, w, out);
}

bool cPictBase::hStretchTo(int w, _typebuf<unsigned long long>& out) {
  return stretchRows(myPix16.ptr, myWidth, myHeight, w, out);
}

template <typename T>
bool cPictBase::autoScaleWords(const T* src, long long w, long long h) {
  long long count = pictPixelCount(w, h);
  if (!src || count < 0) return false;
  constexpr unsigned long long full = kChannelMax<T>;
  unsigned long long lo = full, hi = 0;
  for (long long i = 0; i < count; ++i)
    for (int k = 0; k < 3; ++k) {
      unsigned long long v = channelOf(src[i], k);
      lo = std::min(lo, v);
      hi = std::max(hi, v);
    }
  // Integer arithmetic, so that the top of the used range lands exactly on full.
  unsigned long long base = hi > lo ? lo : 0, span = hi > lo ? hi - lo : full;
  auto level = [&](T v) {
    unsigned long long out = full << (kChannelBits<T> * 3);
    for (int k = 0; k < 3; ++k) out |= (channelOf(v, k) - base) * full / span << (kChannelBits<T> * k);
    return static_cast<T>(out);
  };
  constexpr bool sixteen = sizeof(T) == 8;
  myWidth = w;
  myHeight = h;
  myIs16 = sixteen;
  if (startExtRender()) {
    for (long long y = 0; y < h; ++y)
      for (long long x = 0; x < w; ++x) {
        if constexpr (sixteen)
          setExtPix16(x, y, level(src[y * w + x]));
        else
          setExtPix(x, y, level(src[y * w + x]));
      }
    return true;
  }
  // The source may be this picture's own buffer: fill a fresh one first.
  _typebuf<T> fresh;
  if (!allocPictPixels(fresh, w, h)) return false;
  for (long long i = 0; i < count; ++i) fresh.ptr[i] = level(src[i]);
  _typebuf<T>& mine = [&]() -> _typebuf<T>& {
    if constexpr (sixteen)
      return myPix16;
    else
      return myPix8;
  }();
  mine.set(0);
  std::swap(mine.ptr, fresh.ptr);
  std::swap(mine.count, fresh.count);
  if constexpr (sixteen)
    myPix8.set(0);
  else
    myPix16.set(0);
  return true;
}

bool cPictBase::autoScaleFrom(unsigned long long* src, long long w, long long h) {
  return autoScaleWords(src, w, h);
}

bool cPictBase::autoScaleFrom(unsigned int* src, long long w, long long h) {
  return autoScaleWords(src, w, h);
}

bool cPictBase::autoScaleFrom(cPictBase& other) {
  if (other.raw16Bpp()) return autoScaleWords(other.raw16Bpp(), other.width(), other.height());
  return autoScaleWords(other.raw8Bpp(), other.width(), other.height());
}
