// Rendering while decoding against decoding whole and drawing afterwards:
// unscaled targets (centred, or panned so that strips and tiles are skipped)
// get the same pixels, scaled ones the same within 1.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "base/memio.h"
#include "picts/picttiff.h"
#include "picts/tests/tiff_support.h"

using namespace tifftest;

namespace {

struct sLayout {
  const char* name;
  std::vector<std::string> convert;
  std::vector<std::string> tiffcp;
  // The streaming and the one-pass scalers weigh pixels differently, so
  // scaled targets are compared on gentle gradients only.
  bool gentle = true;
};

const std::vector<sLayout>& layouts() {
  static const std::vector<sLayout> list = {
      {"rgb lzw predicted strips", {"gradient:rgb(90,120,150)-rgb(96,124,160)", "-depth", "8"}, {"-c", "lzw:2", "-r", "7"}},
      {"rgb deflate tiles", {"gradient:rgb(30,200,90)-rgb(36,190,96)", "-depth", "8"}, {"-c", "zip:2", "-t", "-w", "16", "-l", "16"}},
      {"rgba packbits", {"gradient:rgba(200,40,40,0.9)-rgba(206,44,40,0.86)", "-depth", "8"}, {"-c", "packbits", "-r", "5"}},
      {"grey 16 bits", {"gradient:gray(40%)-gray(43%)", "-colorspace", "gray", "-depth", "16"}, {"-c", "none", "-r", "3"}},
      {"palette", {"gradient:rgb(90,60,30)-rgb(99,66,33)", "+dither", "-colors", "20", "-type", "palette"}, {"-c", "lzw", "-r", "4"}},
      {"planar rgb", {"gradient:rgb(10,20,200)-rgb(16,26,206)", "-depth", "8"}, {"-c", "zip", "-p", "separate", "-r", "6"}},
      {"bilevel g4", {"gradient:", "-monochrome", "-depth", "1"}, {"-c", "g4", "-r", "9"}, false},
  };
  return list;
}

struct sTarget {
  long long width, height;
  int mode;
  double scale;
  long long panX, panY;
  int tolerance;
};

// Roomy and centred, panned at full size (strips and tiles outside are
// skipped), and fitted small.
const std::vector<sTarget>& targets() {
  static const std::vector<sTarget> list = {
      {60, 50, 0, 1.0, 0, 0, 0}, {20, 6, 1, 1.0, 9, 3, 0}, {16, 16, 0, 1.0, 0, 0, 1}};
  return list;
}

TEST(TiffRender, RenderedWhileDecodingEqualsDrawnAfterDecoding) {
  std::string dir = scratchDir();
  for (const sLayout& layout : layouts()) {
    std::string source = dir + "/render_src.tif", path = dir + "/render.tif";
    std::vector<std::string> args = {"convert", "-size", "41x29"};
    args.insert(args.end(), layout.convert.begin(), layout.convert.end());
    args.push_back(source);
    ASSERT_TRUE(run(args)) << layout.name;
    ASSERT_TRUE(tiffcp(layout.tiffcp, source, path)) << layout.name;
    Bytes file = readFile(path);
    cBufWrapperIO whole(file.data(), static_cast<long long>(file.size()), false);
    cPictTIFF decoded;
    ASSERT_TRUE(decoded.decode(&whole)) << layout.name;
    for (const sTarget& t : targets()) {
      if (t.tolerance && !layout.gentle) continue;
      cPictDummy drawn, rendered;
      ASSERT_TRUE(drawn.create(t.width, t.height, 0));
      ASSERT_TRUE(rendered.create(t.width, t.height, 0));
      cPictBase::sExtPictDef after(&drawn), during(&rendered);
      for (cPictBase::sExtPictDef* def : {&after, &during}) {
        def->mode = t.mode;
        def->scale = t.scale;
        def->panX = t.panX;
        def->panY = t.panY;
        def->background = 0xFF336699;
      }
      ASSERT_TRUE(decoded.toExtTarget(&after));
      cBufWrapperIO io(file.data(), static_cast<long long>(file.size()), false);
      cPictTIFF tiff;
      ASSERT_TRUE(tiff.setExtTarget(&during));
      ASSERT_TRUE(tiff.decode(&io)) << layout.name;
      for (long long i = 0; i < t.width * t.height; ++i)
        for (int k = 0; k < 4; ++k) {
          int a = drawn.raw8Bpp()[i] >> (8 * k) & 0xFF, b = rendered.raw8Bpp()[i] >> (8 * k) & 0xFF;
          ASSERT_LE(std::abs(a - b), t.tolerance)
              << layout.name << ", target " << t.width << "x" << t.height << ", pixel " << i;
        }
    }
  }
}

}  // namespace
