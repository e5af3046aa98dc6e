// Drawing a picture into a caller's bitmap, scaled to fit and centred: either
// pixel by pixel while a decoder produces them, or in one pass afterwards.
#include <cmath>
#include <new>

#include "picts/pictbase.h"
#include "picts/pixelalloc.h"

namespace {

bool usableTarget(const cPictBase::sExtPictDef* t) {
  return t && t->pixels && t->width >= 1 && t->height >= 1;
}

// Paints the background around the w x h area that lands at (offX, offY).
void fillMargins(cPictBase::sExtPictDef* t, long long offX, long long offY, long long w, long long h) {
  long long W = t->width, H = t->height;
  long long top = offY < H ? offY : H;
  long long bottom = offY + h < H ? offY + h : H;
  long long left = offX < W ? offX : W;
  long long right = offX + w < W ? offX + w : W;
  for (long long y = 0; y < H; ++y) {
    unsigned int* row = t->pixels + y * W;
    if (y < top || y >= bottom) {
      for (long long x = 0; x < W; ++x) row[x] = t->background;
    } else {
      for (long long x = 0; x < left; ++x) row[x] = t->background;
      for (long long x = right; x < W; ++x) row[x] = t->background;
    }
  }
}

long long roundedSize(long long n, double s) {
  long long v = static_cast<long long>(static_cast<double>(n) * s + 0.5);
  return v < 1 ? 1 : v;
}

// Channel k of a pixel on the 0..255 scale; 16-bit channels are divided by 256.
inline double channel(unsigned int v, int k) { return (v >> (8 * k)) & 0xFF; }
inline double channel(unsigned long long v, int k) {
  return static_cast<double>((v >> (16 * k)) & 0xFFFF) / 256.0;
}

// The weighted pixels of the span [p, p + step) of n samples; `minEnd` is the
// smallest end fraction that still counts.
template <typename Get>
void averageSpan(double p, double end, long long n, double minEnd, Get get, double out[4]) {
  double sum[4] = {0, 0, 0, 0}, weight = 0;
  auto add = [&](long long i, double g) {
    if (i < 0 || i >= n || g <= 0) return;
    double v[4];
    get(i, v);
    for (int k = 0; k < 4; ++k) sum[k] += v[k] * g;
    weight += g;
  };
  long long first = static_cast<long long>(p);
  double frac = p - static_cast<double>(first);
  long long whole = first;
  if (frac > 0) {
    add(first, 1.0 - frac);
    whole = first + 1;
  }
  long long last = static_cast<long long>(end);
  for (long long i = whole; i < last && i < n; ++i) add(i, 1.0);
  double endFrac = end - static_cast<double>(last);
  if (endFrac > minEnd) add(last, endFrac);
  if (weight <= 0) {  // rounding left the span empty: take the nearest sample
    add(first < n ? first : n - 1, 1.0);
  }
  for (int k = 0; k < 4; ++k) out[k] = sum[k] / weight;
}

// Separable box averaging of the availW x availH source block starting at
// column x0, row y0 into dw x dh target cells at (offX, offY).
template <typename T>
void drawScaled(const T* src, long long stride, long long x0, long long y0, long long availW,
                long long availH, cPictBase::sExtPictDef* t, long long offX, long long offY, long long dw,
                long long dh, double step) {
  _typebuf<double> column;
  column.set(availH * 4);
  double p = 0;
  for (long long c = 0; c < dw; ++c, p += step) {
    for (long long r = 0; r < availH; ++r) {
      const T* row = src + (y0 + r) * stride + x0;
      double* v = column.ptr + r * 4;
      if (dw == availW) {
        for (int k = 0; k < 4; ++k) v[k] = channel(row[c], k);
      } else {
        averageSpan(
            p, p + step, availW, 0.01,
            [&](long long i, double* out) {
              for (int k = 0; k < 4; ++k) out[k] = channel(row[i], k);
            },
            v);
      }
    }
    long long tx = offX + c;
    if (tx < 0 || tx >= t->width) continue;
    double q = 0;
    for (long long d = 0; d < dh; ++d, q += step) {
      long long ty = offY + d;
      double v[4];
      unsigned int word = 0;
      if (dh == availH) {
        for (int k = 0; k < 4; ++k) {
          double x = std::trunc(column.ptr[d * 4 + k] + 0.5);
          unsigned int b = x <= 0 ? 0 : x >= 255 ? 255 : static_cast<unsigned int>(x);
          word |= b << (8 * k);
        }
      } else {
        double end = q + step < static_cast<double>(availH) ? q + step : static_cast<double>(availH);
        averageSpan(
            q, end, availH, 0.0,
            [&](long long i, double* out) {
              for (int k = 0; k < 4; ++k) out[k] = column.ptr[i * 4 + k];
            },
            v);
        for (int k = 0; k < 4; ++k) {
          unsigned int b = v[k] <= 0 ? 0 : v[k] >= 255 ? 255 : static_cast<unsigned int>(v[k]);
          word |= b << (8 * k);
        }
      }
      if (ty >= 0 && ty < t->height) t->pixels[ty * t->width + tx] = word;
    }
  }
}

}  // namespace

