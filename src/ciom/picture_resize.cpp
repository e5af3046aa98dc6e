// Resized copies: a separable resampling that interpolates when enlarging
// and averages when shrinking, and a two-dimensional area average.
#include <algorithm>
#include <cstring>

#include "ciom/picture.h"

namespace {

// One line of n pixels to m pixels; `stride` is the distance between
// neighbours in pixels, so the same code runs along rows and along columns.
void resampleLine(const unsigned char* src, long long srcStride, long long n, unsigned char* dst,
                  long long dstStride, long long m) {
  const double q = static_cast<double>(n) / static_cast<double>(m);
  auto at = [&](long long k) { return src + k * srcStride * 4; };
  if (n <= m) {
    double p = 0;
    for (long long i = 0; i < m; ++i, p += q) {
      long long k = std::min(static_cast<long long>(p), n - 1);
      double f = p - static_cast<double>(k);
      const unsigned char* a = at(k);
      const unsigned char* b = a;
      double wa = 1.0;
      if (f < 0.5 && k > 0) {
        b = at(k - 1);
        wa = f + 0.5;
      } else if (f > 0.5 && k < n - 1) {
        b = at(k + 1);
        wa = 1.5 - f;
      }
      unsigned char* d = dst + i * dstStride * 4;
      for (int c = 0; c < 4; ++c)
        d[c] = static_cast<unsigned char>(static_cast<int>(a[c] * wa + b[c] * (1.0 - wa)));
    }
    return;
  }
  for (long long i = 0; i < m; ++i) {
    double s = static_cast<double>(i) * q, e = s + q, sums[4] = {0, 0, 0, 0}, weights = 0;
    for (long long k = static_cast<long long>(s); k < n && static_cast<double>(k) < e; ++k) {
      double w = std::min(e, static_cast<double>(k + 1)) - std::max(s, static_cast<double>(k));
      if (w <= 0) continue;
      const unsigned char* a = at(k);
      for (int c = 0; c < 4; ++c) sums[c] += a[c] * w;
      weights += w;
    }
    unsigned char* d = dst + i * dstStride * 4;
    for (int c = 0; c < 4; ++c)
      d[c] = weights > 0 ? static_cast<unsigned char>(std::min(static_cast<int>(sums[c] / weights), 255)) : 0;
  }
}

}  // namespace

cPicture::eResizeStart cPicture::startResize(int w, int h, cPicture* out) const {
  if (!out || out == this || empty() || pixels.count != static_cast<long long>(myWidth) * myHeight)
    return eResizeFailed;
  if (!out->create(w, h)) return eResizeFailed;
  if (w != myWidth || h != myHeight) return eResizeToDo;
  std::memcpy(out->pixels.ptr, pixels.ptr, static_cast<size_t>(pixels.count) * 4);
  return eResizeDone;
}

bool cPicture::resizing(eResizeMethod m, int w, int h, cPicture* out) const {
  if (m == eResizeStretch) return stretch(w, h, out);
  if (m == eResizeScaling) return scaling(w, h, out);
  return false;
}

bool cPicture::stretch(int w, int h, cPicture* out) const {
  if (eResizeStart start = startResize(w, h, out); start != eResizeToDo) return start == eResizeDone;
  const unsigned char* src = reinterpret_cast<const unsigned char*>(pixels.ptr);
  unsigned char* dst = reinterpret_cast<unsigned char*>(out->pixels.ptr);
  if (h == myHeight) {
    for (long long y = 0; y < h; ++y) resampleLine(src + y * myWidth * 4, 1, myWidth, dst + y * w * 4, 1, w);
    return true;
  }
  // Rows first into a work picture of the new width, then columns into out.
  cPicture work;
  const unsigned char* rows = src;
  if (w != myWidth) {
    if (!work.create(w, myHeight)) return false;
    unsigned char* wp = reinterpret_cast<unsigned char*>(work.pixels.ptr);
    for (long long y = 0; y < myHeight; ++y)
      resampleLine(src + y * myWidth * 4, 1, myWidth, wp + y * w * 4, 1, w);
    rows = wp;
  }
  for (long long x = 0; x < w; ++x) resampleLine(rows + x * 4, w, myHeight, dst + x * 4, w, h);
  return true;
}

bool cPicture::scaling(int w, int h, cPicture* out) const {
  if (eResizeStart start = startResize(w, h, out); start != eResizeToDo) return start == eResizeDone;
  const double rx = static_cast<double>(myWidth) / w, ry = static_cast<double>(myHeight) / h,
               norm = 1.0 / rx / ry;
  constexpr double kEdge = 1e-7;
  const unsigned char* src = reinterpret_cast<const unsigned char*>(pixels.ptr);
  unsigned char* dst = reinterpret_cast<unsigned char*>(out->pixels.ptr);
  for (long long j = 0; j < h; ++j) {
    const double y0 = static_cast<double>(j) * ry, y1 = y0 + ry;
    for (long long i = 0; i < w; ++i) {
      const double x0 = static_cast<double>(i) * rx, x1 = x0 + rx;
      double sums[4] = {0, 0, 0, 0};
      for (long long sy = static_cast<long long>(y0); sy < myHeight && y1 - static_cast<double>(sy) > kEdge;
           ++sy) {
        double wy = std::min(y1, static_cast<double>(sy + 1)) - std::max(y0, static_cast<double>(sy));
        for (long long sx = static_cast<long long>(x0); sx < myWidth && x1 - static_cast<double>(sx) > kEdge;
             ++sx) {
          double area =
              wy * (std::min(x1, static_cast<double>(sx + 1)) - std::max(x0, static_cast<double>(sx)));
          const unsigned char* p = src + (sy * myWidth + sx) * 4;
          for (int c = 0; c < 4; ++c) sums[c] += p[c] * area;
        }
      }
      unsigned char* d = dst + (j * w + i) * 4;
      for (int c = 0; c < 4; ++c)
        d[c] = static_cast<unsigned char>(std::min(static_cast<int>(sums[c] * norm), 255));
    }
  }
  return true;
}
