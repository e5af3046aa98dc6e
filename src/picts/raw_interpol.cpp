#include "picts/raw_interpol.h"

#include <cmath>
#include <cstdlib>
#include <new>
#include <vector>

#include "picts/raw_ppg_rows.h"

namespace {

constexpr unsigned long long kAlpha = 0xFFFF000000000000ULL;

// The active area of a raw buffer, or nothing to do when margins leave none.
struct sArea {
  long long w = 0, h = 0, left = 0, top = 0, rawW = 0;
  const unsigned short* raw = nullptr;
  unsigned short at(long long x, long long y) const { return raw[(top + y) * rawW + left + x]; }
};

// False for missing inputs; an empty active area is a valid, empty area.
bool makeArea(const unsigned short* raw, const void* pixels, long long rawW, long long rawH, cBayerFilter* f,
              const sMarginInfo* m, sArea& a) {
  if (!raw || !pixels || rawW < 1 || rawH < 1 || !f) return false;
  sMarginInfo zero;
  if (!m) m = &zero;
  a.raw = raw;
  a.rawW = rawW;
  a.left = m->left;
  a.top = m->top;
  a.w = rawW - (long long)m->left - (long long)m->right;
  a.h = rawH - (long long)m->top - (long long)m->bottom;
  if (a.w < 1) a.h = 0;
  return true;
}

// A second green counts as green: only three channels exist in the output.
int rgb(cBayerFilter* f, long long x, long long y) {
  int c = f->color(int(x), int(y));
  return c == 3 ? 1 : c;
}

unsigned long long clip16(double v) {
  if (!(v > 0)) return 0;
  return v >= 65535 ? 65535 : (unsigned long long)v;
}
long long clipInt(long long v) { return v < 0 ? 0 : v > 65535 ? 65535 : v; }

double scaled(unsigned s, unsigned black, double mult) { return s <= black ? 0.0 : double(s - black) * mult; }

unsigned long long finished(unsigned long long r, unsigned long long g, unsigned long long b) {
  return kAlpha | r << 32 | g << 16 | b;
}

unsigned long long* outRow(unsigned long long* px, const sArea& a, long long y, bool bottomUp) {
  return px + (bottomUp ? a.h - 1 - y : y) * a.w;
}

bool rowDone(cProgressNotifyTarget* p, double from, long long y, long long h, double span) {
  return !p || p->notifyProgress(from + double(y) * span / double(h));
}

void trackRange(sInterpolateInfo& info, const sArea& a) {
  unsigned lo = 65535, hi = 0;
  for (long long y = 0; y < a.h; ++y)
    for (long long x = 0; x < a.w; ++x) {
      unsigned s = a.at(x, y);
      lo = s < lo ? s : lo;
      hi = s > hi ? s : hi;
    }
  info.minimum = lo;
  info.maximum = hi;
}

// Sets channel c of a word that keeps colour c in bits 16c..16c+15.
inline void put(unsigned long long& p, int c, long long v) {
  p = (p & ~(0xFFFFULL << (16 * c))) | ((unsigned long long)v << (16 * c));
}

// The 3x3 neighbourhood average used by every simple filter and the frame:
// sums per colour of scaled samples, clipped to the active area.
template <typename Add>
void window(const sArea& a, cBayerFilter* f, long long x, long long y, Add add) {
  for (long long yy = y - 1; yy <= y + 1; ++yy) {
    if (yy < 0 || yy >= a.h) continue;
    for (long long xx = x - 1; xx <= x + 1; ++xx)
      if (xx >= 0 && xx < a.w && (xx != x || yy != y)) add(f->color(int(xx), int(yy)), a.at(xx, yy));
  }
}

}  // namespace

namespace {

// Visits each active pixel within `b` of an edge once; rows in the middle
// visit two column ranges that must not overlap when the picture is
// narrower than two borders.
template <typename Fn>
void forFrame(const sArea& a, long long b, Fn fn) {
  for (long long y = 0; y < a.h; ++y) {
    const bool whole = y < b || y >= a.h - b;
    const long long rightFrom = whole ? 0 : (a.w - b > b ? a.w - b : b);
    for (long long x = 0; x < a.w; ++x) {
      if (!whole && x >= b && x < rightFrom) x = rightFrom;
      if (x >= a.w) break;
      fn(x, y);
    }
  }
}

// Per-colour sums over the 3x3 window of the frame fills, a second green
// counted as green.
void frameSums(const sArea& a, cBayerFilter* filter, long long x, long long y, unsigned black,
               double (&sum)[3], int (&cnt)[3]) {
  for (int k = 0; k < 3; ++k) sum[k] = 0, cnt[k] = 0;
  window(a, filter, x, y, [&](int c, unsigned s) {
    const int k = c == 3 ? 1 : c;
    sum[k] += s > black ? s - black : 0;
    ++cnt[k];
  });
}

}  // namespace

