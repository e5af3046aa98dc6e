#include <gtest/gtest.h>

#include "picts/pictxpm.h"
#include "raster_support.h"

namespace {

using namespace rastertest;

TEST(XpmDecode, NetpbmFilesMatchXpmtoppm) {
  std::string few = sourcePicture("mfew.pam", 31, 17, 16, false, 61);
  std::string many = sourcePicture("mmany.pam", 40, 21, 250, false, 62);
  std::string alpha = sourcePicture("malpha.pam", 19, 13, 9, true, 63);
  std::string colours = "pamchannel -infile=" + alpha + " 0 1 2 -tupletype=RGB | pamtopnm";
  std::string mask = path("mask.pgm"), alphaOut = path("xalpha.pgm"), colourOut = path("xcolour.ppm");
  run("pamchannel -infile=" + alpha + " 3 -tupletype=GRAYSCALE | pamtopnm > " + mask);
  const std::vector<std::string> netpbm = {"xpmtoppm {}"};
  expectToolCasesMatch<cPictXPM>(
      {
          {"6 digits", "pamtopnm " + few + " | ppmtoxpm -hexonly > {}", netpbm},
          {"two characters a pixel", "pamtopnm " + many + " | ppmtoxpm -hexonly > {}", netpbm},
          {"12 digits", "pamtopnm " + few + " | pamdepth 65535 | ppmtoxpm -hexonly > {}", netpbm},
          {"None from a mask",
           colours + " | ppmtoxpm -hexonly -alphamask=" + mask + " > {}",
           {"xpmtoppm --alphaout=" + alphaOut + " {} > " + colourOut + " && pamdepth 255 " + alphaOut +
            " > " + alphaOut + ".255 && pamstack -tupletype=RGB_ALPHA " + colourOut + " " + alphaOut +
            ".255"}},
      },
      ".xpm");
  // ImageMagick names the colours it knows, which this reader refuses.
  std::string named = path("named.xpm");
  ASSERT_TRUE(run("convert xc:black xc:white +append XPM:" + named));
  Stream s(readFile(named));
  EXPECT_TRUE(cPictXPM::validFor(&s.io, nullptr));
  s.io.set_fp(0);
  cPictXPM xpm;
  EXPECT_FALSE(xpm.decode(&s.io));
}

Bytes text(const std::string& t) { return Bytes(t.begin(), t.end()); }

TEST(XpmDecode, TokensCommentsAndColours) {
  const std::string head = "/* XPM */\nstatic char *x[] = {\n";
  struct Case {
    const char* name;
    std::string file;
    std::vector<uint32_t> want;  // top-down; empty: the decode fails
  };
  const Case cases[] = {
      {"None and two colours",
       head + "\"3 1 3 1\",\n\"a c None\",\n\"b c #102030\",\n\"c c #FfEeDd\",\n\"abc\"};\n",
       {0, 0xFF102030, 0xFFFFEEDD}},
      {"12 digits round to 8 bits", head + "\"1 1 1 1\",\"a c #FFFF800012FF\",\"a\"};", {0xFFFF8013}},
      {"12 digits, low halves", head + "\"1 1 1 1\",\"a c #00FF12FF8000\",\"a\"};", {0xFF011380}},
      {"comments between and across lines",
       head + "/* one */ \"2 1 1 2\", /* two\nlines */ \"xy c #000001\" ,\n/**/\"xyxy\"\n};",
       {0xFF000001, 0xFF000001}},
      {"four characters a pixel",
       head + "\"1 2 2 4\",\"ab c c #000002\",\"abcd c #000003\",\"ab c\",\"abcd\",",
       {0xFF000002, 0xFF000003}},
      {"rows longer than 4096 characters",
       head + "\"5000 1 1 1\",\"a c #000004\",\"" + std::string(5000, 'a') + "\"};",
       std::vector<uint32_t>(5000, 0xFF000004)},
      {"symbolic key first", head + "\"1 1 1 1\",\"a s sym c #000000\",\"a\"};", {}},
      {"colour name", head + "\"1 1 1 1\",\"a c black\",\"a\"};", {}},
      {"bad digit", head + "\"1 1 1 1\",\"a c #00000G\",\"a\"};", {}},
      {"brace on the next line", "/* XPM */\nstatic char *x[] =\n{\"1 1 1 1\",\"a c None\",\"a\"};", {}},
      {"repeated code", head + "\"1 1 2 1\",\"a c None\",\"a c #000000\",\"a\"};", {}},
      {"unknown code", head + "\"1 1 1 1\",\"a c None\",\"b\"};", {}},
      {"row of the wrong length", head + "\"2 1 1 1\",\"a c None\",\"a\"};", {}},
      {"missing comma", head + "\"1 1 1 1\" \"a c None\",\"a\"};", {}},
      {"slash that opens nothing", head + "\"1 1 1 1\",/ \"a c None\",\"a\"};", {}},
      {"ends before the first row", head + "\"1 1 1 1\",\"a c None\",", {}},
      {"ends before the last row", head + "\"2 3 1 1\",\"a c #000005\",\"aa\",\"aa\",", {}},
      {"size past 32 bits", head + "\"4294967297 1 1 1\",\"a c None\",\"a\"};", {}},
      {"too many characters a pixel", head + "\"1 1 1 5\",\"abcde c None\",\"abcde\"};", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Stream s(text(c.file));
    cPictXPM pict;
    bool ok = pict.decode(&s.io);
    EXPECT_EQ(ok, !c.want.empty());
    if (ok) {
      EXPECT_EQ(pixelsOf(pict).argb, c.want);
    }
  }
  // The probe wants the size line within its first 255 bytes.
  Stream late(text("/* XPM */" + std::string(260, ' ') + "static char *x[] = {\"1 1 1 1\"};"));
  EXPECT_FALSE(cPictXPM::validFor(&late.io, nullptr));
  cPictBase::sPictInfo info;
  Stream early(text(head + "\"7 3 1 1\","));
  EXPECT_TRUE(cPictXPM::validFor(&early.io, &info));
  EXPECT_EQ(info.width, 7);
  EXPECT_EQ(info.height, 3);
  EXPECT_FALSE(cPictXPM::save(nullptr, nullptr));
}

}  // namespace
