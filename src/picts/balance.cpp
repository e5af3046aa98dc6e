#include "picts/balance.h"

#include <algorithm>
#include <cmath>
#include <initializer_list>
#include <vector>

#include "base/targets.h"
#include "picts/levelkernels.h"
#include "picts/pixelalloc.h"
#include "picts/raw_interpol.h"

namespace {

constexpr unsigned kUnset = ~0u;

bool isPow2(long long n) { return n > 0 && (n & (n - 1)) == 0; }

// The loops look at the progress target every 8192 pixels: often enough to
// stop soon after a stream breaks, rarely enough to cost nothing.
constexpr long long kCheckEvery = 8192;
bool stillGoing(cProgressNotifyTarget* progress, long long i, long long count) {
  if (!progress || (i & (kCheckEvery - 1)) != 0) return true;
  return progress->notifyProgress(double(i) * 100.0 / double(count));
}

}  // namespace

sCFAData::sCFAData(int r, int c, int count)
    : rows(static_cast<unsigned short>(r)), columns(static_cast<unsigned short>(c)) {
  if (count > 0) pattern.set(count);
}

bool cBayerFilter8x2::init(sCFAData& cfa) {
  if (!cfa.pattern.ptr || cfa.columns != 2) return false;
  if (cfa.rows != 2 && cfa.rows != 4 && cfa.rows != 8) return false;
  if (cfa.pattern.count != cfa.rows * 2LL) return false;
  unsigned int word = 0;
  for (long long k = 0; k < cfa.pattern.count; ++k) {
    if (cfa.pattern.ptr[k] > 3) return false;
    word |= unsigned(cfa.pattern.ptr[k]) << (2 * k);
  }
  // Shorter periods repeat to fill the eight rows the colour lookup spans.
  if (cfa.rows == 2) word |= (word << 8) | (word << 16) | (word << 24);
  if (cfa.rows == 4) word |= word << 16;
  myColumns = 2;
  myRows = cfa.rows;
  myPattern = word;
  myRowMask = cfa.rows - 1u;
  return true;
}

void cBayerFilter8x2::initFixed(unsigned char a, unsigned char b, unsigned char c, unsigned char d) {
  sCFAData cfa(2, 2, 4);
  cfa.pattern.ptr[0] = a;
  cfa.pattern.ptr[1] = b;
  cfa.pattern.ptr[2] = c;
  cfa.pattern.ptr[3] = d;
  init(cfa);
}

cBayerFilter* cBayerFilter::newFilter(sCFAData& cfa) {
  if (!cfa.pattern.ptr || cfa.pattern.count != cfa.rows * (long long)cfa.columns) return nullptr;
  if (cfa.columns != 2 || (cfa.rows != 2 && cfa.rows != 4 && cfa.rows != 8)) return nullptr;
  cBayerFilter8x2* f = new cBayerFilter8x2;
  if (!f->init(cfa)) {
    delete f;
    return nullptr;
  }
  return f;
}

namespace {
constexpr unsigned char kXTrans[36] = {1, 2, 1, 1, 0, 1, 0, 1, 0, 2, 1, 2, 1, 2, 1, 1, 0, 1,
                                       1, 0, 1, 1, 2, 1, 2, 1, 2, 0, 1, 0, 1, 0, 1, 1, 2, 1};
int mod6(int v) { return ((v % 6) + 6) % 6; }
}  // namespace

int cFujiXTransFilter::color(int x, int y) { return kXTrans[index(x, y)]; }
int cFujiXTransFilter::index(int x, int y) { return mod6(y) * 6 + mod6(x); }

bool cStreamGuardProgressTarget::notifyProgress(double) { return myIO && myIO->valid(); }

bool buildHystogram(const unsigned long long* pixels, long long count, sHystogram& h, long long bins,
                    cProgressNotifyTarget* progress) {
  if (!pixels || count <= 0 || !isPow2(bins) || bins > 65536) return false;
  for (_typebuf<unsigned int>* b : {&h.all, &h.red, &h.green, &h.blue}) {
    b->set(bins);
    if (!b->ptr) return false;
    for (long long i = 0; i < bins; ++i) b->ptr[i] = 0;
  }
  unsigned shift = 0;
  while ((65536LL >> shift) > bins) ++shift;
  for (long long from = 0; from < count; from += kCheckEvery) {
    if (!stillGoing(progress, from, count)) return false;
    countLevels(pixels + from, std::min(count - from, kCheckEvery), shift, h.red.ptr, h.green.ptr,
                h.blue.ptr);
  }
  // Summed afterwards: counting each sample twice cost as much again.
  for (long long i = 0; i < bins; ++i) h.all.ptr[i] = h.red.ptr[i] + h.green.ptr[i] + h.blue.ptr[i];
  return true;
}