bool interpolateBorder(int border, const unsigned short* raw, unsigned long long* pixels, long long rawWidth,
                       long long rawHeight, cBayerFilter* filter, bool bottomUp, const double* mult,
                       sMarginInfo* margins, unsigned short black) {
  sArea a;
  if (!mult || border < 0 || !makeArea(raw, pixels, rawWidth, rawHeight, filter, margins, a)) return false;
  forFrame(a, border, [&](long long x, long long y) {
    double sum[3];
    int cnt[3];
    frameSums(a, filter, x, y, black, sum, cnt);
    const int c = filter->color(int(x), int(y));
    const int f = c == 3 ? 1 : c;
    const double own = std::trunc(scaled(a.at(x, y), black, mult[c]));
    double v[3];
    for (int k = 0; k < 3; ++k) v[k] = k == f ? own : cnt[k] ? sum[k] * mult[k] / cnt[k] : own;
    outRow(pixels, a, y, bottomUp)[x] = finished(clip16(v[0]), clip16(v[1]), clip16(v[2]));
  });
  return true;
}

bool interpolateBorderRaw(int border, const unsigned short* raw, unsigned long long* pixels, long long width,
                          long long height, cBayerFilter* filter, const double* mult) {
  sArea a;
  if (!mult || border < 0 || !makeArea(raw, pixels, width, height, filter, nullptr, a)) return false;
  forFrame(a, border, [&](long long x, long long y) {
    double sum[3];
    int cnt[3];
    frameSums(a, filter, x, y, 0, sum, cnt);
    const int f = rgb(filter, x, y);
    unsigned long long p = 0xFFFF000000000000ULL;
    for (int k = 0; k < 3; ++k)
      put(p, k, (long long)(k == f ? a.at(x, y) : cnt[k] ? clip16(sum[k] * mult[k] / cnt[k]) : 0));
    pixels[y * a.w + x] = p;
  });
  return true;
}

namespace {

// PPG's stages run as a wavefront over a ring of rows instead of as passes
// over the whole picture: the passes over 64-bit words were bound by memory,
// a few rows of them stay in cache. Each stage writes only its own row and
// reads at most kReach rows either side, so a stage kLag rows behind the one
// before it sees exactly what the whole-picture passes would have shown it,
// whatever the filter pattern.
constexpr long long kReach = 3;
constexpr long long kLag = kReach;
constexpr int kStages = 5;  // scaling, green, colours at green, colours at the others, output
constexpr long long kRingRows = kLag * (kStages - 1) + 2;

class cPPGRing {
 public:
  cPPGRing(sInterpolateInfo& info, const sArea& a, cBayerFilter8x2& filter, double (*matrix)[3][3])
      : myInfo(info), myArea(a), myFilter(filter), myMatrix(matrix), myW(a.w), myH(a.h) {}

  bool run() {
    // Half rows padded to whole cache lines, so that no two share one.
    const long long half = ((myW + 1) / 2 + 31) & ~31LL;
    try {
      myRing.resize(size_t(kRingRows * 6 * half));
      for (int c = 0; c < 4; ++c) myScale[c] = scaleTable(c);
    } catch (const std::bad_alloc&) {
      return false;
    }
    for (long long r = 0; r < kRingRows; ++r)
      for (int k = 0; k < 3; ++k)
        for (int p = 0; p < 2; ++p) myLines[r].c[k][p] = myRing.data() + ((r * 3 + k) * 2 + p) * half;
    const long long last = myH - 1 + kLag * (kStages - 1);
    // The target hears the bands of five whole-picture passes, 0-20, 20-40,
    // 40-60, 60-80 and 80-100, in their order: one value per stage row done,
    // so each band lasts a fifth of the work.
    long long done = 0;
    auto report = [&](long long rows) {
      for (; rows > 0; --rows, ++done)
        if (!rowDone(myInfo.progress, 20.0 * double(done / myH), done % myH, myH, 20)) return false;
      return true;
    };
    for (long long t = 0; t <= last; ++t) {
      if (t < myH) scaleRow(t);
      if (inside(t - kLag, 3, myH - 3) && myW >= 7) greenRow(t - kLag);
      if (inside(t - 2 * kLag, 1, myH - 1) && myW >= 3) colourAtGreenRow(t - 2 * kLag);
      if (inside(t - 3 * kLag, 1, myH - 1) && myW >= 3) colourAtOthersRow(t - 3 * kLag);
      if (inside(t - 4 * kLag, 0, myH)) outputRow(t - 4 * kLag);
      long long rows = 0;
      for (int k = 0; k < kStages; ++k) rows += inside(t - k * kLag, 0, myH);
      if (!report(rows)) return false;
    }
    myInfo.minimum = myLow;
    myInfo.maximum = myHigh;
    return true;
  }

