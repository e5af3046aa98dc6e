// What every raster decoder owes the factory and the render target, tried on
// one tool-made file per format.
#include <gtest/gtest.h>

#include "picts/pictdib.h"
#include "picts/pictgif.h"
#include "picts/pictpcx.h"
#include "picts/pictpng.h"
#include "picts/pictppm.h"
#include "picts/picttga.h"
#include "picts/pictxpm.h"
#include "raster_support.h"

namespace {

using namespace rastertest;

struct Sample {
  const char* name;
  int type;
  std::string make;  // {} is the file; empty for the bare bitmap
  cPictBase* (*decoder)();
  bool truncationFails;  // GIF and XPM keep what arrived before the end
};

template <typename T>
cPictBase* make() {
  return new T;
}

const std::string& source() {
  static std::string file = sourcePicture("common.pam", 21, 13, 12, false, 71);
  return file;
}

std::vector<Sample> samples() {
  const std::string& s = source();
  return {
      {"gif", kPictGIF, "convert " + s + " GIF:{}", make<cPictGIF>, false},
      {"bmp", kPictBMP, "convert " + s + " BMP3:{}", make<cPictBMP>, true},
      {"dib", kPictDIB, "", make<cPictDIB>, true},
      {"tga", kPictTGA, "pamtotga -rgb " + s + " > {}", make<cPictTGA>, true},
      {"ppm", kPictPPM, "pamtopnm " + s + " > {}", make<cPictPPM>, true},
      {"pcx", kPictPCX, "pamtopnm " + s + " | ppmtopcx -8bit > {}", make<cPictPCX>, true},
      {"xpm", kPictXPM, "pamtopnm " + s + " | ppmtoxpm -hexonly > {}", make<cPictXPM>, false},
      {"png", kPictPNG, "convert " + s + " -interlace PNG PNG:{}", make<cPictPNG>, true},
  };
}

Bytes fileOf(const Sample& sample) {
  std::string file = path(std::string("common.") + sample.name);
  if (!sample.make.empty()) {
    std::string cmd = sample.make;
    cmd.replace(cmd.find("{}"), 2, file);
    return run(cmd) ? readFile(file) : Bytes();
  }
  // A bare 24-bit bitmap: a BMP file without its file header.
  if (!run("convert " + source() + " -type TrueColor BMP3:" + file)) return {};
  Bytes bmp = readFile(file);
  return Bytes(bmp.begin() + 14, bmp.end());
}

TEST(RasterCommon, TheFactoryFindsEachFormatAtItsPlace) {
  for (const Sample& sample : samples()) {
    SCOPED_TRACE(sample.name);
    Stream s(fileOf(sample));
    ASSERT_FALSE(s.bytes.empty());
    cPictBase::sPictInfo info;
    cPtr<cPictBase> probed(cPictBase::mkPicture(&s.io, &info));
    ASSERT_TRUE(probed);
    EXPECT_EQ(probed->typeOf(), sample.type);
    EXPECT_EQ(info.width, 21);
    EXPECT_EQ(info.height, 13);
    cPtr<cPictBase> decoded(cPictBase::mkPicture(&s.io, nullptr));
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->typeOf(), sample.type);
    EXPECT_NE(decoded->raw8Bpp(), nullptr);
  }
}

TEST(RasterCommon, DecodersRenderIntoRoomyAndSmallTargets) {
  for (const Sample& sample : samples()) {
    SCOPED_TRACE(sample.name);
    Stream s(fileOf(sample));
    cPtr<cPictBase> own(sample.decoder());
    ASSERT_TRUE(own->decode(&s.io));
    long long w = own->width(), h = own->height();

    // Roomy: the picture's own pixels, centred in the background.
    cPictDummy roomy;
    ASSERT_TRUE(roomy.create(w * 2 + 3, h * 2 + 5, 0));
    cPictBase::sExtPictDef target(&roomy);
    target.background = 0xFF123456;
    cPtr<cPictBase> rendering(sample.decoder());
    ASSERT_TRUE(rendering->setExtTarget(&target));
    s.io.set_fp(0);
    ASSERT_TRUE(rendering->decode(&s.io));
    EXPECT_EQ(rendering->raw8Bpp(), nullptr);
    long long offX = (roomy.width() - w) / 2, offY = (roomy.height() - h) / 2, wrong = 0;
    for (long long y = 0; y < h; ++y)
      for (long long x = 0; x < w; ++x)
        wrong += roomy.raw8Bpp()[(offY + y) * roomy.width() + offX + x] != own->raw8Bpp()[y * w + x];
    EXPECT_EQ(wrong, 0);
    EXPECT_EQ(roomy.raw8Bpp()[0], 0xFF123456u);

    // Small: drawn scaled, with no picture buffer of the decoder's own.
    cPictDummy icon;
    ASSERT_TRUE(icon.create(16, 16, 0));
    cPictBase::sExtPictDef small(&icon);
    cPtr<cPictBase> scaled(sample.decoder());
    ASSERT_TRUE(scaled->setExtTarget(&small));
    s.io.set_fp(0);
    ASSERT_TRUE(scaled->decode(&s.io));
    EXPECT_EQ(scaled->raw8Bpp(), nullptr);
  }
}

TEST(RasterCommon, EveryTruncationIsACleanAnswer) {
  for (const Sample& sample : samples()) {
    SCOPED_TRACE(sample.name);
    Bytes whole = fileOf(sample);
    for (size_t n = 0; n < whole.size(); ++n) {
      Stream s(Bytes(whole.begin(), whole.begin() + static_cast<long>(n)));
      cPtr<cPictBase> pict(sample.decoder());
      bool ok = pict->decode(&s.io);
      if (sample.truncationFails) {
        EXPECT_FALSE(ok) << n << " bytes";
      }
    }
  }
}

}  // namespace
