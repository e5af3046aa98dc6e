#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "picts/pictsrw.h"
#include "picts/tests/srw_writer.h"

namespace {

using cameratest::Bytes;
using namespace srwtest;

// Also keeps the colours of the first 2 x 2 cell the filter gave.
class Decoded : public cameratest::Captured<cPictSRW> {
 public:
  int cell[4] = {};

 protected:
  void onRawPlane(const sRawFinish& f) override {
    Captured::onRawPlane(f);
    for (int i = 0; i < 4; ++i) cell[i] = f.filter->color(i & 1, i >> 1);
  }
};

SrwSpec spec(Body body, std::initializer_list<std::function<void(SrwSpec&)>> changes = {}) {
  SrwSpec s;
  s.body = body;
  for (const auto& c : changes) c(s);
  return s;
}

TEST(SrwDecode, BodiesComeBackAsTheirSourcePlanes) {
  const auto groups = [](unsigned opt, int mag, bool steps, unsigned pmode) {
    return spec(kGroups, {[=](SrwSpec& s) { s.w = 160, s.opt = opt, s.mag = mag, s.magSteps = steps, s.pmode = pmode; }});
  };
  struct Case {
    const char* name;
    SrwSpec spec;
    bool dcraw;
  } cases[] = {
      // dcraw halves 16-bit samples of compression 32769.
      {"16-bit", spec(kPlain16, {[](SrwSpec& s) { s.bits = 16, s.compression = 32770; }}), true},
      {"16-bit, body in the first SubIFD",
       spec(kPlain16, {[](SrwSpec& s) { s.bits = 16, s.compression = 32770, s.cfaFirst = true; }}), true},
      {"12-bit in 16", spec(kPlain16), false},
      {"12-bit little-endian pairs", spec(kPacked12), false},  // dcraw knows only big-endian ones
      {"12-bit big-endian pairs",
       spec(kPacked12, {[](SrwSpec& s) { s.big12 = true, s.model = "NX10 X", s.compression = 32770; }}), true},
      {"row table", spec(kRowTable), true},
      {"row table, direction bit", spec(kRowTable, {[](SrwSpec& s) { s.dir = 1; }}), true},
      // dcraw reads above its plane here.
      {"row table, direction bit on the first rows", spec(kRowTable, {[](SrwSpec& s) { s.dir = 2; }}), false},
      {"row table, width not of whole groups", spec(kRowTable, {[](SrwSpec& s) { s.w = 40; }}), false},
      {"differences", spec(kDifferences), true},
      {"groups, every code", groups(0, -1, false, 0), false},
      {"groups, fixed lengths and two pmodes", groups(3, -1, false, 5), false},
      {"groups, no mag", groups(4, -1, false, 2), false},
      {"groups, mag 1 stepped", groups(0, 1, true, 1), false},
      {"groups, mag 5", groups(1, 5, false, 6), false},
      // dcraw reads outside its rows for the other predictions.
      {"groups, left predictions only", groups(2, 3, false, 8), true},
  };
  for (const Case& c : cases) {
    const auto source = samples(c.spec, 7);
    auto carried = source;
    const Bytes file = writeSrw(c.spec, carried);
    if (c.spec.mag < 0) {
      ASSERT_EQ(carried, source) << c.name;
    }
    Decoded d;
    ASSERT_TRUE(cameratest::decodePlane(file, d)) << c.name;
    EXPECT_EQ(d.plane, carried) << c.name;
    EXPECT_EQ(std::vector<double>(d.multipliers, d.multipliers + 4), (std::vector<double>{2, 1, 1.5, 1})) << c.name;
    if (!c.dcraw) continue;
    rawtest::Pnm p = cameratest::dcrawPlane(file, "srw.srw");
    ASSERT_FALSE(p.v.empty()) << c.name;
    EXPECT_EQ(p.v, carried) << c.name;
  }
}

TEST(SrwDecode, DryDifferenceBodyKeepsWhatItHeld) {
  SrwSpec s = spec(kDifferences);
  auto v = samples(s, 3);
  s.dryAt = int(writeSrw(s, v).size() / 4);  // well inside the body
  Decoded d;
  ASSERT_TRUE(cameratest::decodePlane(writeSrw(s, v), d));
  size_t same = 0;
  while (same < v.size() && d.plane[same] == v[same]) ++same;
  EXPECT_GT(same, size_t(s.w));
  EXPECT_TRUE(std::all_of(d.plane.begin() + long(same) + 1, d.plane.end(), [](uint16_t x) { return x == 0; }));
}

TEST(SrwDecode, ModelTableRows) {
  struct Row {
    const char* model;
    unsigned left, right, top, bottom;
    bool gn120;
  } rows[] = {
      {"NX mini", 96, 25, 17, 0, false},    {"NX miniature", 96, 25, 17, 0, false},
      {"EX2F", 0, 105, 0, 10, false},       {"EK-GN120", 0, 8, 0, 19, true},
      {"EK-GN1200", 0, 0, 0, 0, false},     {"WB2000", 0, 11, 2, 2, false},
      {"NX2000", 1, 0, 0, 20, false},       {"NX1000", 46, 57, 2, 60, false},
      {"NX1000 II", 46, 57, 2, 60, false},  {"NX20", 46, 57, 2, 60, false},
      {"NX200", 46, 57, 2, 60, false},      {"NX210", 46, 57, 2, 60, false},
      {"NX2", 0, 0, 0, 0, false},           {"NX10 ", 8, 8, 8, 0, false},
      {"NX11 X", 8, 8, 8, 0, false},        {"NX100 ", 8, 8, 8, 0, false},
      {"NX100", 0, 0, 0, 0, false},         {"NX30", 0, 9, 0, 20, false},
      {"EX1    ", 0, 6, 0, 20, false},      {"EX1", 0, 0, 0, 0, false},
      {"NX300", 1, 9, 0, 20, false},        {"NX3000", 97, 32, 37, 26, false},
      {"NX3000M", 97, 32, 37, 26, false},   {"NX300M", 0, 0, 0, 0, false},
  };
  for (const Row& r : rows) {
    SrwSpec s = spec(kPlain16, {[&](SrwSpec& x) { x.w = 160, x.h = 72, x.model = r.model; }});
    auto v = samples(s, 1);
    Decoded d;
    ASSERT_TRUE(cameratest::decodePlane(writeSrw(s, v), d)) << r.model;
    EXPECT_EQ(d.margins.left, r.left) << r.model;
    EXPECT_EQ(d.margins.right, r.right) << r.model;
    EXPECT_EQ(d.margins.top, r.top) << r.model;
    EXPECT_EQ(d.margins.bottom, r.bottom) << r.model;
    const std::vector<int> cell = r.gn120 ? std::vector<int>{1, 0, 2, 1} : std::vector<int>{0, 1, 1, 2};
    EXPECT_EQ(std::vector<int>(d.cell, d.cell + 4), cell) << r.model;
    EXPECT_EQ(d.width(), 160 - r.left - r.right) << r.model;
  }
}

TEST(SrwDecode, PreviewRefusalsAndHostileFiles) {
  {
    SrwSpec s;
    auto v = samples(s, 2);
    cameratest::Memory m(writeSrw(s, v, cameratest::toolJpeg("40x30", "xc:blue")));
    cPictBase::sPictInfo info;
    ASSERT_TRUE(cPictSRW::validFor(&m.io, &info));
    EXPECT_TRUE(info.hasPreview);
    EXPECT_EQ(info.width, s.w);
    cPictSRW d;
    cPictDummy whole, scaled;
    ASSERT_TRUE(d.getPreview(&m.io, whole, nullptr, nullptr));
    EXPECT_EQ(whole.width(), 40);
    const long long limit = 20;
    ASSERT_TRUE(d.getPreview(&m.io, scaled, &limit, &limit));
    EXPECT_EQ(scaled.width(), 20);
    EXPECT_EQ(scaled.height(), 15);
  }
  struct Case {
    const char* name;
    SrwSpec spec;
    bool probe;
  } cases[] = {
      {"one SubIFD", spec(kPlain16, {[](SrwSpec& s) { s.subIfds = 1; }}), false},
      {"three SubIFDs", spec(kPlain16, {[](SrwSpec& s) { s.subIfds = 3; }}), false},
      {"margins wider than the raw", spec(kPlain16, {[](SrwSpec& s) { s.w = 120, s.model = "NX3000"; }}), true},
      {"unknown compression", spec(kPlain16, {[](SrwSpec& s) { s.compression = 1; }}), true},
      {"row offset at the strip's end", spec(kRowTable, {[](SrwSpec& s) { s.rowPastStrip = true; }}), true},
      {"make not SAMSUNG", spec(kPlain16, {[](SrwSpec& s) { s.make = "SAMSONG"; }}), false},
  };
  for (const Case& c : cases) {
    auto v = samples(c.spec, 4);
    const Bytes file = writeSrw(c.spec, v);
    cameratest::Memory m(file);
    EXPECT_EQ(cPictSRW::validFor(&m.io, nullptr), c.probe) << c.name;
    Decoded d;
    EXPECT_FALSE(cameratest::decodePlane(file, d)) << c.name;
  }
  for (const Body b : {kPlain16, kPacked12, kRowTable, kDifferences, kGroups}) {
    SrwSpec small = spec(b, {[](SrwSpec& s) { s.w = 16, s.h = 4; }});
    auto sv = samples(small, 6);
    cameratest::survivesEveryTruncation<cPictSRW>(writeSrw(small, sv));
  }
}

}  // namespace
