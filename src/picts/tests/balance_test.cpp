#include "picts/balance.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "base/targets.h"
#include "picts/levelkernels.h"
#include "picts/tests/raw_support.h"

namespace {

void fill(sCFAData& d, const std::vector<unsigned char>& v) {
  for (size_t i = 0; i < v.size(); ++i) d.pattern.ptr[i] = v[i];
}

TEST(RawFilters, NewFilterRefusesBadPatternsAndRepeatsGoodOnes) {
  struct Case {
    int rows, cols;
    std::vector<unsigned char> v;
    bool ok;
  } cases[] = {
      {2, 2, {0, 1, 1, 2}, true},
      {4, 2, {0, 1, 1, 2, 1, 0, 2, 1}, true},
      {3, 2, {0, 1, 1, 2, 0, 1}, false},
      {2, 4, {0, 1, 1, 2, 0, 1, 1, 2}, false},
      {2, 2, {0, 1, 4, 2}, false},
      {2, 2, {0, 1, 1}, false},
      {2, 2, {}, false},
  };
  for (auto& c : cases) {
    sCFAData d(c.rows, c.cols, static_cast<int>(c.v.size()));
    fill(d, c.v);
    cPtr<cBayerFilter> f(cBayerFilter::newFilter(d));
    ASSERT_EQ(bool(f), c.ok) << c.rows << "x" << c.cols;
    if (!f) continue;
    for (int y = 0; y < 16; ++y)
      for (int x = 0; x < 6; ++x) {
        const size_t k = static_cast<size_t>((y % c.rows) * 2 + (x % 2));
        EXPECT_EQ(f->color(x, y), c.v[k]) << x << "," << y;
        EXPECT_EQ(f->index(x, y), int(k));
      }
  }
  cStdCFAFilter rggb;
  cStdCFAFilterSH bggr;
  EXPECT_EQ(rggb.color(0, 0), 0);
  EXPECT_EQ(rggb.color(1, 1), 2);
  EXPECT_EQ(bggr.color(0, 0), 2);
  EXPECT_EQ(bggr.color(3, 5), 0);
  cPtr<cFujiXTransFilter> xt(cFujiXTransFilter::newFilter());
  for (int y = 0; y < 6; ++y)
    for (int x = 0; x < 6; ++x) EXPECT_EQ(xt->color(x, y), xt->color(x + 6, y + 12));
  EXPECT_EQ(xt->color(1, 0), 2);
  EXPECT_EQ(xt->color(0, 4), 2);
}

TEST(RawChain, HistogramLevelsAndCurve) {
  std::vector<unsigned long long> px(1000);
  for (size_t i = 0; i < px.size(); ++i) {
    unsigned long long v = i * 60;
    px[i] = v << 32 | v << 16 | v;
  }
  sHystogram h;
  EXPECT_FALSE(buildHystogram(px.data(), 0, h, 4096, nullptr));
  EXPECT_FALSE(buildHystogram(px.data(), 10, h, 3000, nullptr));
  ASSERT_TRUE(buildHystogram(px.data(), 1000, h, 4096, nullptr));
  unsigned long long total = 0;
  for (long long i = 0; i < 4096; ++i) total += h.all.ptr[i];
  EXPECT_EQ(total, 3000u);
  unsigned lo, mid, hi;
  ASSERT_TRUE(getHystogramParams(h.all, 16, lo, mid, hi, 0.999));
  EXPECT_LT(lo, 200u);
  EXPECT_NEAR(mid, 30000u, 200u);
  EXPECT_GT(hi, 59700u);

  // All-zero bins and a single level are refused down the chain.
  _typebuf<unsigned int> zero;
  zero.set(4096);
  for (long long i = 0; i < 4096; ++i) zero.ptr[i] = 0;
  EXPECT_FALSE(getHystogramParams(zero, 16, lo, mid, hi, 0.999));
  std::vector<unsigned long long> flat(5000, 0x0000'1000'1000'1000ULL);
  ASSERT_TRUE(buildHystogram(flat.data(), 5000, h, 4096, nullptr));
  ASSERT_TRUE(getHystogramParams(h.all, 16, lo, mid, hi, 0.999));
  EXPECT_GT(lo, hi);
  _typebuf<unsigned int> curve;
  EXPECT_FALSE(makeDeCurveFromGamma(curve, 16, 2.2, lo, hi));

  // Counts near 2^32 must not wrap inside a bin.
  _typebuf<unsigned int> big;
  big.set(16);
  for (long long i = 0; i < 16; ++i) big.ptr[i] = i == 3 ? 4000000000u : 0;
  ASSERT_TRUE(getHystogramParams(big, 16, lo, mid, hi, 0.5));
  EXPECT_EQ(lo, 3u * 4096u + 2048u);
  EXPECT_EQ(mid, 0u);
  EXPECT_EQ(hi, 3u * 4096u + 2048u);
}

TEST(RawChain, GammaCurveShapes) {
  _typebuf<unsigned int> c;
  ASSERT_TRUE(makeDeCurveFromGamma(c, 16, 2.2, 0, 65535));
  EXPECT_EQ(c.ptr[0], 0u);
  EXPECT_EQ(c.ptr[10], unsigned(10.0 / 65535 * 4.5 * 65535));
  EXPECT_EQ(c.ptr[65535], 65535u);
  EXPECT_LT(c.ptr[65534], 65535u);
  for (long long i = 1; i < 65536; ++i) ASSERT_GE(c.ptr[i], c.ptr[i - 1]);
  ASSERT_TRUE(makeDeCurveFromGamma(c, 8, 0.5, 0, 255));
  EXPECT_EQ(c.ptr[128], unsigned(std::pow(128.0 / 255, 2.0) * 255));
  EXPECT_FALSE(makeDeCurveFromGamma(c, 16, 0, 0, 100));
  EXPECT_FALSE(makeDeCurveFromGamma(c, 12, 2.2, 0, 100));
  EXPECT_FALSE(makeDeCurveFromGamma(c, 8, 2.2, 0, 256));
}

TEST(RawChain, CurveAndSaturationKeepAlphaAndClip) {
  _typebuf<unsigned int> c;
  c.set(65536);
  for (long long i = 0; i < 65536; ++i) c.ptr[i] = unsigned(i * 2);
  unsigned long long px[2] = {0x1234'0010'0020'0030ULL, 0xABCD'9000'0001'0000ULL};
  ASSERT_TRUE(adjustToCurve(px, px, 2, c, nullptr));
  EXPECT_EQ(px[0], 0x1234'0020'0040'0060ULL);
  EXPECT_EQ(px[1], 0xABCD'FFFF'0002'0000ULL);
  c.set(256);
  EXPECT_FALSE(adjustToCurve(px, px, 2, c, nullptr));
  unsigned long long s[1] = {0x7777'1000'2000'3000ULL};
  ASSERT_TRUE(setSaturation(s, s, 1, 1.5, nullptr));
  const double y = std::trunc(0x3000 * 0.11 + 0x1000 * 0.3 + 0x2000 * 0.59);
  auto sat = [&](double v) { return (unsigned long long)std::max(0.0, std::trunc((v - y) * 1.5 + y)); };
  EXPECT_EQ(s[0], 0x7777ULL << 48 | sat(0x1000) << 32 | sat(0x2000) << 16 | sat(0x3000));
}

// The per-pixel kernels, plain and wide, against the arithmetic written out
// here: every pixel must come out bit for bit, including luma sums that are
// whole numbers in exact arithmetic and may round just below in doubles.
unsigned long long curvedAndSaturated(const std::vector<unsigned short>* curve, bool saturate,
                                      unsigned long long p) {
  unsigned long long c[3] = {(p >> 32) & 0xFFFF, (p >> 16) & 0xFFFF, p & 0xFFFF};
  if (curve)
    for (auto& v : c) v = (*curve)[v];
  unsigned long long out = p & 0xFFFF000000000000ULL;
  const double y = std::trunc(double(c[2]) * 0.11 + double(c[0]) * 0.3 + double(c[1]) * 0.59);
  for (int k = 0; k < 3; ++k) {
    double v = double(c[k]);
    if (saturate) v = std::min(65535.0, std::max(0.0, std::trunc((v - y) * 1.5 + y)));
    out |= (unsigned long long)v << (32 - 16 * k);
  }
  return out;
}

std::vector<unsigned long long> levelPixels(long long n, unsigned seed) {
  std::mt19937_64 rng(seed);
  std::vector<unsigned long long> px(static_cast<size_t>(n));
  for (auto& p : px) {
    p = rng();
    unsigned long long r = (p >> 32) & 0xFFFF, g = (p >> 16) & 0xFFFF, b = p & 0xFFFF;
    // Every other pixel gets the blue that makes 11b + 30r + 59g a multiple of 100.
    if (rng() & 1) b = (b + (100 - (11 * b + 30 * r + 59 * g) % 100) % 100 * 91) % 65500;
    p = (p & ~0xFFFFULL) | b;
  }
  for (unsigned long long extreme : {0x0ULL, 0xFFFF'FFFF'FFFF'FFFFULL, 0x0000'FFFF'0000'FFFFULL})
    px.push_back(extreme);
  return px;
}

TEST(RawChain, LevelKernelsMatchTheScalarArithmetic) {
  std::vector<unsigned short> curve(static_cast<size_t>(kLevelCurveEntries));
  std::mt19937 rng(5);
  for (auto& v : curve) v = (unsigned short)rng();
  for (bool wide : {true, false}) {
    levelUseWideKernels(wide);
    for (long long n : {1LL, 7LL, 8LL, 9LL, 8197LL}) {
      const std::vector<unsigned long long> px = levelPixels(n, unsigned(n));
      for (int mode = 0; mode < 3; ++mode) {
        const std::vector<unsigned short>* c = mode != 2 ? &curve : nullptr;
        const bool saturate = mode != 0;
        std::vector<unsigned long long> out(px.size());
        levelRun(c ? c->data() : nullptr, px.data(), out.data(), (long long)px.size(), saturate);
        for (size_t i = 0; i < px.size(); ++i)
          ASSERT_EQ(out[i], curvedAndSaturated(c, saturate, px[i]))
              << std::hex << px[i] << std::dec << " wide " << wide << " n " << n << " mode " << mode;
      }
    }
    const double kNaN = std::nan("");
    const double factorSets[][3] = {{1, 2.5, 0.3}, {0, -1, kNaN}, {HUGE_VAL, 1e300, 65535.0 / 65534}};
    const std::vector<unsigned long long> px = levelPixels(8197, 3);
    for (const auto& f : factorSets) {
      std::vector<unsigned long long> out = px;
      balanceRGB(out.data(), (long long)out.size(), f);
      for (size_t i = 0; i < px.size(); ++i) {
        unsigned long long expect = px[i] & 0xFFFF000000000000ULL;
        for (int k = 0; k < 3; ++k) {
          const double v = double((px[i] >> (32 - 16 * k)) & 0xFFFF) * f[k];
          expect |= (unsigned long long)(v >= 65535 ? 65535 : v > 0 ? std::trunc(v) : 0) << (32 - 16 * k);
        }
        ASSERT_EQ(out[i], expect) << std::hex << px[i] << std::dec << " wide " << wide << " " << f[0];
      }
    }
    for (long long bins : {256LL, 4096LL, 65536LL}) {
      const std::vector<unsigned long long> px = levelPixels(3 * 8192 + 3, unsigned(bins));
      sHystogram h;
      ASSERT_TRUE(buildHystogram(px.data(), (long long)px.size(), h, bins, nullptr));
      std::vector<unsigned int> expect(static_cast<size_t>(3 * bins));
      for (unsigned long long p : px)
        for (int k = 0; k < 3; ++k)
          ++expect[size_t(k * bins + (((p >> (32 - 16 * k)) & 0xFFFF) * bins >> 16))];
      for (long long i = 0; i < bins; ++i) {
        ASSERT_EQ(h.red.ptr[i], expect[size_t(i)]) << bins << " " << i;
        ASSERT_EQ(h.green.ptr[i], expect[size_t(bins + i)]) << bins << " " << i;
        ASSERT_EQ(h.blue.ptr[i], expect[size_t(2 * bins + i)]) << bins << " " << i;
        ASSERT_EQ(h.all.ptr[i], h.red.ptr[i] + h.green.ptr[i] + h.blue.ptr[i]);
      }
    }
  }
  levelUseWideKernels(true);
}

// A stream that breaks after a number of validity checks.
struct BreakingIO : cFileIOTarget {
  int left;
  explicit BreakingIO(int n) : left(n) {}
  unsigned long long size() override { return 0; }
  unsigned int read(void*, unsigned int) override { return 0; }
  bool set_fp(unsigned long long) override { return false; }
  bool set_fp_end(unsigned long long) override { return false; }
  bool set_eof(unsigned long long) override { return false; }
  void close() override {}
  bool valid() override { return left-- > 0; }
};

TEST(RawChain, StreamGuardStopsTheCurveAtTheNextCheckpoint) {
  _typebuf<unsigned int> c;
  c.set(65536);
  for (long long i = 0; i < 65536; ++i) c.ptr[i] = 7;
  std::vector<unsigned long long> px(3 * 8192, 0);
  BreakingIO io(2);
  cStreamGuardProgressTarget guard(&io);
  EXPECT_FALSE(adjustToCurve(px.data(), px.data(), (long long)px.size(), c, &guard));
  EXPECT_EQ(px[2 * 8192 - 1] & 0xFFFF, 7u);
  EXPECT_EQ(px[2 * 8192] & 0xFFFF, 0u);
  cStreamGuardProgressTarget none(nullptr);
  EXPECT_FALSE(none.notifyProgress(0));
}

TEST(RawChain, FinishRefusesWhatCannotMakeAPictureAndStretchesWhatCan) {
  struct Case {
    const char* what;
    unsigned black, white;
    sMarginInfo m;
    bool flat, broken, ok;
  } cases[] = {
      {"plain", 0, 65535, {}, false, false, true},
      {"margins", 16, 4095, {2, 1, 3, 0}, false, false, true},
      {"black at white", 4095, 4095, {}, false, false, false},
      {"margins leave nothing", 0, 65535, {20, 20, 0, 0}, false, false, false},
      {"single level", 0, 65535, {}, true, false, true},
      {"stream broke", 0, 65535, {}, false, true, false},
  };
  for (auto& c : cases) {
    std::vector<uint16_t> raw = rawtest::mosaic(40, 30, true, 3);
    if (c.flat) raw.assign(raw.size(), 3000);
    cStdCFAFilter filter;
    sRawFinish f;
    f.raw = raw.data();
    f.rawWidth = 40;
    f.rawHeight = 30;
    f.margins = c.m;
    f.filter = &filter;
    f.black = c.black;
    f.white = c.white;
    f.saturate = true;
    BreakingIO io(c.broken ? 40 : 1 << 30);
    _typebuf<unsigned long long> out;
    long long w = 0, h = 0;
    ASSERT_EQ(finishRaw(f, &io, out, w, h), c.ok) << c.what;
    if (!c.ok) continue;
    EXPECT_EQ(w, 40 - long(c.m.left + c.m.right));
    EXPECT_EQ(h, 30 - long(c.m.top + c.m.bottom));
    unsigned lo = 65535, hi = 0;
    for (long long i = 0; i < out.count; ++i) {
      ASSERT_EQ(out.ptr[i] >> 48, 0xFFFFu);
      for (int k = 0; k < 3; ++k) {
        unsigned v = unsigned(out.ptr[i] >> (16 * k)) & 0xFFFF;
        lo = std::min(lo, v);
        hi = std::max(hi, v);
      }
    }
    // A single level has nothing to stretch: a dark frame stays as it is.
    EXPECT_EQ(lo, c.flat ? 3000u : 0u) << c.what;
    EXPECT_EQ(hi, c.flat ? 3000u : 65535u) << c.what;
  }
}

}  // namespace