 private:
  sInterpolateInfo& myInfo;
  const sArea& myArea;
  cBayerFilter8x2& myFilter;
  double (*myMatrix)[3][3];
  long long myW, myH;
  std::vector<unsigned short> myRing;
  sPPGLine myLines[kRingRows];
  std::vector<unsigned short> myScale[4];
  unsigned myLow = 65535, myHigh = 0;

  static bool inside(long long y, long long from, long long to) { return y >= from && y < to; }
  const sPPGLine& line(long long y) const { return myLines[y % kRingRows]; }
  template <size_t N>
  void lines(long long y, sPPGLine (&out)[N]) const {
    for (size_t k = 0; k < N; ++k) out[k] = line(y + (long long)k - (long long)N / 2);
  }
  // Colour of column x on row y, a second green as green.
  int colour(long long x, long long y) const {
    const int c = myFilter.color(int(x), int(y));
    return c == 3 ? 1 : c;
  }

  // Every sample of colour c scaled: one lookup instead of a multiplication
  // per sample.
  std::vector<unsigned short> scaleTable(int c) const {
    std::vector<unsigned short> t(65536);
    for (unsigned s = 0; s < 65536; ++s)
      t[s] = (unsigned short)clip16(scaled(s, myInfo.black, myInfo.multipliers[c]));
    return t;
  }

  void scaleRow(long long y) {
    const unsigned short* src = &myArea.raw[(myArea.top + y) * myArea.rawW + myArea.left];
    const int four[2] = {myFilter.color(0, int(y)), myFilter.color(1, int(y))};
    const unsigned short* const lut[2] = {myScale[four[0]].data(), myScale[four[1]].data()};
    const int channel[2] = {colour(0, y), colour(1, y)};
    ppgScaleLine(src, myW, lut, channel, line(y), myLow, myHigh);
  }

  // The sites of one stage are every other column from `x`, up to `end`.
  static long long sites(long long x, long long end) { return x < end ? (end - x + 1) / 2 : 0; }

  // Green where the sensor saw red or blue, along the smoother direction.
  void greenRow(long long y) {
    sPPGLine rows[7];
    lines(y, rows);
    const long long x = 3 + (colour(3, y) & 1);
    ppgGreenSites(rows, colour(x, y), int(x & 1), x >> 1, sites(x, myW - 3));
  }

  // Red and blue at green sites from the neighbours across and along.
  void colourAtGreenRow(long long y) {
    sPPGLine rows[3];
    lines(y, rows);
    const long long x = 1 + (colour(2, y) & 1);
    ppgColoursAtGreen(rows, colour(x + 1, y), int(x & 1), x >> 1, sites(x, myW - 1));
  }

  // The missing one of red and blue at red and blue sites, from the diagonal
  // with the smaller gradient.
  void colourAtOthersRow(long long y) {
    sPPGLine rows[3];
    lines(y, rows);
    const long long x = 1 + (colour(1, y) & 1);
    ppgColourAtOthers(rows, 2 - colour(x, y), int(x & 1), x >> 1, sites(x, myW - 1));
  }

  // Channels to their places (through the matrix when there is one), rows
  // in the asked order.
  void outputRow(long long y) {
    const sPPGLine& src = line(y);
    unsigned long long* dst = outRow(myInfo.pixels, myArea, y, myInfo.bottomUp);
    if (!myMatrix) return ppgOutputLine(src, myW, dst);
    const double(&m)[3][3] = *myMatrix;
    for (long long x = 0; x < myW; ++x) {
      const int p = int(x & 1);
      const long long i = x >> 1;
      const double r = src.c[0][p][i], g = src.c[1][p][i], b = src.c[2][p][i];
      dst[x] = finished(clip16(m[0][0] * r + m[0][1] * g + m[0][2] * b),
                        clip16(m[1][0] * r + m[1][1] * g + m[1][2] * b),
                        clip16(m[2][0] * r + m[2][1] * g + m[2][2] * b));
    }
  }
};

}  // namespace

