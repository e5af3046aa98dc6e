#include <gtest/gtest.h>

#include <cmath>
#include <functional>

#include "picts/pictraf.h"
#include "picts/tests/raf_writer.h"

namespace {

using cameratest::Bytes;
using namespace raftest;

// Also keeps the demosaicing kind and the first 2 x 2 cell's colours.
class Decoded : public cameratest::Captured<cPictRAF> {
 public:
  sRawFinish::eDemosaic demosaic = sRawFinish::dmNone;
  int cell[4] = {};

 protected:
  void onRawPlane(const sRawFinish& f) override {
    Captured::onRawPlane(f);
    demosaic = f.demosaic;
    for (int i = 0; i < 4; ++i) cell[i] = f.filter->color(i & 1, i >> 1);
  }
};

// The start of a JPEG whose EXIF names the maker, which is all dcraw asks
// of the preview to know the file.
Bytes exifStart() {
  tifftest::Writer w;
  w.ifds.push_back({{271, 2, 9, Bytes{'F', 'U', 'J', 'I', 'F', 'I', 'L', 'M', 0}},
                    {272, 2, 5, Bytes{'T', 'E', 'S', 'T', 0}}});
  const Bytes tiff = w.build();
  Bytes b = {0xFF, 0xD8, 0xFF, 0xE1, uint8_t((tiff.size() + 8) >> 8), uint8_t(tiff.size() + 8), 'E', 'x', 'i', 'f', 0, 0};
  b.insert(b.end(), tiff.begin(), tiff.end());
  return b;
}

RafSpec spec(std::function<void(RafSpec&)> change) {
  RafSpec s;
  change(s);
  return s;
}

TEST(RafDecode, BodiesComeBackAsTheirSourcePlanes) {
  struct Case {
    const char* name;
    RafSpec spec;
    double m1, m2;
    bool dcraw;
  } cases[] = {
      {"bare 16-bit", RafSpec{}, 0.5, 1.5, true},
      {"bare 14-bit", spec([](RafSpec& s) { s.bits = 14; }), 0.5, 1.5, true},
      {"TIFF-like section", spec([](RafSpec& s) { s.tiffSection = true; }), 0.75, 1.5, false},
      {"12-bit pairs", spec([](RafSpec& s) { s.tiffSection = true, s.bits = 12; }), 0.75, 1.5, false},
      {"12-bit word-swapped",
       spec([](RafSpec& s) { s.tiffSection = true, s.bits = 12, s.w = 36, s.wordSwapped = true, s.model = "FinePix SL1000"; }),
       0.75, 1.5, false},
  };
  for (const Case& c : cases) {
    const auto v = samples(c.spec, 3);
    const Bytes file = writeRaf(c.spec, v, exifStart());
    Decoded d;
    ASSERT_TRUE(cameratest::decodePlane(file, d)) << c.name;
    EXPECT_EQ(d.plane, v) << c.name;
    EXPECT_EQ(std::vector<double>(d.multipliers, d.multipliers + 4), (std::vector<double>{1, c.m1, c.m2, c.m1})) << c.name;
    EXPECT_EQ(d.black, 240u) << c.name;
    if (!c.dcraw) continue;
    rawtest::Pnm p = cameratest::dcrawPlane(file, "raf.raf");
    ASSERT_FALSE(p.v.empty()) << c.name;
    EXPECT_EQ(p.v, v) << c.name;
  }
}

TEST(RafDecode, DiamondCellsAndTurnedSize) {
  for (const bool order : {false, true}) {
    const RafSpec s = spec([&](RafSpec& x) { x.w = 12, x.h = 10, x.imageWidth = 12, x.imageHeight = 10, x.layout = true, x.order = order; });
    const auto v = samples(s, 5);
    Decoded d;
    ASSERT_TRUE(cameratest::decodePlane(writeRaf(s, v), d)) << order;
    const long long fw = 6, dw = 10 + fw, dh = dw - 1;
    ASSERT_EQ(d.rawWidth, dw);
    ASSERT_EQ(d.rawHeight, dh);
    EXPECT_EQ(std::vector<int>(d.cell, d.cell + 4), (std::vector<int>{1, 2, 0, 1}));
    for (long long y = 0; y < s.h; ++y)
      for (long long x = 0; x < (order ? fw : 2 * fw); ++x) {
        const long long r = order ? fw - 1 - x + (y >> 1) : fw - 1 + y - (x >> 1);
        const long long c = order ? x + ((y + 1) >> 1) : y + ((x + 1) >> 1);
        if (r < dh && c < dw) {
          EXPECT_EQ(d.plane[size_t(r * dw + c)], v[size_t(y * s.w + x)]) << x << "," << y;
        }
      }
    EXPECT_EQ(d.width(), (long long)std::trunc(fw * std::sqrt(2.0)));
    EXPECT_EQ(d.height(), (long long)std::trunc(10 * std::sqrt(2.0)));
    cameratest::Memory m(writeRaf(s, v));
    cPictBase::sPictInfo info;
    ASSERT_TRUE(cPictRAF::validFor(&m.io, &info));
    EXPECT_EQ(info.width, d.width());
    EXPECT_EQ(info.height, d.height());
  }
}

TEST(RafDecode, ModelTableRows) {
  struct Row {
    const char* model;
    unsigned left, right, top, black;
    bool xTrans, blueFirst;
  } rows[] = {
      {"FinePix HS10 HS10", 0, 0, 0, 90, false, true}, {"FinePix X100", 68, 69, 0, 240, false, false},
      {"X100", 0, 0, 0, 240, false, false},            {"FinePix F700  ", 22, 0, 0, 240, false, false},
      {"FinePix S5000 ", 36, 0, 4, 240, false, false},  {"FinePix S1", 0, 0, 0, 240, false, false},
      {"FinePix S9500  ", 46, 0, 0, 240, false, false},  {"FinePix S6500fd", 46, 0, 0, 240, false, false},
      {"FinePix E900   ", 46, 0, 0, 240, false, false},   {"FinePix S100FS ", 46, 0, 0, 240, false, false},
      {"FinePix HS50EXR", 0, 63, 0, 240, false, true}, {"FinePix F600EXR", 34, 32, 0, 240, false, false},
      {"FinePix S3Pro  ", 23, 0, 0, 240, false, false},  {"FinePix S5Pro  ", 24, 0, 4, 240, false, false},
      {"FinePix S200EXR", 34, 32, 0, 300, false, false}, {"FinePix F900EXR", 0, 63, 0, 240, false, false},
      {"X-Pro1", 1, 167, 1, 240, true, false},         {"X-A2", 0, 167, 0, 240, false, false},
      {"X30", 0, 63, 0, 240, true, false},             {"XF1", 48, 47, 0, 240, false, true},
      {"X-T1", 7, 51, 2, 800, true, false},            {"X100S", 7, 51, 2, 800, true, false},
      {"X100T and more", 0, 0, 0, 240, false, false},  {"FinePix X-T1", 0, 0, 0, 240, false, false},
  };
  for (const Row& r : rows) {
    const RafSpec s = spec([&](RafSpec& x) { x.w = 200, x.h = 8, x.model = r.model; });
    Decoded d;
    ASSERT_TRUE(cameratest::decodePlane(writeRaf(s, samples(s, 1)), d)) << r.model;
    EXPECT_EQ(d.margins.left, r.left) << r.model;
    EXPECT_EQ(d.margins.right, r.right) << r.model;
    EXPECT_EQ(d.margins.top, r.top) << r.model;
    EXPECT_EQ(d.black, r.black) << r.model;
    EXPECT_EQ(d.demosaic, r.xTrans ? sRawFinish::dmLinear : sRawFinish::dmPPG) << r.model;
    if (!r.xTrans) {
      const std::vector<int> cell = r.blueFirst ? std::vector<int>{2, 1, 1, 0} : std::vector<int>{0, 1, 1, 2};
      EXPECT_EQ(std::vector<int>(d.cell, d.cell + 4), cell) << r.model;
    }
  }
  cameratest::Memory m(writeRaf(spec([](RafSpec& x) { x.model = "FinePix 2Pro"; }), samples(RafSpec{}, 1)));
  cPictBase::sPictInfo info;
  ASSERT_TRUE(cPictRAF::validFor(&m.io, &info));
  EXPECT_EQ(info.width, 2880);
  EXPECT_EQ(info.height, 2144);
}

TEST(RafDecode, PreviewSecondFrameAndHostileFiles) {
  {
    cameratest::Memory m(
        writeRaf(RafSpec{}, samples(RafSpec{}, 2), cameratest::toolJpeg("40x30", "xc:red")));
    cPictRAF d;
    cPictDummy out;
    ASSERT_TRUE(d.getPreview(&m.io, out, nullptr, nullptr));
    EXPECT_EQ(out.width(), 40);
  }
  const auto diamond = [](RafSpec& x) { x.w = 12, x.h = 10, x.layout = true, x.secondFrame = true; };
  {
    // The second frame doubles the width read; a JPEG offset inside the
    // header clears it, and the single frame must then fill the section.
    Decoded d;
    ASSERT_TRUE(cameratest::decodePlane(writeRaf(spec(diamond), samples(spec(diamond), 2), {1, 2, 3}), d));
    RafSpec low = spec(diamond);
    low.jpegOffset = 100;
    Decoded e;
    ASSERT_TRUE(cameratest::decodePlane(writeRaf(low, samples(low, 2), {1, 2, 3}), e));
    EXPECT_EQ(d.rawWidth, e.rawWidth);
  }
  struct Case {
    const char* name;
    RafSpec spec;
    bool probe;
  } cases[] = {
      {"section past the end", spec([](RafSpec& s) { s.sectionOffset = 1u << 30; }), true},
      {"0xF000 at itself", spec([](RafSpec& s) { s.tiffSection = true, s.selfLoop = true; }), false},
      {"margins wider than the raw", spec([](RafSpec& s) { s.model = "X-Pro1"; }), false},
      {"second frame cut short", spec([&](RafSpec& s) { diamond(s), s.cut = 10; }), true},
      {"13 bits", spec([](RafSpec& s) { s.tiffSection = true, s.bits = 13; }), true},
  };
  for (const Case& c : cases) {
    const Bytes file = writeRaf(c.spec, samples(c.spec, 4), exifStart());
    cameratest::Memory m(file);
    EXPECT_EQ(cPictRAF::validFor(&m.io, nullptr), c.probe) << c.name;
    Decoded d;
    EXPECT_FALSE(cameratest::decodePlane(file, d)) << c.name;
  }
  for (const auto& change : std::vector<std::function<void(RafSpec&)>>{
           [](RafSpec& s) { s.w = 4, s.h = 2; }, [](RafSpec& s) { s.w = 8, s.h = 2, s.tiffSection = true, s.bits = 12; },
           [](RafSpec& s) { s.w = 6, s.h = 4, s.layout = true, s.order = true; }}) {
    const RafSpec s = spec(change);
    cameratest::survivesEveryTruncation<cPictRAF>(writeRaf(s, samples(s, 6)));
  }
}

}  // namespace
