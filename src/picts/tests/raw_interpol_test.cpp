#include "picts/raw_interpol.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

#include "picts/tests/raw_support.h"

namespace {

using rawtest::DngSpec;

int chan(unsigned long long p, int c) { return int((p >> (32 - 16 * c)) & 0xFFFF); }  // 0 red .. 2 blue

struct PPGRun {
  std::vector<unsigned long long> px;
  bool ok = false;
};

PPGRun ppg(const DngSpec& s, bool bottomUp, sMarginInfo* m = nullptr, unsigned black = 0) {
  sCFAData d(2, 2, 4);
  for (int i = 0; i < 4; ++i) d.pattern.ptr[i] = s.cfa[i];
  cPtr<cBayerFilter> f(cBayerFilter::newFilter(d));
  const long long w = s.width - (m ? m->left + m->right : 0), h = s.height - (m ? m->top + m->bottom : 0);
  PPGRun r;
  r.px.assign(static_cast<size_t>(w * h), 0);
  sInterpolateInfo info;
  info.raw = s.samples.data();
  info.pixels = r.px.data();
  info.rawWidth = s.width;
  info.rawHeight = s.height;
  info.filter = f.ptr;
  info.bottomUp = bottomUp;
  info.black = black;
  r.ok = interpolatePPG(info, m, nullptr);
  return r;
}

// Every Bayer phase, random and smooth, odd sizes: inside the 4-pixel frame
// the result equals dcraw's PPG bit for bit.
TEST(RawDemosaic, PPGMatchesDcraw) {
  const std::string dir = tifftest::scratchDir();
  const uint8_t phases[4][4] = {{0, 1, 1, 2}, {1, 0, 2, 1}, {1, 2, 0, 1}, {2, 1, 1, 0}};
  struct Size {
    int w, h;
  } sizes[] = {{64, 48}, {37, 29}};
  int n = 0;
  for (auto& ph : phases)
    for (auto sz : sizes)
      for (bool smooth : {false, true}) {
        DngSpec s;
        s.width = sz.w;
        s.height = sz.h;
        s.cfa.assign(ph, ph + 4);
        s.samples = rawtest::mosaic(sz.w, sz.h, smooth, unsigned(++n));
        const std::string path = dir + "/ppg" + std::to_string(n) + ".dng", out = path + ".ppm";
        tifftest::writeFile(path, rawtest::writeDng(s));
        ASSERT_TRUE(rawtest::dcrawTo(
            {"-q", "2", "-o", "0", "-r", "1", "1", "1", "1", "-k", "0", "-S", "65535", "-4", "-c"}, path,
            out));
        rawtest::Pnm ref;
        ASSERT_TRUE(rawtest::readPnm16(tifftest::readFile(out), ref));
        ASSERT_EQ(ref.width, sz.w);
        ASSERT_EQ(ref.height, sz.h);
        PPGRun r = ppg(s, false);
        ASSERT_TRUE(r.ok);
        int bad = 0;
        for (int y = 4; y < sz.h - 4; ++y)
          for (int x = 4; x < sz.w - 4; ++x)
            for (int c = 0; c < 3; ++c)
              if (chan(r.px[size_t(y * sz.w + x)], c) != ref.v[size_t((y * sz.w + x) * 3 + c)]) ++bad;
        EXPECT_EQ(bad, 0) << "case " << n;
        for (unsigned long long p : r.px) ASSERT_EQ(p >> 48, 0xFFFFu);
      }
}

TEST(RawDemosaic, FrameBlackClipAndRowOrder) {
  struct Case {
    int w, h;
    sMarginInfo m;
  } cases[] = {{20, 16, {}}, {9, 5, {}}, {6, 3, {}}, {3, 2, {}}, {30, 20, {3, 2, 1, 4}}};
  for (auto& c : cases) {
    DngSpec s;
    s.width = c.w;
    s.height = c.h;
    s.samples = rawtest::mosaic(c.w, c.h, true, 7);
    s.samples[0] = 100;  // at black
    sMarginInfo m = c.m;
    const int aw = c.w - int(m.left + m.right), ah = c.h - int(m.top + m.bottom);
    s.samples[size_t(m.top) * size_t(c.w) + m.left] = 100;
    PPGRun down = ppg(s, false, &m, 100), up = ppg(s, true, &m, 100);
    ASSERT_TRUE(down.ok && up.ok);
    for (int y = 0; y < ah; ++y)
      for (int x = 0; x < aw; ++x) {
        const unsigned long long p = down.px[size_t(y * aw + x)];
        ASSERT_EQ(p >> 48, 0xFFFFu) << c.w << "x" << c.h << " at " << x << "," << y;
        ASSERT_EQ(p, up.px[size_t((ah - 1 - y) * aw + x)]);
      }
    EXPECT_EQ(chan(down.px[0], 0), 0);  // red site at black scales to 0
  }
  // Multipliers that overflow clip to 65535 rather than wrap.
  DngSpec s;
  s.width = s.height = 12;
  s.samples.assign(144, 40000);
  sCFAData d(2, 2, 4);
  for (int i = 0; i < 4; ++i) d.pattern.ptr[i] = s.cfa[i];
  cPtr<cBayerFilter> f(cBayerFilter::newFilter(d));
  std::vector<unsigned long long> px(144);
  sInterpolateInfo info;
  info.raw = s.samples.data();
  info.pixels = px.data();
  info.rawWidth = info.rawHeight = 12;
  info.filter = f.ptr;
  info.multipliers[0] = info.multipliers[1] = info.multipliers[2] = 2;
  ASSERT_TRUE(interpolatePPG(info, nullptr, nullptr));
  for (unsigned long long p : px) EXPECT_EQ(p, 0xFFFF'FFFF'FFFF'FFFFULL);
  EXPECT_EQ(info.minimum, 40000u);
  EXPECT_EQ(info.maximum, 40000u);
  sMarginInfo all{6, 6, 0, 0};
  EXPECT_TRUE(interpolatePPG(info, &all, nullptr));
  cFujiXTransFilter xtrans;  // colours that do not repeat every two columns
  for (cBayerFilter* refused : {static_cast<cBayerFilter*>(nullptr), static_cast<cBayerFilter*>(&xtrans)}) {
    info.filter = refused;
    EXPECT_FALSE(interpolatePPG(info, nullptr, nullptr));
  }
}

TEST(RawDemosaic, SimpleFiltersAverageTheirNeighbours) {
  // 3x3 RGGB: centre is blue at (1,1).
  std::vector<uint16_t> raw = {10, 20, 30, 40, 50, 60, 70, 80, 90};
  cStdCFAFilter f;
  std::vector<unsigned long long> px(9);
  sInterpolateInfo info;
  info.raw = raw.data();
  info.pixels = px.data();
  info.rawWidth = info.rawHeight = 3;
  info.filter = &f;
  ASSERT_TRUE(interpolateLinear(info, nullptr));
  EXPECT_EQ(chan(px[4], 0), (10 + 30 + 70 + 90) / 4);
  EXPECT_EQ(chan(px[4], 1), (20 + 40 + 60 + 80) / 4);
  EXPECT_EQ(chan(px[4], 2), 50);
  EXPECT_EQ(info.minimum, 10u);
  EXPECT_EQ(info.maximum, 90u);

  // The mix ignores neighbours of the pixel's own colour.
  double mix[3][4] = {{1, 0, 0, 0}, {0, 1, 0, 1}, {0, 0, 1, 0}};
  ASSERT_TRUE(interpolateLinearNonRGB(info, mix, nullptr));
  EXPECT_EQ(chan(px[0], 0), 10);
  EXPECT_EQ(chan(px[0], 2), 50);
  EXPECT_EQ(chan(px[0], 1), (20 + 40) / 2);

  ASSERT_TRUE(interpolateRawAsIs(info, 0, nullptr));
  EXPECT_EQ(px[8], 0xFFFF'005A'005A'005AULL);
  info.multipliers[1] = 3;
  ASSERT_TRUE(interpolateNone(info, nullptr));
  EXPECT_EQ(px[1], 0xFFFF'0000'003C'0000ULL);
  EXPECT_EQ(px[0], 0xFFFF'000A'0000'0000ULL);
}

// Flat colour planes come back exactly; a ramp comes back close; a filter
// that is not a 2x2 Bayer cell is refused. Two threads at once see the same
// tables.
TEST(RawDemosaic, DCTFilterRebuildsSmoothPlanes) {
  for (auto size : {std::pair{16, 16}, std::pair{23, 13}, std::pair{2, 2}}) {
    const int w = size.first, h = size.second;
    std::vector<uint16_t> flat(size_t(w * h)), ramp(size_t(w * h));
    cStdCFAFilter f;
    const unsigned level[3] = {1000, 2000, 3000};
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        flat[size_t(y * w + x)] = uint16_t(level[f.color(x, y)]);
        ramp[size_t(y * w + x)] = uint16_t(100 * x + 50 * y + 1000);
      }
    std::vector<unsigned long long> a(flat.size()), b(flat.size()), c(flat.size());
    bool okA = false, okB = false;
    std::thread t1([&] { okA = interpolateDCT2x2Co(flat.data(), a.data(), w, h, &f, false, nullptr); });
    std::thread t2([&] { okB = interpolateDCT2x2Co(flat.data(), b.data(), w, h, &f, true, nullptr); });
    t1.join();
    t2.join();
    ASSERT_TRUE(okA && okB);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        const unsigned long long p = a[size_t(y * w + x)];
        ASSERT_EQ(p, b[size_t((h - 1 - y) * w + x)]);
        for (int k = 0; k < 3; ++k) ASSERT_EQ(chan(p, k), int(level[k])) << x << "," << y;
      }
    ASSERT_TRUE(interpolateDCT2x2Co(ramp.data(), c.data(), w, h, &f, false, nullptr));
    for (int y = 1; y < h - 1; ++y)
      for (int x = 1; x < w - 1; ++x)
        for (int k = 0; k < 3; ++k) EXPECT_NEAR(chan(c[size_t(y * w + x)], k), 100 * x + 50 * y + 1000, 120);
  }
  sCFAData d(4, 2, 8);
  const unsigned char four[8] = {0, 1, 1, 2, 1, 0, 2, 1};
  std::copy(four, four + 8, d.pattern.ptr);
  cPtr<cBayerFilter> f4(cBayerFilter::newFilter(d));
  cFujiXTransFilter xt;
  std::vector<uint16_t> raw(64, 5);
  std::vector<unsigned long long> px(64);
  EXPECT_FALSE(interpolateDCT2x2Co(raw.data(), px.data(), 8, 8, f4.ptr, false, nullptr));
  EXPECT_FALSE(interpolateDCT2x2Co(raw.data(), px.data(), 8, 8, &xt, false, nullptr));
}

TEST(RawDemosaic, RawFrameKeepsOwnSamplesAndLeavesTheInside) {
  for (auto size : {std::pair{9, 7}, std::pair{3, 3}, std::pair{1, 5}}) {
    const int w = size.first, h = size.second;
    std::vector<uint16_t> raw = rawtest::mosaic(w, h, false, 11);
    std::vector<unsigned long long> px(size_t(w * h), 0);
    cStdCFAFilter f;
    const double mult[4] = {1, 2, 1, 1};
    ASSERT_TRUE(interpolateBorderRaw(2, raw.data(), px.data(), w, h, &f, mult));
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        const unsigned long long p = px[size_t(y * w + x)];
        const bool frame = x < 2 || y < 2 || x >= w - 2 || y >= h - 2;
        ASSERT_EQ(p != 0, frame) << x << "," << y;
        if (!frame) continue;
        const int c = f.color(x, y);
        EXPECT_EQ((p >> (16 * c)) & 0xFFFF, raw[size_t(y * w + x)]);
        EXPECT_EQ(p >> 48, 0xFFFFu);
      }
    if (w > 1) {
      const double g = (raw[1] + raw[size_t(w)]) * 2.0 / 2;
      EXPECT_EQ((px[0] >> 16) & 0xFFFF, (unsigned long long)std::min(g, 65535.0));
    }
  }
}

}  // namespace

namespace {

// Records every value and gives up at the first one at or above `stopAt`.
struct RecordingTarget : cProgressNotifyTarget {
  std::vector<double> seen;
  double stopAt = 1000;
  bool notifyProgress(double percent) override {
    seen.push_back(percent);
    return percent < stopAt;
  }
};

// PPG reports a row at a time in the five bands of its passes, in order;
// the DCT filter the share of rows done. A target that says stop stops both.
TEST(RawDemosaic, ProgressBandsAndCancel) {
  const int w = 24, h = 18;
  std::vector<uint16_t> raw = rawtest::mosaic(w, h, false, 5);
  std::vector<unsigned long long> px(size_t(w * h));
  cStdCFAFilter f;
  struct Case {
    bool dct;
    double stopAt;
    bool ok;
    size_t reports;
  } cases[] = {
      {false, 1000, true, 5 * h}, {false, 40, false, 2 * h + 1}, {true, 1000, true, 3}, {true, 50, false, 2}};
  for (const Case& c : cases) {
    RecordingTarget t;
    t.stopAt = c.stopAt;
    sInterpolateInfo info;
    info.raw = raw.data();
    info.pixels = px.data();
    info.rawWidth = w;
    info.rawHeight = h;
    info.filter = &f;
    info.progress = &t;
    EXPECT_EQ(c.dct ? interpolateDCT2x2(info) : interpolatePPG(info, nullptr, nullptr), c.ok);
    ASSERT_EQ(t.seen.size(), c.reports) << c.dct << ' ' << c.stopAt;
    EXPECT_TRUE(std::is_sorted(t.seen.begin(), t.seen.end()));
    if (c.dct || !c.ok) {
      EXPECT_TRUE(!c.ok || t.seen.back() == 100);
      continue;
    }
    for (int band = 0; band < 5; ++band)
      for (int y = 0; y < h; ++y) EXPECT_DOUBLE_EQ(t.seen[size_t(band * h + y)], 20.0 * band + y * 20.0 / h);
  }
}

}  // namespace