bool interpolatePPG(sInterpolateInfo& info, sMarginInfo* margins, double (*matrix)[3][3]) {
  sArea a;
  if (!makeArea(info.raw, info.pixels, info.rawWidth, info.rawHeight, info.filter, margins, a)) return false;
  auto* pairs = dynamic_cast<cBayerFilter8x2*>(info.filter);
  if (!pairs) return false;
  if (a.h < 1) return true;
  cPPGRing ring(info, a, *pairs, matrix);
  if (!ring.run()) return false;
  return interpolateBorder(4, info.raw, info.pixels, info.rawWidth, info.rawHeight, info.filter,
                           info.bottomUp, info.multipliers, margins,
                           (unsigned short)(info.black > 65535 ? 65535 : info.black));
}

namespace {

// The one-pass filters: `pixel(x, y)` gives each finished word, rows land in
// the asked order and the progress target is asked once a row.
template <typename Pixel>
bool perPixel(sInterpolateInfo& info, sMarginInfo* margins, Pixel pixel) {
  sArea a;
  if (!makeArea(info.raw, info.pixels, info.rawWidth, info.rawHeight, info.filter, margins, a)) return false;
  for (long long y = 0; y < a.h; ++y) {
    unsigned long long* row = outRow(info.pixels, a, y, info.bottomUp);
    for (long long x = 0; x < a.w; ++x) row[x] = pixel(a, x, y);
    if (!rowDone(info.progress, 0, y, a.h, 100)) return false;
  }
  trackRange(info, a);
  return true;
}

}  // namespace

bool interpolateLinear(sInterpolateInfo& info, sMarginInfo* margins) {
  cBayerFilter* f = info.filter;
  return perPixel(info, margins, [&](const sArea& a, long long x, long long y) {
    long long sum[4] = {0, 0, 0, 0}, cnt[4] = {0, 0, 0, 0};
    const int own = f->color(int(x), int(y));
    sum[own] = (long long)scaled(a.at(x, y), info.black, info.multipliers[own]);
    cnt[own] = 1;
    window(a, f, x, y, [&](int c, unsigned s) {
      if (c == own) return;
      sum[c] += (long long)scaled(s, info.black, info.multipliers[c]);
      ++cnt[c];
    });
    long long v[3];
    for (int k = 0; k < 3; ++k) v[k] = cnt[k] ? clipInt(sum[k] / cnt[k]) : 0;
    return finished(v[0], v[1], v[2]);
  });
}

bool interpolateLinearNonRGB(sInterpolateInfo& info, double (&mix)[3][4], sMarginInfo* margins) {
  cBayerFilter* f = info.filter;
  return perPixel(info, margins, [&](const sArea& a, long long x, long long y) {
    const int own = f->color(int(x), int(y));
    const double v = scaled(a.at(x, y), info.black, info.multipliers[own]);
    double acc[3], wt[3];
    for (int k = 0; k < 3; ++k) acc[k] = mix[k][own] * v, wt[k] = mix[k][own];
    window(a, f, x, y, [&](int c, unsigned s) {
      if (c == own) return;
      const double sv = scaled(s, info.black, info.multipliers[c]);
      for (int k = 0; k < 3; ++k) acc[k] += mix[k][c] * sv, wt[k] += mix[k][c];
    });
    unsigned long long out[3];
    for (int k = 0; k < 3; ++k) out[k] = clip16(std::trunc(acc[k] / (wt[k] == 0 ? 1 : wt[k])));
    return finished(out[0], out[1], out[2]);
  });
}

bool interpolateRawAsIs(sInterpolateInfo& info, double scale, sMarginInfo* margins) {
  if (scale == 0) scale = 1.0;
  return perPixel(info, margins, [&](const sArea& a, long long x, long long y) {
    const unsigned long long v = clip16(std::trunc(scaled(a.at(x, y), info.black, scale)));
    return finished(v, v, v);
  });
}

bool interpolateNone(sInterpolateInfo& info, sMarginInfo* margins) {
  return perPixel(info, margins, [&](const sArea& a, long long x, long long y) {
    const int k = rgb(info.filter, x, y);
    const unsigned long long v = clip16(std::trunc(scaled(a.at(x, y), info.black, info.multipliers[k])));
    return kAlpha | v << (32 - 16 * k);
  });
}
