#include <gtest/gtest.h>

#include "picts/pictpef.h"
#include "picts/tests/pef_writer.h"

namespace {

using cameratest::Bytes;
using cameratest::Captured;
using namespace peftest;

TEST(PefDecode, BodiesComeBackAsTheirSourcePlanes) {
  struct Case {
    const char* name;
    PefSpec spec;
    bool dcraw;
  } cases[] = {
      {"Huffman II 12-bit", {64, 24, 12}, true},
      {"Huffman MM 14-bit", {64, 24, 14, 65535, true}, true},
      {"Huffman in strips", {64, 24, 12, 65535, false, false, false, 10}, false},
      {"Ricoh", {64, 24, 12, 65535, true, true}, false},
      {"packed II", {64, 24, 12, 32773}, false},  // dcraw reads these bytes as big-endian pairs
      {"packed MM", {64, 24, 12, 32773, true}, true},
      {"16-bit II", {64, 24, 16, 1}, true},
      {"16-bit MM", {64, 24, 16, 1, true}, true},
  };
  for (const Case& c : cases) {
    const auto v = samples(c.spec, 11);
    const Bytes file = writePef(c.spec, v);
    Captured<cPictPEF> d;
    ASSERT_TRUE(cameratest::decodePlane(file, d)) << c.name;
    EXPECT_EQ(d.plane, v) << c.name;
    const double s = 65535.0 / ((1 << c.spec.bits) - 1);
    EXPECT_DOUBLE_EQ(d.multipliers[0], 2 * s) << c.name;
    EXPECT_DOUBLE_EQ(d.multipliers[2], 1.5 * s) << c.name;
    EXPECT_DOUBLE_EQ(d.multipliers[3], s) << c.name;
    if (!c.dcraw) continue;
    rawtest::Pnm p = cameratest::dcrawPlane(file, "pef.pef");
    ASSERT_FALSE(p.v.empty()) << c.name;
    EXPECT_EQ(p.v, v) << c.name;
  }
}

TEST(PefDecode, CropPreviewAndRefusals) {
  PefSpec crop{64, 24};
  crop.crop = true;
  {
    cameratest::Memory m(writePef(crop, samples(crop, 2)));
    cPictBase::sPictInfo info;
    ASSERT_TRUE(cPictPEF::validFor(&m.io, &info));
    EXPECT_EQ(info.width, 54);
    EXPECT_EQ(info.height, 18);
    Captured<cPictPEF> d;
    ASSERT_TRUE(d.decode(&m.io));
    EXPECT_EQ(d.margins.left, 4u);
    EXPECT_EQ(d.margins.top, 2u);
    EXPECT_EQ(d.margins.right, 6u);
    EXPECT_EQ(d.margins.bottom, 4u);
    EXPECT_EQ(d.width(), 54);
  }
  {
    cameratest::Memory m(
        writePef(PefSpec{}, samples(PefSpec{}, 2), cameratest::toolJpeg("40x30", "xc:green")));
    cPictBase::sPictInfo info;
    ASSERT_TRUE(cPictPEF::validFor(&m.io, &info));
    EXPECT_TRUE(info.hasPreview);
    cPictPEF d;
    cPictDummy out;
    ASSERT_TRUE(d.getPreview(&m.io, out, nullptr, nullptr));
    EXPECT_EQ(out.width(), 40);
  }
  // A 4096 in a 12-bit Huffman body.
  PefSpec over{64, 24};
  auto v = samples(over, 3);
  v[100] = 4096;
  struct Case {
    const char* name;
    PefSpec spec;
    bool probe;
  } cases[] = {
      {"DNG", [] { PefSpec s; s.dng = true; return s; }(), false},
      {"CFA count", [] { PefSpec s; s.cfaMismatch = true; return s; }(), false},
      {"EXIF cycle", [] { PefSpec s; s.exifCycle = true; return s; }(), false},
      {"bit length 13", [] { PefSpec s; s.tableLength = 13; return s; }(), false},
      {"bit length 0", [] { PefSpec s; s.tableLength = 0x100; return s; }(), false},
      {"bit length 255", [] { PefSpec s; s.tableLength = 255; return s; }(), false},
  };
  for (const Case& c : cases) {
    cameratest::Memory m(writePef(c.spec, samples(c.spec, 4)));
    EXPECT_EQ(cPictPEF::validFor(&m.io, nullptr), c.probe) << c.name;
  }
  Captured<cPictPEF> d;
  EXPECT_FALSE(cameratest::decodePlane(writePef(over, v), d));
  PefSpec small{8, 4};
  cameratest::survivesEveryTruncation<cPictPEF>(writePef(small, samples(small, 5)));
}

}  // namespace
