// Rendering while decoding: a target with room gets the picture unscaled and
// centred; a smaller one gets what scaling the decoded picture would give.
#include <gtest/gtest.h>

#include <cstdlib>

#include "jpeg_support.h"

namespace {

using namespace jpegtest;

struct Source {
  const char* name;
  Bytes file;
};

// Busy pictures are drawn differently by the streaming and the one-pass
// scalers of the library (point sampling against box averaging), so the
// scaled comparison runs on gentle gradients, where both must agree.
Bytes gentle(unsigned w, unsigned h) {
  Bytes px;
  for (unsigned y = 0; y < h; ++y)
    for (unsigned x = 0; x < w; ++x)
      for (unsigned c = 0; c < 3; ++c) px.push_back(static_cast<uint8_t>(60 + 40 * c + x / 6 + y / 8));
  return ppm(w, h, 3, px);
}

std::vector<Source> sources(bool busy) {
  Bytes src = busy ? ppm(37, 29, 3, picture(37, 29, 3, 21)) : gentle(37, 29);
  Lossless im;
  im.width = 37;
  im.height = 29;
  im.precision = 12;
  for (unsigned i = 0; i < 37 * 29; ++i)
    im.samples.push_back(static_cast<uint16_t>(busy ? i * 13 % 4096 : 1000 + i % 37 * 4 + i / 37 * 3));
  return {{"baseline 4:2:0", tool("cjpeg", {"-sample", "2x2"}, src)},
          {"progressive", tool("cjpeg", {"-progressive"}, src)},
          {"lossless 12-bit", writeLossless(im)}};
}

TEST(JpegRender, RoomyTargetGetsThePicturePixelForPixelCentred) {
  for (const Source& s : sources(true)) {
    MemStream plain(s.file);
    cPictJPEG decoded;
    ASSERT_TRUE(decoded.decode(&plain.io)) << s.name;
    cPictDummy canvas;
    ASSERT_TRUE(canvas.create(60, 50, 0));
    cPictBase::sExtPictDef target(&canvas);
    target.background = 0xFF123456;
    MemStream rendered(s.file);
    cPictJPEG jpeg;
    ASSERT_TRUE(jpeg.setExtTarget(&target));
    ASSERT_TRUE(jpeg.decode(&rendered.io)) << s.name;
    long long offX = (60 - 37) / 2, offY = (50 - 29) / 2;
    _typebuf<unsigned int> expected;
    ASSERT_TRUE(decoded.getColorData(expected));
    for (long long y = 0; y < 50; ++y)
      for (long long x = 0; x < 60; ++x) {
        bool inside = x >= offX && x < offX + 37 && y >= offY && y < offY + 29;
        unsigned int want = inside ? expected.ptr[(y - offY) * 37 + x - offX] : 0xFF123456;
        ASSERT_EQ(canvas.raw8Bpp()[y * 60 + x], want) << s.name << " at " << x << "," << y;
      }
  }
}

TEST(JpegRender, SmallTargetMatchesScalingTheDecodedPictureWithinOne) {
  for (const Source& s : sources(false)) {
    MemStream plain(s.file);
    cPictJPEG decoded;
    ASSERT_TRUE(decoded.decode(&plain.io)) << s.name;
    cPictDummy scaled, rendered;
    ASSERT_TRUE(scaled.create(16, 16, 0));
    ASSERT_TRUE(rendered.create(16, 16, 0));
    cPictBase::sExtPictDef after(&scaled), during(&rendered);
    ASSERT_TRUE(decoded.toExtTarget(&after));
    MemStream again(s.file);
    cPictJPEG jpeg;
    ASSERT_TRUE(jpeg.setExtTarget(&during));
    ASSERT_TRUE(jpeg.decode(&again.io)) << s.name;
    for (int i = 0; i < 256; ++i)
      for (int k = 0; k < 4; ++k) {
        int a = (scaled.raw8Bpp()[i] >> (8 * k)) & 0xFF, b = (rendered.raw8Bpp()[i] >> (8 * k)) & 0xFF;
        ASSERT_LE(std::abs(a - b), 1) << s.name << " pixel " << i << " channel " << k;
      }
  }
}

}  // namespace
