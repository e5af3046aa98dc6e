#include <gtest/gtest.h>

#include <cmath>

#include "picts/pictx3f.h"
#include "picts/tests/x3f_writer.h"

namespace {

using cameratest::Bytes;
using namespace x3ftest;

// The picture a decoder should hand back: the source, bottom-up, toned.
std::vector<unsigned long long> toned(const X3fSpec& s, const std::vector<Rgb>& px) {
  std::vector<unsigned long long> want;
  for (int y = s.h - 1; y >= 0; --y)
    for (int x = 0; x < s.w; ++x) {
      const Rgb& p = px[size_t(y * s.w + x)];
      want.push_back(0xFFFFULL << 48 | (unsigned long long)p.r << 32 | (unsigned long long)p.g << 16 | p.b);
    }
  finishLevels(want.data(), (long long)want.size(), false, nullptr);
  return want;
}

Bytes jpeg(const char* size, const char* colour) {
  return cameratest::toolJpeg(size, std::string("xc:") + colour);
}

TEST(X3fDecode, BodiesComeBackAsTheirSourcePictures) {
  for (const unsigned format : {5u, 30u}) {
    X3fSpec s;
    s.format = format;
    const auto px = picture(s);
    cameratest::Memory m(writeX3f(s, px));
    cPictBase::sPictInfo info;
    ASSERT_TRUE(cPictX3F::validFor(&m.io, &info)) << format;
    EXPECT_EQ(info.width, s.w);
    EXPECT_FALSE(info.hasPreview);
    m.io.set_fp(0);
    cPictX3F d;
    ASSERT_TRUE(d.decode(&m.io)) << format;
    ASSERT_EQ(d.width(), s.w);
    ASSERT_EQ(d.height(), s.h);
    EXPECT_EQ(std::vector<unsigned long long>(d.raw16Bpp(), d.raw16Bpp() + s.w * s.h), toned(s, px)) << format;
  }
}

TEST(X3fDecode, PreviewChoice) {
  const Bytes small = jpeg("320x240", "red"), other = jpeg("320x240", "green"), large = jpeg("1536x1024", "blue");
  X3fSpec s;
  cameratest::Memory m(writeX3f(s, picture(s), {{320, 240, small}, {1536, 1024, large}, {240, 320, other}}));
  struct Case {
    long long limitW, limitH;
    bool limits;
    long long width, height;
    int red, blue;
  } cases[] = {
      {640, 480, true, 320, 240, 1, 0},  // the first of the two 76800-pixel ones
      {100, 100, true, 100, 67, 0, 1},   // none that small: the largest, scaled
      {0, 0, false, 1536, 1024, 0, 1},
  };
  for (const Case& c : cases) {
    m.io.set_fp(0);
    cPictX3F d;
    cPictDummy out;
    ASSERT_TRUE(d.getPreview(&m.io, out, c.limits ? &c.limitW : nullptr, c.limits ? &c.limitH : nullptr));
    EXPECT_EQ(out.width(), c.width);
    EXPECT_EQ(out.height(), c.height);
    const unsigned px = out.raw8Bpp()[0];
    EXPECT_EQ((px >> 16 & 0xFF) > 128, c.red == 1) << c.width;
    EXPECT_EQ((px & 0xFF) > 128, c.blue == 1) << c.width;
  }
  // A section that understates its JPEG's size is refused rather than decoded whole.
  cameratest::Memory lying(writeX3f(s, picture(s), {{16, 16, large}}));
  cPictX3F d;
  cPictDummy out;
  const long long limit = 20;
  EXPECT_FALSE(d.getPreview(&lying.io, out, &limit, &limit));
}

TEST(X3fDecode, HostileFiles) {
  struct Case {
    const char* name;
    X3fSpec spec;
    bool probe;
  } cases[] = {
      {"directory at 39", [] { X3fSpec s; s.directory = 39; return s; }(), false},
      {"directory in the last bytes", [] { X3fSpec s; s.directory = 0x7FFFFFF; return s; }(), false},
      {"format 6", [] { X3fSpec s; s.format = 6; return s; }(), true},
      {"plane size overflowing", [] { X3fSpec s; s.firstPlaneSize = 0xFFFFFFF0; return s; }(), true},
  };
  for (const Case& c : cases) {
    const Bytes file = writeX3f(c.spec, picture(c.spec));
    cameratest::Memory m(file);
    EXPECT_EQ(cPictX3F::validFor(&m.io, nullptr), c.probe) << c.name;
    m.io.set_fp(0);
    cPictX3F d;
    EXPECT_FALSE(d.decode(&m.io)) << c.name;
  }
  {
    X3fSpec s;
    Bytes file = writeX3f(s, picture(s));
    const uint32_t last = uint32_t(file.size() - 4);
    std::copy_n(reinterpret_cast<const uint8_t*>(&last), 4, file.end() - 4);
    cameratest::Memory m(file);
    EXPECT_FALSE(cPictX3F::validFor(&m.io, nullptr));
  }
  // Pairs left out of the table: whatever the body then gives, no crash.
  for (const auto& [l, k] : std::vector<std::pair<int, int>>{{0, 255}, {9, 250}, {1, 255}, {8, 255}}) {
    X3fSpec s;
    s.pairIndex = 3, s.pairLength = l, s.pairStart = k;
    cameratest::Memory m(writeX3f(s, picture(s)));
    cPictX3F d;
    d.decode(&m.io);
  }
  for (const unsigned format : {5u, 30u}) {
    X3fSpec s;
    s.w = 4, s.h = 2, s.format = format;
    cameratest::survivesEveryTruncation<cPictX3F>(writeX3f(s, picture(s), {{8, 8, jpeg("8x8", "red")}}));
  }
}

}  // namespace
