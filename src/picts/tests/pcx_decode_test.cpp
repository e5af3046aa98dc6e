#include <gtest/gtest.h>

#include "picts/pictpcx.h"
#include "raster_support.h"

namespace {

using namespace rastertest;

TEST(PcxDecode, ToolFilesMatchPcxtoppm) {
  std::string few = sourcePicture("xfew.pam", 31, 17, 16, false, 51);
  std::string many = sourcePicture("xmany.pam", 64, 33, 200, false, 52);
  std::string rgb = sourcePicture("xrgb.pam", 27, 13, 0, false, 53);
  const std::vector<std::string> judges = {"pcxtoppm {}", "convert {} -depth 8 pam:-"};
  // Xmax and Ymax of 0 are one pixel.
  std::string dot = sourcePicture("xdot.pam", 1, 1, 0, false, 54);
  std::string column = sourcePicture("xcolumn.pam", 1, 37, 5, false, 55);
  std::string line = sourcePicture("xline.pam", 37, 1, 0, false, 56);
  expectToolCasesMatch<cPictPCX>(
      {
          {"ppmtopcx one pixel", "pamtopnm " + dot + " | ppmtopcx -24bit > {}", judges},
          {"ppmtopcx one column", "pamtopnm " + column + " | ppmtopcx -8bit > {}", judges},
          {"ppmtopcx one row", "pamtopnm " + line + " | ppmtopcx -24bit > {}", judges},
          {"ImageMagick one pixel palette", "convert " + dot + " -type Palette PCX:{}", judges},
          {"ImageMagick palette", "convert " + many + " -type Palette PCX:{}", judges},
          {"ImageMagick true colour", "convert " + rgb + " PCX:{}", judges},
          {"ImageMagick few colours", "convert " + few + " PCX:{}", judges},
          {"ppmtopcx 8 bits", "pamtopnm " + many + " | ppmtopcx -8bit > {}", judges},
          {"ppmtopcx 24 bits", "pamtopnm " + rgb + " | ppmtopcx -24bit > {}", judges},
      },
      ".pcx");
}

// A header with a 16-colour palette, then the encoded bytes.
Bytes pcx(int w, int h, int planes, int bytesPerLine, const Bytes& data, bool palette = true) {
  Bytes f(128, 0);
  f[0] = 10;
  f[1] = 5;
  f[2] = 1;
  f[3] = 8;
  f[8] = static_cast<uint8_t>(w - 1);
  f[9] = static_cast<uint8_t>((w - 1) >> 8);
  f[10] = static_cast<uint8_t>(h - 1);
  f[11] = static_cast<uint8_t>((h - 1) >> 8);
  f[12] = f[14] = 72;
  f[65] = static_cast<uint8_t>(planes);
  f[66] = static_cast<uint8_t>(bytesPerLine);
  f[67] = static_cast<uint8_t>(bytesPerLine >> 8);
  f[68] = 1;
  for (int i = 0; palette && i < 16; ++i)
    f[16 + 3 * i] = f[17 + 3 * i] = f[18 + 3 * i] = static_cast<uint8_t>(i * 16);
  f.reserve(f.size() + data.size());  // spares g++ -O3 a false bounds warning
  f.insert(f.end(), data.begin(), data.end());
  return f;
}

TEST(PcxDecode, RunsPlanesAndPalettes) {
  struct Case {
    const char* name;
    Bytes file;
    std::vector<uint32_t> want;  // top-down; empty: the decode fails
  };
  const Case cases[] = {
      // A short file has no room for the long palette: the header's serves.
      {"run byte then literal",
       pcx(4, 2, 1, 4, {0xC3, 7, 0x05, 0xC4, 1}),
       {0xFF707070, 0xFF707070, 0xFF707070, 0xFF505050, 0xFF101010, 0xFF101010, 0xFF101010, 0xFF101010}},
      {"count zero gives one",
       pcx(2, 2, 1, 2, {0xC0, 3, 2, 0xC2, 1}),
       {0xFF303030, 0xFF202020, 0xFF101010, 0xFF101010}},
      {"padding dropped",
       pcx(2, 2, 1, 3, {1, 2, 9, 3, 4, 9}),
       {0xFF101010, 0xFF202020, 0xFF303030, 0xFF404040}},
      // The run of red carries into green and blue within the row.
      {"run across planes",
       pcx(2, 2, 3, 2, {0xC5, 0x40, 0x80, 0xC6, 0}),
       {0xFF404040, 0xFF404080, 0xFF000000, 0xFF000000}},
      {"index past 16 colours", pcx(2, 2, 1, 2, {0x41, 0, 0, 0}), {}},
      {"all-zero palette", pcx(2, 2, 1, 2, {1, 1, 1, 1}, false), {}},
      {"data cut short", pcx(4, 2, 1, 4, {0xC3, 7}), {}},
      {"65535 squared", pcx(65535, 65535, 3, 65535, Bytes(300, 0xFF)), {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Stream s(c.file);
    cPictBase::sPictInfo info;
    EXPECT_TRUE(cPictPCX::validFor(&s.io, &info));
    s.io.set_fp(0);
    cPictPCX pict;
    bool ok = pict.decode(&s.io);
    EXPECT_EQ(ok, !c.want.empty());
    if (ok) {
      EXPECT_EQ(pixelsOf(pict).argb, c.want);
    }
  }
  // Xmax 9 and Ymax 4: ten by five, and the lines must hold ten bytes.
  Stream s(pcx(10, 5, 1, 10, {}));
  cPictBase::sPictInfo info;
  ASSERT_TRUE(cPictPCX::validFor(&s.io, &info));
  EXPECT_EQ(info.width, 10);
  EXPECT_EQ(info.height, 5);
  Stream narrow(pcx(10, 5, 1, 9, {}));
  EXPECT_FALSE(cPictPCX::validFor(&narrow.io, &info));
}

}  // namespace
