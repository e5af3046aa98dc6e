#include <gtest/gtest.h>

#include <cmath>

#include "picts/picttga.h"
#include "raster_support.h"

namespace {

using namespace rastertest;

TEST(TgaDecode, ToolFilesMatchImageMagickAndNetpbm) {
  std::string few = sourcePicture("tfew.pam", 31, 17, 16, false, 31);
  std::string two = sourcePicture("ttwo.pam", 33, 9, 2, false, 32);
  std::string rgb = sourcePicture("trgb.pam", 29, 21, 0, false, 33);
  std::string alpha = sourcePicture("talpha.pam", 19, 13, 0, true, 34);
  // ImageMagick reads files stored bottom row first upside down (and writes
  // them so), so netpbm judges; its alpha comes back through a second file.
  const std::string alphaFile = path("alpha.pgm"), colourFile = path("colour.ppm");
  const std::vector<std::string> netpbm = {"tgatoppm {}"},
                                 withAlpha = {"tgatoppm --alphaout=" + alphaFile + " {} > " + colourFile +
                                              " && pamstack -tupletype=RGB_ALPHA " + colourFile + " " +
                                              alphaFile};
  expectToolCasesMatch<cPictTGA>(
      {
          {"palette", "convert " + few + " -type Palette TGA:{}", netpbm},
          {"grey", "convert " + few + " -type Grayscale TGA:{}", netpbm},
          {"run lengths", "convert " + rgb + " -compress RLE TGA:{}", netpbm},
          {"palette run lengths", "convert " + few + " -type Palette -compress RLE TGA:{}", netpbm},
          {"top row first",
           "convert " + rgb + " -orient TopLeft TGA:{}",
           {"tgatoppm {}", "convert {} -depth 8 pam:-"}},
          {"alpha", "convert " + alpha + " TGA:{}", withAlpha},
          {"alpha run lengths", "convert " + alpha + " -compress RLE TGA:{}", withAlpha},
          {"pamtotga colour map", "pamtotga -cmap " + few + " > {}", netpbm},
          {"pamtotga mono", "pamtotga -mono " + two + " > {}", netpbm},
          {"pamtotga rgb", "pamtotga -rgb " + rgb + " > {}", netpbm},
          {"pamtotga rgb plain", "pamtotga -rgb -norle " + rgb + " > {}", netpbm},
          {"pamtotga colour map plain", "pamtotga -cmap -norle " + few + " > {}", netpbm},
      },
      ".tga");
}

// A header and pixels put together by hand.
Bytes tga(int type, int bits, int w, int h, int descriptor, const Bytes& map, int mapBits,
          const Bytes& pixels) {
  int entries = mapBits ? static_cast<int>(map.size()) * 8 / mapBits : 0;
  Bytes f = {0, uint8_t(mapBits ? 1 : 0), uint8_t(type), 5, 0, uint8_t(entries), uint8_t(entries >> 8)};
  f.insert(f.end(), {uint8_t(mapBits), 0, 0, 0, 0, uint8_t(w), uint8_t(w >> 8), uint8_t(h), uint8_t(h >> 8)});
  f.insert(f.end(), {uint8_t(bits), uint8_t(descriptor)});
  f.reserve(f.size() + map.size() + pixels.size());  // spares g++ -O3 a false bounds warning
  f.insert(f.end(), map.begin(), map.end());
  f.insert(f.end(), pixels.begin(), pixels.end());
  return f;
}

TEST(TgaDecode, HandMadeLayouts) {
  struct Case {
    const char* name;
    Bytes file;
    std::vector<uint32_t> want;  // top-down; empty: the decode fails
  };
  const Case cases[] = {
      // Five-bit channels reach 254: 31 * 8.2258 truncates.
      {"16 bits", tga(2, 16, 2, 1, 0, {}, 0, {0xFF, 0x7F, 0x10, 0x42}), {0xFFFEFEFE, 0xFF838383}},
      {"32 bits all alpha zero",
       tga(2, 32, 2, 1, 0, {}, 0, {1, 2, 3, 0, 4, 5, 6, 0}),
       {0xFF030201, 0xFF060504}},
      {"32 bits one alpha set",
       tga(2, 32, 2, 1, 0, {}, 0, {1, 2, 3, 0, 4, 5, 6, 9}),
       {0x00030201, 0x09060504}},
      {"32-bit run lengths one alpha set",
       tga(10, 32, 2, 1, 0, {}, 0, {0x81, 4, 5, 6, 7}),
       {0x07060504, 0x07060504}},
      // A run of three crosses from the bottom row into the top one.
      {"run across rows",
       tga(11, 8, 2, 2, 0, {}, 0, {0x82, 9, 0x00, 7}),
       {0xFF090909, 0xFF070707, 0xFF090909, 0xFF090909}},
      {"bottom row first", tga(3, 8, 1, 2, 0, {}, 0, {1, 2}), {0xFF020202, 0xFF010101}},
      {"top row first", tga(3, 8, 1, 2, 0x20, {}, 0, {1, 2}), {0xFF010101, 0xFF020202}},
      {"16-bit colour map",
       tga(1, 8, 2, 1, 0, {0x00, 0x7C, 0x1F, 0x00}, 16, {1, 0}),
       {0xFF0000FE, 0xFFFE0000}},
      {"index past the map", tga(1, 8, 1, 1, 0, {1, 2, 3}, 24, {1}), {}},
      {"descriptor 0x40", tga(3, 8, 1, 1, 0x40, {}, 0, {1}), {}},
      {"true colour of 8 bits", tga(2, 8, 1, 1, 0, {}, 0, {1}), {}},
      {"rows cut short", tga(2, 24, 2, 2, 0, {}, 0, {1, 2, 3}), {}},
      {"65535 squared", tga(2, 24, 65535, 65535, 0, {}, 0, {1, 2, 3}), {}},
      {"run lengths for 65535 squared", tga(10, 24, 65535, 65535, 0, {}, 0, Bytes(600, 0xFF)), {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Stream s(c.file);
    EXPECT_TRUE(cPictTGA::validFor(&s.io, nullptr));
    s.io.set_fp(0);
    cPictTGA pict;
    bool ok = pict.decode(&s.io);
    EXPECT_EQ(ok, !c.want.empty());
    if (ok) {
      EXPECT_EQ(pixelsOf(pict).argb, c.want);
    }
  }
  // Without a signature the probe rests on fields agreeing with each other.
  for (const Bytes& bad : {tga(2, 24, 1, 1, 0, {1, 2, 3}, 24, {1}), tga(1, 8, 1, 1, 0, {}, 0, {1}),
                           tga(4, 24, 1, 1, 0, {}, 0, {1}), tga(2, 12, 1, 1, 0, {}, 0, {1})}) {
    Stream s(bad);
    EXPECT_FALSE(cPictTGA::validFor(&s.io, nullptr));
  }
}

}  // namespace
