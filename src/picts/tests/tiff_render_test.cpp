// Rendering while decoding against decoding whole and drawing afterwards:
// unscaled targets (centred, or panned so that strips and tiles are skipped)
// get the same pixels, fitted ones the same within 1.
#include <gtest/gtest.h>

#include "base/memio.h"
#include "picts/picttiff.h"
#include "picts/tests/tiff_support.h"

using namespace tifftest;

TEST(TiffRender, RenderedWhileDecodingEqualsDrawnAfterDecoding) {
  // The streaming and one-pass scalers weigh pixels differently, so only
  // gentle gradients (all but the bilevel picture) meet the fitted target.
  const struct {
    std::vector<std::string> convert, tiffcp;
  } layouts[] = {
      {{"gradient:rgb(90,120,150)-rgb(96,124,160)", "-depth", "8"}, {"-c", "lzw:2", "-r", "7"}},
      {{"gradient:rgba(200,40,40,0.9)-rgba(206,44,40,0.86)", "-depth", "8"},
       {"-c", "zip:2", "-t", "-w", "16", "-l", "16"}},
      {{"gradient:gray(40%)-gray(43%)", "-colorspace", "gray", "-depth", "16"},
       {"-c", "packbits", "-r", "3"}},
      {{"gradient:rgb(90,60,30)-rgb(99,66,33)", "+dither", "-colors", "20", "-type", "palette"}, {"-r", "4"}},
      {{"gradient:rgb(10,20,200)-rgb(16,26,206)", "-depth", "8"}, {"-c", "zip", "-p", "separate", "-r", "6"}},
      {{"gradient:", "-monochrome", "-depth", "1"}, {"-c", "g4", "-r", "9"}},
  };
  const struct {
    long long width, height, panX, panY;
    int mode, tolerance;
  } targets[] = {{60, 50, 0, 0, 0, 0}, {20, 6, 9, 3, 1, 0}, {16, 16, 0, 0, 0, 1}};
  std::string source = scratchDir() + "/render_src.tif", path = scratchDir() + "/render.tif";
  for (const auto& layout : layouts) {
    std::vector<std::string> args = {"convert", "-size", "41x29"};
    args.insert(args.end(), layout.convert.begin(), layout.convert.end());
    args.push_back(source);
    const std::string& name = layout.convert[0];
    ASSERT_TRUE(run(args) && tiffcp(layout.tiffcp, source, path)) << name;
    Bytes file = readFile(path);
    cBufWrapperIO io(file.data(), static_cast<long long>(file.size()), false);
    cPictTIFF decoded;
    ASSERT_TRUE(decoded.decode(&io));
    for (const auto& t : targets) {
      if (t.tolerance && layout.tiffcp[1] == "g4") continue;
      cPictDummy drawn, rendered;
      ASSERT_TRUE(drawn.create(t.width, t.height, 0) && rendered.create(t.width, t.height, 0));
      cPictBase::sExtPictDef after(&drawn), during(&rendered);
      after.mode = during.mode = t.mode;
      after.panX = during.panX = t.panX;
      after.panY = during.panY = t.panY;
      ASSERT_TRUE(decoded.toExtTarget(&after));
      cPictTIFF tiff;
      io.set_fp(0);
      ASSERT_TRUE(tiff.setExtTarget(&during) && tiff.decode(&io)) << name;
      for (long long i = 0; i < t.width * t.height * 4; ++i) {
        int a = drawn.raw8Bpp()[i / 4] >> (8 * (i % 4)) & 0xFF;
        ASSERT_LE(std::abs(a - static_cast<int>(rendered.raw8Bpp()[i / 4] >> (8 * (i % 4)) & 0xFF)),
                  t.tolerance)
            << name << ", " << t.width << "x" << t.height << ", " << i;
      }
    }
  }
}