bool cPictBase::setExtTarget(sExtPictDef* t) {
  if (!usableTarget(t)) return false;
  myTarget = t;
  return true;
}

bool cPictBase::checkNeedExtRender() {
  if (usableTarget(myTarget) && myWidth >= 1 && myHeight >= 1) return true;
  myTarget = nullptr;
  return false;
}

bool cPictBase::startExtRender() {
  myAccum.set(0);
  myWeights.set(0);
  myRatio = 1.0;
  myRegW = myRegH = 0;
  myOffX = myOffY = 0;
  sExtPictDef* t = myTarget;
  long long w = myWidth, h = myHeight;
  // The pixel cap holds for rendered pictures too: a header may announce a
  // size whose rows alone would take the decoder's time forever.
  if (!usableTarget(t) || pictPixelCount(w, h) < 0) {
    myTarget = nullptr;
    return false;
  }
  long long W = t->width, H = t->height;
  myVisLeft = 0;
  myVisRight = w - 1;
  myVisTop = 0;
  myVisBottom = h - 1;
  if (w <= W && h <= H) {
    myOffY = (H - h) / 2;
    myOffX = (W - w) / 2;
    fillMargins(t, myOffX, myOffY, w, h);
    t->panX = t->panY = 0;
    return true;
  }
  if (t->mode == 1) {
    // Pans are taken in source pixels throughout, here as in setExtPix.
    if (t->scale > 1.0) t->scale = 1.0;
    double s = t->scale;
    if (!(s > 0)) {
      myTarget = nullptr;
      return false;
    }
    long long sw = roundedSize(w, s), sh = roundedSize(h, s);
    long long maxPanX = sw > W ? static_cast<long long>((sw - W) / s + 0.5) : 0;
    long long maxPanY = sh > H ? static_cast<long long>((sh - H) / s + 0.5) : 0;
    t->panX = t->panX < 0 ? 0 : t->panX > maxPanX ? maxPanX : t->panX;
    t->panY = t->panY < 0 ? 0 : t->panY > maxPanY ? maxPanY : t->panY;
    long long visW = sw < W ? sw : W, visH = sh < H ? sh : H;
    myVisLeft = t->panX;
    myVisRight = static_cast<long long>(visW / s + 0.5 + t->panX);
    myVisTop = t->panY;
    myVisBottom = static_cast<long long>(visH / s + 0.5 + t->panY);
    myRegW = visW;
    myRegH = visH;
    myOffY = (H - visH) / 2;
    myOffX = (W - visW) / 2;
    fillMargins(t, myOffX, myOffY, visW, visH);
    myRatio = s;
  } else if (t->mode == 0) {
    double s0 = std::fmin(static_cast<double>(W) / w, static_cast<double>(H) / h);
    long long sw = roundedSize(w, s0), sh = roundedSize(h, s0);
    myOffY = (H - sh) / 2;
    myOffX = sw < W ? (W - sw) / 2 : 0;
    fillMargins(t, myOffX, myOffY, sw, sh);
    myRatio = h < w ? static_cast<double>(sw) / w : static_cast<double>(sh) / h;
    t->panX = t->panY = 0;
    myRegW = static_cast<long long>(w * myRatio + 0.5);
    myRegH = static_cast<long long>(h * myRatio + 0.5);
    if (myRegW > W) myRegW = W;
    if (myRegH > H) myRegH = H;
  } else {
    myTarget = nullptr;
    return false;
  }
  if (myRatio < 1.0) {
    // The region is bounded by the caller's bitmap, never by the file.
    try {
      myAccum.set(myRegW * myRegH);
      myWeights.set(myRegW * myRegH);
    } catch (const std::bad_alloc&) {
      myAccum.set(0);
      myWeights.set(0);
      myTarget = nullptr;
      return false;
    }
    for (long long i = 0; i < myAccum.count; ++i) myAccum.ptr[i] = {{0, 0, 0, 0}};
    for (long long i = 0; i < myWeights.count; ++i) myWeights.ptr[i] = 0;
  }
  return true;
}

