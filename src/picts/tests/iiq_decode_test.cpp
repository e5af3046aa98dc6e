#include <gtest/gtest.h>

#include <functional>

#include "picts/pictiiq.h"
#include "picts/tests/iiq_writer.h"

namespace {

using cameratest::Bytes;
using namespace iiqtest;

IiqSpec spec(std::function<void(IiqSpec&)> change) {
  IiqSpec s;
  change(s);
  return s;
}

// A smooth 14-bit mosaic whose first row walks through the curve's range;
// `high` adds values that clip once scaled.
std::vector<uint16_t> values(const IiqSpec& s, bool high) {
  auto v = rawtest::mosaic(s.w, s.h, true, 3);
  for (auto& x : v) x >>= 2;
  for (int x = 0; x < s.w; ++x) v[size_t(x)] = uint16_t(x * 9);
  if (high)
    for (int x = 0; x < s.w; x += 3) v[size_t(s.w + x)] = uint16_t(65535 - x);
  return v;
}

TEST(IiqDecode, BodiesComeBackAsTheirExpectedSamples) {
  struct Case {
    const char* name;
    IiqSpec spec;
    bool high, dcraw;
  } cases[] = {
      {"format 5 curve", spec([](IiqSpec& s) { s.preview = false; }), false, true},
      {"format 3, no curve", spec([](IiqSpec& s) { s.format = 3, s.preview = false; }), false, true},
      {"black level", spec([](IiqSpec& s) { s.black = 600, s.preview = false; }), false, true},
      // dcraw keeps the low 16 bits of a scaled value instead of clipping it.
      {"clipping at both ends", spec([](IiqSpec& s) { s.black = 600; }), true, false},
      // dcraw reads its black tables interleaved, one pair a row or column.
      {"black tables, split", spec([](IiqSpec& s) { s.blackTables = true, s.splitColumn = 13, s.splitRow = 9; }), false, false},
      {"stored ZIP member", spec([](IiqSpec& s) { s.zip = true; }), false, false},
      {"width not of whole groups", spec([](IiqSpec& s) { s.w = 29; }), false, false},
  };
  for (const Case& c : cases) {
    const auto v = values(c.spec, c.high);
    std::vector<uint16_t> want(v.size());
    for (int y = 0; y < c.spec.h; ++y)
      for (int x = 0; x < c.spec.w; ++x) want[size_t(y * c.spec.w + x)] = expected(c.spec, v[size_t(y * c.spec.w + x)], x, y);
    const Bytes file = writeIiq(c.spec, v);
    cameratest::Captured<cPictIIQ> d;
    ASSERT_TRUE(cameratest::decodePlane(file, d)) << c.name;
    EXPECT_EQ(d.plane, want) << c.name;
    EXPECT_EQ(std::vector<double>(d.multipliers, d.multipliers + 4), (std::vector<double>{2, 1, 1.5, 1})) << c.name;
    if (!c.dcraw) continue;
    rawtest::Pnm p = cameratest::dcrawPlane(file, "iiq.iiq");
    ASSERT_FALSE(p.v.empty()) << c.name;
    EXPECT_EQ(p.v, want) << c.name;
  }
  // The curve's own values at a few points.
  const IiqSpec s;
  EXPECT_EQ(expected(s, 0, 0, 0), 0);
  EXPECT_EQ(expected(s, 100, 0, 0), 4 * 2520);
  EXPECT_EQ(expected(s, 255, 0, 0), 4 * 16383);
  EXPECT_EQ(expected(s, 256, 0, 0), 4 * 256);
}

TEST(IiqDecode, MarginsAndPreview) {
  {
    const IiqSpec s = spec([](IiqSpec& x) { x.left = 2, x.top = 1, x.activeWidth = 26, x.activeHeight = 20; });
    cameratest::Memory m(writeIiq(s, values(s, false)));
    cPictBase::sPictInfo info;
    ASSERT_TRUE(cPictIIQ::validFor(&m.io, &info));
    EXPECT_EQ(info.width, 26);
    EXPECT_EQ(info.height, 20);
    EXPECT_TRUE(info.hasPreview);
    cameratest::Captured<cPictIIQ> d;
    ASSERT_TRUE(d.decode(&m.io));
    EXPECT_EQ(d.margins.right, 4u);
    EXPECT_EQ(d.margins.bottom, 3u);
  }
  for (const bool zip : {false, true}) {
    const IiqSpec s = spec([&](IiqSpec& x) { x.zip = zip; });
    cameratest::Memory m(writeIiq(s, values(s, false)));
    cPictIIQ d;
    cPictDummy whole, scaled;
    ASSERT_TRUE(d.getPreview(&m.io, whole, nullptr, nullptr)) << zip;
    EXPECT_EQ(whole.width(), 40);
    m.io.set_fp(0);
    const long long limit = 20;
    ASSERT_TRUE(d.getPreview(&m.io, scaled, &limit, &limit)) << zip;
    EXPECT_EQ(scaled.width(), 20);
    EXPECT_EQ(scaled.height(), 15);
  }
}

TEST(IiqDecode, HostileFiles) {
  struct Case {
    const char* name;
    IiqSpec spec;
    bool probe;
  } cases[] = {
      {"deflated member", spec([](IiqSpec& s) { s.zip = true, s.deflated = true; }), false},
      {"no entries", spec([](IiqSpec& s) { s.noEntries = true; }), false},
      {"directory past the end", spec([](IiqSpec& s) { s.directory = 1 << 30; }), false},
      {"directory in the last bytes", spec([](IiqSpec& s) { s.directory = 0xFFFFFFF0; }), false},
      {"row table past the end", spec([](IiqSpec& s) { s.rowTablePastEnd = true; }), true},
      {"margins wider than the raw", spec([](IiqSpec& s) { s.left = 32; }), false},
      {"format 2", spec([](IiqSpec& s) { s.format = 2; }), true},
  };
  for (const Case& c : cases) {
    const Bytes file = writeIiq(c.spec, values(c.spec, false));
    cameratest::Memory m(file);
    EXPECT_EQ(cPictIIQ::validFor(&m.io, nullptr), c.probe) << c.name;
    cameratest::Captured<cPictIIQ> d;
    EXPECT_FALSE(cameratest::decodePlane(file, d)) << c.name;
  }
  cPictIIQ probe;
  cameratest::Memory none(writeIiq(spec([](IiqSpec& s) { s.noEntries = true; }), values(IiqSpec{}, false)));
  EXPECT_TRUE(probe.processIIQ(&none.io, nullptr));
  for (const bool zip : {false, true}) {
    const IiqSpec s = spec([&](IiqSpec& x) { x.w = 10, x.h = 2, x.blackTables = true, x.zip = zip; });
    cameratest::survivesEveryTruncation<cPictIIQ>(writeIiq(s, values(s, false)));
  }
}

}  // namespace
