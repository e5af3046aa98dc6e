#include <gtest/gtest.h>

#include "picts/picticns.h"
#include "raster_support.h"

namespace {

using namespace rastertest;

struct Element {
  std::string type;
  Bytes data;
};

Bytes family(const std::vector<Element>& elements) {
  Bytes f = {'i', 'c', 'n', 's', 0, 0, 0, 0};
  for (const Element& e : elements) {
    f.insert(f.end(), e.type.begin(), e.type.end());
    uint32_t n = static_cast<uint32_t>(e.data.size() + 8);
    f.insert(f.end(), {uint8_t(n >> 24), uint8_t(n >> 16), uint8_t(n >> 8), uint8_t(n)});
    f.insert(f.end(), e.data.begin(), e.data.end());
  }
  uint32_t n = static_cast<uint32_t>(f.size());
  f[4] = uint8_t(n >> 24), f[5] = uint8_t(n >> 16), f[6] = uint8_t(n >> 8), f[7] = uint8_t(n);
  return f;
}

Bytes noise(size_t n, uint32_t seed) {
  std::mt19937 rng(seed);
  Bytes b(n);
  for (auto& v : b) v = static_cast<uint8_t>(rng());
  return b;
}

// Every page against the member icns2png extracts at the page's size and
// depth (the family's pages are chosen so that these never repeat).
void expectPagesMatchIcns2png(const Bytes& file, const std::vector<int>& depths) {
  std::string name = path("family.icns"), out = path("extracted");
  writeFile(name, file);
  ASSERT_TRUE(run("rm -rf " + out + " && mkdir " + out + " && icns2png -x -o " + out + " " + name + " >/dev/null"));
  Stream s(file);
  cPictICNS pict;
  ASSERT_EQ(pict.getNumPages(&s.io), static_cast<int>(depths.size()));
  for (int page = 0; page < static_cast<int>(depths.size()); ++page) {
    SCOPED_TRACE(page);
    ASSERT_TRUE(pict.decodePage(&s.io, page));
    Pixels ours = pixelsOf(pict), ref;
    std::string side = std::to_string(ours.w);
    ASSERT_TRUE(oracle("pngtopam -alphapam {}", out + "/family_" + side + "x" + side + "x" +
                                                     std::to_string(depths[static_cast<size_t>(page)]) + ".png",
                       ref));
    EXPECT_EQ(differences(ours, ref), "");
  }
}

TEST(IcnsDecode, Png2icnsFamiliesMatchIcns2png) {
  std::vector<std::string> sources;
  for (int side : {16, 32, 48, 128}) {
    std::string png = path("p" + std::to_string(side) + ".png");
    ASSERT_TRUE(run("convert " + sourcePicture("s.pam", side, side, side == 128 ? 6 : 0, true, 40 + side) + " PNG32:" + png));
    sources.push_back(png);
  }
  std::string made = path("made.icns");
  ASSERT_TRUE(run("png2icns " + made + " " + sources[0] + " " + sources[1] + " " + sources[2] + " " + sources[3] +
                  " >/dev/null"));
  expectPagesMatchIcns2png(readFile(made), {32, 32, 32, 32});
}

TEST(IcnsDecode, HandMadeElementsMatchIcns2png) {
  std::string png = path("embedded.png");
  ASSERT_TRUE(run("convert " + sourcePicture("e.pam", 64, 64, 0, true, 7) + " " + png));
  const std::vector<std::pair<std::vector<Element>, std::vector<int>>> families = {
      {{{"ICON", noise(128, 1)}, {"ics4", noise(128, 2)}, {"s8mk", noise(256, 3)}, {"ich8", noise(2304, 4)}},
       {1, 4, 8}},
      {{{"ICN#", noise(256, 5)}, {"ics8", noise(256, 6)}, {"icl4", noise(512, 7)}, {"ich4", noise(1152, 8)},
        {"ich#", noise(576, 9)}},
       {1, 8, 4, 4}},
      {{{"TOC ", noise(16, 10)}, {"icl8", noise(1024, 11)}, {"l8mk", noise(1024, 12)}, {"ih32", noise(6912, 13)},
        {"ich#", noise(576, 14)}, {"ic07", readFile(png)}},
       {8, 32, 32}},
  };
  for (const auto& [elements, depths] : families) expectPagesMatchIcns2png(family(elements), depths);
}

TEST(IcnsDecode, SizeAndPreviews) {
  std::string png = path("big.png");
  ASSERT_TRUE(run("convert -size 256x256 xc:lime " + png));
  Bytes mask(1024, 0x80);
  Stream s(family({{"is32", Bytes(768, 0x10)}, {"s8mk", Bytes(256, 0xFF)}, {"il32", Bytes(3072, 0x20)},
                   {"l8mk", mask}, {"ic08", readFile(png)}}));
  cPictBase::sPictInfo info;
  ASSERT_TRUE(cPictICNS::validFor(&s.io, &info));
  EXPECT_EQ(info.width, 256);
  cPictICNS pict;
  cPictDummy out;
  long long limit = 32, small = 8;
  ASSERT_TRUE(pict.getPreview(&s.io, out, &limit, &limit));
  EXPECT_EQ(out.width(), 32);
  EXPECT_EQ(out.raw8Bpp()[0], 0x80202020u);
  EXPECT_FALSE(pict.getPreview(&s.io, out, &small, &small));
  ASSERT_TRUE(pict.decodePagePreview(&s.io, out, 8, 8, 2, true, 0));
  EXPECT_EQ(out.width(), 8);
  s.io.set_fp(0);
  cPtr<cPictBase> found(cPictBase::mkPicture(&s.io, nullptr));
  ASSERT_TRUE(found);
  EXPECT_EQ(found->typeOf(), kPictICNS);
}

TEST(IcnsDecode, HostileElementsAreRefused) {
  Bytes good = family({{"is32", Bytes(768, 1)}, {"ics8", Bytes(255, 1)}});
  auto with = [&](size_t at, uint32_t v) {
    Bytes b = good;
    for (int i = 0; i < 4; ++i) b[at + static_cast<size_t>(i)] = static_cast<uint8_t>(v >> (24 - 8 * i));
    return b;
  };
  const std::vector<std::pair<std::string, Bytes>> cases = {
      {"element shorter than its header", with(12, 4)},
      {"element past the total length", with(12, 0x7FFFFFF0u)},
      {"total length below 16", with(4, 12)},
      {"total length past the file", with(4, 0xFFFFFFF0u)},
      {"compressed element claiming gigabytes", family({{"it32", Bytes(4, 0)}})},
  };
  for (const auto& [name, bytes] : cases) {
    SCOPED_TRACE(name);
    Stream s(bytes);
    cPictICNS pict;
    EXPECT_FALSE(pict.decode(&s.io) && name != "compressed element claiming gigabytes");
  }
  Stream s(good);
  cPictICNS pict;
  EXPECT_TRUE(pict.decodePage(&s.io, 0));
  EXPECT_FALSE(pict.decodePage(&s.io, 1));  // 255 bytes of 8-bit pixels
}

}  // namespace