bool getHystogramParams(_typebuf<unsigned int>& bins, unsigned bits, unsigned& low, unsigned& middle,
                        unsigned& high, double fraction) {
  const long long n = bins.count;
  if (!bins.ptr || !isPow2(n) || !(fraction > 0 && fraction <= 1) || (bits != 8 && bits != 16)) return false;
  const unsigned long long range = 1ULL << bits;
  if ((unsigned long long)n > range) return false;
  unsigned long long total = 0;
  for (long long i = 0; i < n; ++i) total += bins.ptr[i];
  if (total == 0) return false;
  const unsigned long long w = range / (unsigned long long)n;
  low = middle = high = kUnset;
  const unsigned long long k = (unsigned long long)((1 - fraction) * double(total));
  // Thresholds may fall below zero for tiny totals; signed keeps them honest.
  const long long thr[3] = {(long long)k, (long long)(total / 2) - (long long)k, (long long)(total - k)};
  unsigned* out[3] = {&low, &middle, &high};
  unsigned long long sum = 0;
  for (long long i = 0; i < n && high == kUnset; ++i) {
    const unsigned long long h = bins.ptr[i];
    for (int j = 0; j < 3; ++j) {
      if (*out[j] != kUnset || (long long)(sum + h) < thr[j]) continue;
      // 64-bit: (sum + h - t) * w passes 32 bits on very large pictures.
      unsigned long long v = (unsigned long long)i * w;
      if (w >= 2 && h != 0) v += ((unsigned long long)((long long)(sum + h) - thr[j]) * w) / h;
      *out[j] = unsigned(v);
    }
    sum += h;
  }
  if (high == kUnset) high = unsigned(range - 1);
  return low != kUnset && middle != kUnset;
}

bool makeDeCurveFromGamma(_typebuf<unsigned int>& curve, unsigned bits, double gamma, unsigned black,
                          unsigned white) {
  if (gamma == 0 || white <= black || (bits != 8 && bits != 16)) return false;
  const unsigned range = 1u << bits;
  if (white >= range) return false;
  curve.set(range);
  if (!curve.ptr) return false;
  const double m = range - 1, p = 1 / gamma, slope = 4.5;
  double toe = 0, offset = 0;
  if ((slope - 1) * (p - 1) <= 0) {
    double lo = 0, hi = 1, g = 0;
    for (int i = 0; i < 48; ++i) {
      g = (lo + hi) / 2;
      if ((std::pow(g / slope, -p) - 1) / p - 1 / g > -1)
        hi = g;
      else
        lo = g;
    }
    toe = g / slope;
    offset = g * (1 / p - 1);
  }
  for (unsigned i = 0; i < range; ++i) {
    if (i < black) {
      curve.ptr[i] = 0;
      continue;
    }
    const double r = double(i - black) / double(white - black);
    if (r < toe)
      curve.ptr[i] = unsigned(r * slope * m);
    else if (r < 1)
      curve.ptr[i] = unsigned((std::pow(r, p) * (1 + offset) - offset) * m);
    else
      curve.ptr[i] = unsigned(m);
  }
  return true;
}

bool makeCurveFromHystogram(_typebuf<unsigned int>& bins, _typebuf<unsigned int>& curve, unsigned bits,
                            unsigned low, unsigned high, double fraction) {
  const long long n = bins.count;
  if (!bins.ptr || !isPow2(n) || (bits != 8 && bits != 16)) return false;
  const unsigned range = 1u << bits;
  if ((unsigned long long)n > range || low >= high || high >= range || !(fraction > 0 && fraction <= 1))
    return false;
  const unsigned w = unsigned(range / n);
  double inside = 0;
  for (unsigned i = low / w; i <= high / w; ++i) inside += bins.ptr[i];
  curve.set(range);
  if (!curve.ptr) return false;
  const double s = inside > 0 ? (range - 1) * fraction / (w * inside) : 0;
  double total = 0;
  for (unsigned i = 0; i < range; ++i) {
    if (i >= low && i <= high) total += bins.ptr[i / w] * s;
    double v = std::trunc(i * (1 - fraction)) + total;
    curve.ptr[i] = v >= range - 1 ? range - 1 : unsigned(v);
  }
  return true;
}

namespace {

// The curve clipped to 16 bits: half the table the lookups keep in cache.
std::vector<unsigned short> clippedCurve(const _typebuf<unsigned int>& curve) {
  std::vector<unsigned short> out(static_cast<size_t>(kLevelCurveEntries));
  for (long long i = 0; i < curve.count; ++i) out[size_t(i)] = (unsigned short)std::min(curve.ptr[i], 65535u);
  return out;
}

}  // namespace

bool adjustToCurve(const unsigned long long* src, unsigned long long* dst, long long count,
                   _typebuf<unsigned int>& curve, cProgressNotifyTarget* progress) {
  if (!src || !dst || count <= 0 || curve.count != 65536) return false;
  const std::vector<unsigned short> c = clippedCurve(curve);
  for (long long from = 0; from < count; from += kCheckEvery) {
    if (!stillGoing(progress, from, count)) return false;
    levelRun(c.data(), src + from, dst + from, std::min(count - from, kCheckEvery), false);
  }
  return true;
}