// Spreads components first..last of a source pixel over the region cells it
// covers; each cell's weight grows by `share` of the pixel's weight there.
bool cPictBase::accumulate(long long x, long long y, const unsigned int* values, int first, int last,
                           double share) {
  if (!myAccum.ptr) return false;
  long long px = x - myTarget->panX, py = y - myTarget->panY;
  if (px < 0 || py < 0) return true;
  double s = myRatio;
  auto add = [&](long long cx, long long cy, double g) {
    long long cell = cy * myRegW + cx;
    sColorComposFloat& sums = myAccum.ptr[cell];
    for (int k = first; k <= last; ++k)
      sums.c[k] = static_cast<float>(static_cast<double>(sums.c[k]) + g * values[k]);
    myWeights.ptr[cell] = static_cast<float>(static_cast<double>(myWeights.ptr[cell]) + g * share);
  };
  if (s < 0.5) {
    long long cx = static_cast<long long>(px * s + 0.5), cy = static_cast<long long>(py * s + 0.5);
    if (cx < myRegW && cy < myRegH) add(cx, cy, 1.0);
    return true;
  }
  double xs = px * s, ys = py * s;
  if (xs >= myRegW || ys >= myRegH) return true;
  long long ix = static_cast<long long>(xs), iy = static_cast<long long>(ys);
  long long ix1 = static_cast<long long>(xs + s), iy1 = static_cast<long long>(ys + s);
  double dx = ix1 - xs, dy = iy1 - ys;
  bool twoRows = iy1 != iy && iy1 < myRegH, twoCols = ix1 != ix && ix1 < myRegW;
  if (twoRows && twoCols) {
    add(ix, iy, dx * dy);
    add(ix + 1, iy, (1 - dx) * dy);
    add(ix, iy + 1, dx * (1 - dy));
    add(ix + 1, iy + 1, (1 - dx) * (1 - dy));
  } else if (twoRows) {
    add(ix, iy, dy);
    add(ix, iy + 1, 1 - dy);
  } else if (twoCols) {
    add(ix, iy, dx);
    add(ix + 1, iy, 1 - dx);
  } else {
    add(ix, iy, 1.0);
  }
  return true;
}

bool cPictBase::setExtPix(long long x, long long y, unsigned int pixel) {
  sExtPictDef* t = myTarget;
  if (!t) return false;
  if (myRatio == 1.0) {
    long long tx = myOffX + x - t->panX, ty = myOffY + y - t->panY;
    if (tx >= 0 && ty >= 0 && tx < t->width && ty < t->height) t->pixels[ty * t->width + tx] = pixel;
    return true;
  }
  unsigned int values[4] = {pixel & 0xFF, (pixel >> 8) & 0xFF, (pixel >> 16) & 0xFF, pixel >> 24};
  return accumulate(x, y, values, 0, 3, 1.0);
}

bool cPictBase::setExtPix16(long long x, long long y, unsigned long long pixel) {
  return setExtPix(x, y, to8Bpp(pixel));
}

bool cPictBase::setExtComp(long long x, long long y, unsigned char value, int component) {
  sExtPictDef* t = myTarget;
  if (!t) return false;
  if (component < 0 || component > 3) return true;
  if (myRatio == 1.0) {
    long long tx = myOffX + x - t->panX, ty = myOffY + y - t->panY;
    if (tx >= 0 && ty >= 0 && tx < t->width && ty < t->height)
      t->pixels[ty * t->width + tx] |= static_cast<unsigned int>(value) << (8 * component);
    return true;
  }
  // The three colour components of a pixel together weigh one pixel.
  unsigned int values[4] = {0, 0, 0, 0};
  values[component] = value;
  return accumulate(x, y, values, component, component, component == 3 ? 0.0 : 0.3333333);
}

bool cPictBase::setExtComp16(long long x, long long y, unsigned short value, int component) {
  double c = (static_cast<double>(value) + myOffset16) / myDivisor16;
  unsigned char byte = c <= 0 ? 0 : c >= 255 ? 255 : static_cast<unsigned char>(c);
  return setExtComp(x, y, byte, component);
}

