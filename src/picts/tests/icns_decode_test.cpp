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

// icns2png extracts only 32-bit members, so the older depths are checked
// against the palette anchors and mask rules that define them.
TEST(IcnsDecode, OlderDepthsAndMasks) {
  Bytes indices(256), nibbles(128), bitsAndMask(256, 0), raw(6912), hashMask(576, 0);
  for (int i = 0; i < 256; ++i) indices[static_cast<size_t>(i)] = static_cast<uint8_t>(i);
  for (int i = 0; i < 128; ++i) nibbles[static_cast<size_t>(i)] = static_cast<uint8_t>((i % 16) << 4 | 15);
  bitsAndMask[0] = 0x80;       // pixel 0 white, the rest black
  bitsAndMask[128] = 0xC0;     // pixels 0 and 1 opaque
  hashMask[288] = 0x40;        // only pixel 1 opaque in the second half
  for (size_t i = 0; i < raw.size(); ++i) raw[i] = static_cast<uint8_t>(i * 7);
  struct Probe {
    long long x, y;
    uint32_t want;
  };
  struct Case {
    std::string name;
    std::vector<Element> elements;
    std::vector<Probe> probes;
  } cases[] = {
      {"8-bit palette",
       {{"ics8", indices}},
       {{0, 0, 0xFFFFFFFF}, {1, 0, 0xFFFFFFCC}, {6, 13, 0xFF000033}, {7, 13, 0xFFEE0000},
        {1, 14, 0xFF00EE00}, {5, 15, 0xFFEEEEEE}, {14, 15, 0xFF111111}, {15, 15, 0xFF000000}}},
      {"4-bit palette",
       {{"ics4", nibbles}},
       {{0, 0, 0xFFFFFFFF}, {1, 0, 0xFF000000}, {2, 0, 0xFFFCF305}, {14, 0, 0xFF02ABEA}, {28, 0, 0xFF404040}}},
      {"1-bit with its own mask", {{"ICN#", bitsAndMask}}, {{0, 0, 0xFFFFFFFF}, {1, 0, 0xFF000000}, {2, 0, 0}}},
      {"8-bit mask of the next element",
       {{"ics8", indices}, {"s8mk", indices}},
       {{0, 0, 0x00FFFFFF}, {15, 15, 0xFF000000}}},
      {"mask not next is not used", {{"ics8", indices}, {"TOC ", Bytes(8)}, {"s8mk", indices}}, {{0, 0, 0xFFFFFFFF}}},
      {"raw 24 bits with the second half of ich#",
       {{"ih32", raw}, {"ich#", hashMask}},
       {{0, 0, 0}, {1, 0, 0xFF151C23}, {2, 0, 0}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Stream s(family(c.elements));
    cPictICNS pict;
    ASSERT_TRUE(pict.decodePage(&s.io, 0));
    Pixels ours = pixelsOf(pict);
    for (const Probe& p : c.probes) {
      uint32_t got = ours.at(p.x, p.y);
      EXPECT_TRUE(p.want >> 24 ? got == p.want : got >> 24 == 0) << p.x << "," << p.y << ": " << std::hex << got;
    }
  }
  // Embedded PNG members decode as the PNG decoder reads them.
  std::string png = path("embedded.png");
  ASSERT_TRUE(run("convert " + sourcePicture("e.pam", 64, 64, 0, true, 7) + " PNG32:" + png));
  Stream s(family({{"TOC ", Bytes(8)}, {"ic07", readFile(png)}}));
  cPictICNS pict;
  ASSERT_EQ(pict.getNumPages(&s.io), 1);
  ASSERT_TRUE(pict.decodePage(&s.io, 0));
  Pixels ref;
  ASSERT_TRUE(oracle("pngtopam -alphapam {}", png, ref));
  EXPECT_EQ(differences(pixelsOf(pict), ref), "");
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
      {"element claiming gigabytes", [&] {
         Bytes b = with(4, 0xFFFFFFF0u);
         b[12] = 0xFF, b[13] = 0xFF, b[14] = 0xFF, b[15] = 0x00;
         return b;
       }()},
  };
  for (const auto& [name, bytes] : cases) {
    SCOPED_TRACE(name);
    Stream s(bytes);
    cPictICNS pict;
    EXPECT_FALSE(pict.decode(&s.io));
  }
  Stream s(good);
  cPictICNS pict;
  EXPECT_TRUE(pict.decodePage(&s.io, 0));
  EXPECT_FALSE(pict.decodePage(&s.io, 1));  // 255 bytes of 8-bit pixels
}

}  // namespace