bool setSaturation(const unsigned long long* src, unsigned long long* dst, long long count, double saturation,
                   cProgressNotifyTarget* progress) {
  if (!src || !dst || count <= 0) return false;
  // The chain's own 1.5 has an exact integer form, which the kernels take.
  const bool exact = saturation == 1.5;
  for (long long from = 0; from < count; from += kCheckEvery) {
    if (!stillGoing(progress, from, count)) return false;
    const long long to = std::min(count, from + kCheckEvery);
    if (exact) {
      levelRun(nullptr, src + from, dst + from, to - from, true);
      continue;
    }
    for (long long i = from; i < to; ++i) {
      const unsigned long long p = src[i];
      const double r = double((p >> 32) & 0xFFFF), g = double((p >> 16) & 0xFFFF), b = double(p & 0xFFFF);
      // The weighted sum stays within 0..65535, so the 32-bit cast truncates
      // as std::trunc would, without its library call; clamping before the
      // cast gives what truncating and then clipping would.
      const double y = double(int(b * 0.11 + r * 0.3 + g * 0.59));
      auto sat = [&](double v) -> unsigned long long {
        const double t = (v - y) * saturation + y;
        return (unsigned long long)int(t < 0 ? 0 : t > 65535 ? 65535 : t);
      };
      dst[i] = (p & 0xFFFF000000000000ULL) | sat(r) << 32 | sat(g) << 16 | sat(b);
    }
  }
  return true;
}

bool demosaicRaw(sRawFinish& f, cProgressNotifyTarget* guard, _typebuf<unsigned long long>& out,
                 long long& width, long long& height, unsigned& maximum) {
  if (!f.raw || !f.filter || f.black >= f.white) return false;
  const sMarginInfo& m = f.margins;
  width = f.rawWidth - (long long)m.left - (long long)m.right;
  height = f.rawHeight - (long long)m.top - (long long)m.bottom;
  if (!allocPictPixels(out, width, height)) return false;
  sInterpolateInfo info;
  info.raw = f.raw;
  info.pixels = out.ptr;
  info.rawWidth = f.rawWidth;
  info.rawHeight = f.rawHeight;
  info.filter = f.filter;
  info.progress = guard;
  for (int i = 0; i < 4; ++i) info.multipliers[i] = f.multipliers[i];
  info.bottomUp = true;
  info.black = f.black;
  sMarginInfo margins = f.margins;
  bool ok = false;
  switch (f.demosaic) {
    case sRawFinish::dmPPG:
      ok = interpolatePPG(info, &margins, f.matrix);
      break;
    case sRawFinish::dmLinear:
      ok = interpolateLinear(info, &margins);
      break;
    case sRawFinish::dmLinearNonRGB:
      ok = f.mix && interpolateLinearNonRGB(info, *f.mix, &margins);
      break;
    case sRawFinish::dmNone:
      ok = true;
      break;
  }
  maximum = info.maximum;
  return ok && (!f.reshape || f.reshape(out, width, height));
}

bool finishRaw(sRawFinish& f, cFileIOTarget* io, _typebuf<unsigned long long>& out, long long& width,
               long long& height) {
  cStreamGuardProgressTarget guard(io);
  unsigned maximum = 0;
  if (!demosaicRaw(f, &guard, out, width, height, maximum)) return false;
  double highBound = -1;
  if (f.boundHigh) {
    double lo = std::fmin(1.0, std::fmin(f.boundA, f.boundB)),
           hi = std::fmax(1.0, std::fmax(f.boundA, f.boundB));
    highBound = std::trunc(double(maximum) * lo / hi + 0.5);
  }
  return finishLevels(out.ptr, width * height, f.saturate, &guard, highBound);
}

void balanceRGB(unsigned long long* pixels, long long count, const double (&factors)[3]) {
  levelScale(pixels, count, factors);
}

bool finishLevels(unsigned long long* pixels, long long count, bool saturate, cProgressNotifyTarget* guard,
                  double highBound) {
  sHystogram h;
  if (!buildHystogram(pixels, count, h, 4096, guard)) return false;
  unsigned low = 0, middle = 0, high = 0;
  _typebuf<unsigned int> curve;
  if (!getHystogramParams(h.all, 16, low, middle, high, 0.999)) return false;
  if (highBound >= 0 && highBound < double(high)) high = unsigned(highBound);
  // A flat picture (a dark frame, a masked shot) has no spread to stretch:
  // its levels stay as the chain made them.
  const bool flat = high <= low;
  if (!flat && !makeDeCurveFromGamma(curve, 16, 2.2, low, high)) return false;
  const std::vector<unsigned short> c = flat ? std::vector<unsigned short>() : clippedCurve(curve);
  // Curve and saturation one cache-sized run at a time: two passes over the
  // whole picture cost more in memory traffic than in arithmetic.
  for (long long from = 0; from < count; from += kCheckEvery) {
    if (!stillGoing(guard, from, count)) return false;
    const long long n = std::min(count - from, kCheckEvery);
    levelRun(flat ? nullptr : c.data(), pixels + from, pixels + from, n, saturate);
  }
  return true;
}
