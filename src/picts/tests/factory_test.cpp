#include <gtest/gtest.h>

#include "picts/pictpng.h"
#include "png_support.h"

namespace {

using namespace pngtest;

MemStream pngOf(unsigned w, unsigned h, int colorType = 6, int depth = 8) {
  return MemStream(encode(randomImage(w, h, colorType, depth, w * 131 + h)));
}

TEST(Factory, ProbingReturnsTheFirstRecogniserUndecoded) {
  MemStream good = pngOf(5, 3);
  cPictBase::sPictInfo info;
  cPtr<cPictBase> probed(cPictBase::mkPicture(&good.io, &info));
  ASSERT_TRUE(probed);
  EXPECT_EQ(probed->typeOf(), kPictPNG);
  EXPECT_EQ(info.width, 5);
  EXPECT_EQ(probed->raw8Bpp(), nullptr);

  cPtr<cPictBase> decoded(cPictBase::mkPicture(&good.io, nullptr));
  ASSERT_TRUE(decoded);
  EXPECT_EQ(decoded->width(), 5);
  EXPECT_NE(decoded->raw8Bpp(), nullptr);

  // Recognised by the signature and header alone, undecodable without the rest.
  Bytes cut = good.bytes;
  cut.resize(33);
  MemStream broken(cut);
  cPtr<cPictBase> undecoded(cPictBase::mkPicture(&broken.io, &info));
  EXPECT_TRUE(undecoded);
  EXPECT_FALSE(info.hasPreview);
  EXPECT_EQ(cPictBase::mkPicture(&broken.io, nullptr), nullptr);

  MemStream text(Bytes{'h', 'e', 'l', 'l', 'o'});
  EXPECT_EQ(cPictBase::mkPicture(&text.io, &info), nullptr);
  EXPECT_EQ(cPictBase::mkPicture(nullptr, &info), nullptr);
}

TEST(Factory, PreviewsKeepProportionsAndNeverEnlarge) {
  struct Case {
    unsigned w, h;
    long long boxW, boxH, wantW, wantH;
  };
  for (Case c :
       {Case{32, 32, 48, 48, 32, 32}, Case{32, 32, 16, 16, 16, 16}, Case{300, 100, 48, 48, 48, 16}}) {
    MemStream s = pngOf(c.w, c.h);
    cPictDummy out;
    ASSERT_EQ(cPictBase::getPreview(&s.io, out, c.boxW, c.boxH, true, 0xFFFFFF), 0);
    EXPECT_EQ(out.width(), c.wantW);
    EXPECT_EQ(out.height(), c.wantH);
  }
}

TEST(Factory, PreviewRefusalsHaveTheirCodes) {
  MemStream s = pngOf(32, 32);
  cPictDummy out;
  EXPECT_EQ(cPictBase::getPreview(&s.io, out, 0, 16, true, 0), 1);
  EXPECT_EQ(cPictBase::getPreview(nullptr, out, 16, 16, true, 0), 1);
  EXPECT_EQ(cPictBase::getPreview(&s.io, out, 16, 16, false, 0), 5);
  MemStream tall = pngOf(1, 1000, 0, 1);
  EXPECT_EQ(cPictBase::getPreview(&tall.io, out, 16, 16, true, 0), 1);
  MemStream text(Bytes(64, 'x'));
  EXPECT_EQ(cPictBase::getPreview(&text.io, out, 16, 16, true, 0), 3);
  Bytes cut = s.bytes;
  cut.resize(cut.size() - 20);
  MemStream broken(cut);
  EXPECT_EQ(cPictBase::getPreview(&broken.io, out, 16, 16, true, 0), 4);
  EXPECT_EQ(cPictBase::getImage(&broken.io, out, 16, 16, 0), 4);
  EXPECT_EQ(cPictBase::getImage(&s.io, out, 0, 16, 0), 1);
  EXPECT_EQ(cPictBase::getImage(&text.io, out, 16, 16, 0), 3);
}

TEST(Factory, GetImageDecodesWholeOrScaled) {
  MemStream s = pngOf(20, 10, 6, 16);
  cPictPNG reference;
  ASSERT_TRUE(reference.decode(&s.io));

  cPictDummy out;
  ASSERT_EQ(cPictBase::getImage(&s.io, out, 100, 0, 0), 0);
  ASSERT_FALSE(out.is16Bpp());
  ASSERT_EQ(out.width(), 20);
  _typebuf<unsigned int> expected;
  ASSERT_TRUE(reference.getColorData(expected));
  EXPECT_EQ(std::memcmp(out.raw8Bpp(), expected.ptr, 200 * 4), 0);

  ASSERT_EQ(cPictBase::getImage(&s.io, out, 10, 0, 0), 0);
  EXPECT_EQ(out.width(), 10);
  EXPECT_EQ(out.height(), 5);
}

TEST(Factory, DecodedPicturesShrinkIntoPreviews) {
  MemStream s = pngOf(64, 32);
  cPtr<cPictBase> pict(cPictBase::mkPicture(&s.io, nullptr));
  ASSERT_TRUE(pict);
  cPictDummy out;
  ASSERT_TRUE(cPictBase::imgToPreview(*pict, out, 16, 16, 0));
  EXPECT_EQ(out.width(), 16);
  EXPECT_EQ(out.height(), 8);
  EXPECT_EQ(pict->raw8Bpp(), nullptr);
  EXPECT_FALSE(cPictBase::imgToPreview(*pict, out, 16, 16, 0));

  cPictDummy small;
  small.create(4, 4, 7);
  unsigned int* pixels = small.raw8Bpp();
  ASSERT_TRUE(cPictBase::imgToPreview(small, out, 16, 16, 0));
  EXPECT_EQ(out.raw8Bpp(), pixels);

  cPictDummy deep;
  deep.create16(4, 4, 0);
  EXPECT_FALSE(cPictBase::imgToPreview(deep, out, 16, 16, 0));

  cPictPNG png;
  s.io.set_fp(0);
  ASSERT_TRUE(png.decodePagePreview(&s.io, out, 8, 8, 0, true, 0));
  EXPECT_EQ(out.width(), 8);
  EXPECT_EQ(out.height(), 4);
  EXPECT_FALSE(png.decodePagePreview(&s.io, out, 8, 8, 1, true, 0));
  int w = 0, h = 0;
  s.io.set_fp(0);
  ASSERT_TRUE(png.getPageSize(&s.io, 0, w, h));
  EXPECT_EQ(w, 64);
  Image huge = randomImage(1, 1, 6, 8, 1);
  huge.width = 0x80000000u;
  MemStream wide(fileOf({{"IHDR", headerData(huge)}}));
  EXPECT_FALSE(png.getPageSize(&wide.io, 0, w, h));
}

}  // namespace