void cPictBase::endExtRender() {
  sExtPictDef* t = myTarget;
  if (t && myRatio != 1.0 && myAccum.ptr) {
    for (long long cy = 0; cy < myRegH; ++cy) {
      long long ty = myOffY + cy;
      if (ty < 0 || ty >= t->height) continue;
      for (long long cx = 0; cx < myRegW; ++cx) {
        long long tx = myOffX + cx;
        if (tx < 0 || tx >= t->width) continue;
        long long cell = cy * myRegW + cx;
        double g = myWeights.ptr[cell];
        unsigned int word = 0;
        if (g > 0) {
          for (int k = 0; k < 4; ++k) {
            double v = std::trunc(myAccum.ptr[cell].c[k] / g + 0.5);
            unsigned int b = v <= 0 ? 0 : v >= 255 ? 255 : static_cast<unsigned int>(v);
            word |= b << (8 * k);
          }
        }
        t->pixels[ty * t->width + tx] = word;
      }
    }
  }
  myAccum.set(0);
  myWeights.set(0);
  myRatio = 1.0;
  myTarget = nullptr;
}

bool cPictBase::canExtRender(long long x0, long long x1, long long y0, long long y1) const {
  return myVisLeft <= x1 && myVisRight >= x0 && myVisBottom >= y0 && myVisTop <= y1;
}

bool cPictBase::toExtTarget(sExtPictDef* t) {
  if (!usableTarget(t)) return false;
  long long w = myWidth, h = myHeight;
  const unsigned int* src8 = myIs16 ? nullptr : myPix8.ptr;
  const unsigned long long* src16 = myIs16 ? myPix16.ptr : nullptr;
  if ((!src8 && !src16) || w < 1 || h < 1) return false;
  long long W = t->width, H = t->height;
  auto draw = [&](long long x0, long long y0, long long availW, long long availH, long long offX,
                  long long offY, long long dw, long long dh, double step) {
    try {
      if (src8)
        drawScaled(src8, w, x0, y0, availW, availH, t, offX, offY, dw, dh, step);
      else
        drawScaled(src16, w, x0, y0, availW, availH, t, offX, offY, dw, dh, step);
    } catch (const std::bad_alloc&) {
      return false;
    }
    return true;
  };
  auto copy = [&](long long x0, long long y0, long long cols, long long rows, long long offX,
                  long long offY) {
    for (long long r = 0; r < rows; ++r) {
      unsigned int* out = t->pixels + (offY + r) * W + offX;
      long long at = (y0 + r) * w + x0;
      if (src8)
        for (long long c = 0; c < cols; ++c) out[c] = src8[at + c];
      else
        for (long long c = 0; c < cols; ++c) out[c] = to8Bpp(src16[at + c]);
    }
  };
  if (w <= W && h <= H) {
    long long offX = (W - w) / 2, offY = (H - h) / 2;
    fillMargins(t, offX, offY, w, h);
    copy(0, 0, w, h, offX, offY);
    return true;
  }
  if (t->mode == 1) {
    if (t->scale > 1.0) t->scale = 1.0;
    double s = t->scale;
    if (!(s > 0)) return false;
    long long sw = roundedSize(w, s), sh = roundedSize(h, s);
    if (t->panX * s > sw - W) t->panX = static_cast<long long>((sw - W) / s + 0.5);
    if (t->panY * s > sh - H) t->panY = static_cast<long long>((sh - H) / s + 0.5);
    if (t->panX < 0) t->panX = 0;
    if (t->panY < 0) t->panY = 0;
    long long visW = sw < W ? sw : W, visH = sh < H ? sh : H;
    long long offX = (W - visW) / 2, offY = (H - visH) / 2;
    fillMargins(t, offX, offY, visW, visH);
    long long x0 = t->panX < w ? t->panX : w - 1, y0 = t->panY < h ? t->panY : h - 1;
    if (sw == w && sh == h) {
      copy(x0, y0, visW < w - x0 ? visW : w - x0, visH < h - y0 ? visH : h - y0, offX, offY);
      return true;
    }
    return draw(x0, y0, w - x0, h - y0, offX, offY, visW, visH, 1.0 / s);
  }
  if (t->mode != 0) return false;
  double s0 = std::fmin(static_cast<double>(W) / w, static_cast<double>(H) / h);
  long long sw = roundedSize(w, s0), sh = roundedSize(h, s0);
  long long offY = (H - sh) / 2, offX = sw < W ? (W - sw) / 2 : 0;
  fillMargins(t, offX, offY, sw, sh);
  double step = h < w ? static_cast<double>(w) / sw : static_cast<double>(h) / sh;
  return draw(0, 0, w, h, offX, offY, sw, sh, step);
}
