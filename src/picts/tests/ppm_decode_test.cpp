#include <gtest/gtest.h>

#include "picts/pictppm.h"
#include "raster_support.h"

namespace {

using namespace rastertest;

TEST(PpmDecode, DepthsMatchNetpbm) {
  std::string rgb = sourcePicture("prgb.pam", 23, 19, 0, false, 41);
  std::string p6 = "pamtopnm " + rgb, p5 = "pamtopnm " + rgb + " | ppmtopgm";
  // Maximum values other than 255 and 65535 are scaled as netpbm scales them.
  const std::vector<std::string> netpbm = {"pamdepth 255 {}"};
  expectToolCasesMatch<cPictPPM>(
      {
          {"P6 255", p6 + " | pamdepth 255 > {}", netpbm},
          {"P5 255", p5 + " | pamdepth 255 > {}", netpbm},
          {"P6 65535", p6 + " | pamdepth 65535 > {}", netpbm},
          {"P5 65535", p5 + " | pamdepth 65535 > {}", netpbm},
          {"P6 15", p6 + " | pamdepth 15 > {}", netpbm},
          {"P6 from ImageMagick", "convert " + rgb + " PPM:{}", {"convert {} -depth 8 pam:-"}},
      },
      ".ppm");
}

Bytes text(const std::string& header, const Bytes& samples) {
  Bytes f(header.begin(), header.end());
  f.reserve(f.size() + samples.size());  // spares g++ -O3 a false bounds warning
  f.insert(f.end(), samples.begin(), samples.end());
  return f;
}

TEST(PpmDecode, HeadersAndSamples) {
  struct Case {
    const char* header;
    Bytes samples;
    std::vector<unsigned long long> want;  // 16-bit words when the maximum passes 255
  };
  const Case cases[] = {
      {"P6\n# made by hand\n2 1\n255 ", {1, 2, 3, 4, 5, 6}, {0xFF010203, 0xFF040506}},
      // Maximum 15: 15 is white, not nearly black.
      {"P5 2 1 15#levels\n", {15, 7}, {0xFFFFFFFF, 0xFF777777}},
      // A sixteen-bit sample goes into blue, green and red, alpha full.
      {"P5 1 1 65535\n", {0x12, 0x34}, {0xFFFF123412341234ULL}},
      // Maximum 1000 in 16 bits: 500 is half of 65535, rounded up.
      {"P5 1 1 1000\n", {0x01, 0xF4}, {0xFFFF800080008000ULL}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.header);
    Stream s(text(c.header, c.samples));
    cPictPPM ppm;
    ASSERT_TRUE(ppm.decode(&s.io));
    std::vector<unsigned long long> got;
    for (long long i = 0; i < ppm.width() * ppm.height(); ++i)
      got.push_back(ppm.is16Bpp() ? ppm.raw16Bpp()[i] : ppm.raw8Bpp()[i]);
    EXPECT_EQ(got, c.want);
  }
  const char* refused[] = {
      "P3 1 1 255\n",         "P6 12345678901 1 255\n", "P6 1 1 0\n", "P6 1 1 65536\n",
      "P6 0 1 255\n",         "P6 x 1 255\n",           "P6 1 1 255", "P6 4000000000 4000000000 255\n",
      "P5 65535 65535 255\n",
  };
  for (const char* header : refused) {
    SCOPED_TRACE(header);
    Stream s(text(header, {1, 2, 3}));
    cPictPPM ppm;
    EXPECT_FALSE(ppm.decode(&s.io));
  }
}

}  // namespace
