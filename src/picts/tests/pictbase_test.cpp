#include "picts/pictbase.h"

#include <gtest/gtest.h>

#include "picts/pixelalloc.h"

namespace {

TEST(PictBase, SixteenBitConversionUsesTheClampedSettings) {
  cPictDummy p;
  p.setScale16Bpp(0);  // no divisor: the default
  p.setBase16Bpp(-5);
  unsigned long long px = 0xFFFF800040000100ULL;
  _typebuf<unsigned int> out;
  ASSERT_TRUE(p.mk8BppFrom16Bpp(&px, 1, out));
  EXPECT_EQ(out.ptr[0], 0xFF804001u);

  // A divisor of 16 with an offset: (v + 16) / 16, clamped to 255.
  p.setScale16Bpp(16);
  p.setBase16Bpp(16);
  unsigned long long small = 0x0000'0FF0'0100'0000ULL;
  ASSERT_TRUE(p.mk8BppFrom16Bpp(&small, 1, out));
  EXPECT_EQ(out.ptr[0], 0x01FF1101u);
  EXPECT_FALSE(p.mk8BppFrom16Bpp(nullptr, 1, out));
  EXPECT_FALSE(p.mk8BppFrom16Bpp(&px, 0, out));
  p.setBase16Bpp(70000);
  EXPECT_EQ(p.base16Bpp(), 65535);
}

TEST(PictBase, MoveHandsOverPixelsAndAnEmptyPictureGivesNothing) {
  cPictDummy src, dst;
  _typebuf<unsigned int> out;
  out.set(2);
  unsigned int* before = out.ptr;
  EXPECT_FALSE(src.getColorData(out));
  EXPECT_FALSE(src.moveToColorData(out));
  EXPECT_EQ(out.ptr, before);

  ASSERT_TRUE(src.create(3, 2, 0x11223344));
  unsigned int* pixels = src.raw8Bpp();
  src.moveTo(dst);
  EXPECT_EQ(src.raw8Bpp(), nullptr);
  EXPECT_EQ(src.width(), 3);
  EXPECT_EQ(dst.raw8Bpp(), pixels);

  ASSERT_TRUE(src.create16(2, 2, 0xFFFF000100020003ULL));
  src.setScale16Bpp(2);
  src.moveTo(dst);
  EXPECT_TRUE(dst.is16Bpp());
  EXPECT_EQ(dst.scale16Bpp(), 2.0);
  EXPECT_EQ(dst.raw16Bpp()[3], 0xFFFF000100020003ULL);

  dst.setScale16Bpp(256);
  ASSERT_TRUE(dst.moveToColorData(out));
  EXPECT_EQ(out.count, 4);
  EXPECT_EQ(out.ptr[0], 0xFF000000u);
  EXPECT_EQ(dst.raw16Bpp(), nullptr);
  EXPECT_EQ(dst.width(), 0);
}

TEST(PictBase, CreateKeepsABufferOfTheSameCountAndZeroesNewOnes) {
  cPictDummy p;
  ASSERT_TRUE(p.create(4, 3, 0xABCDEF01));
  unsigned int* pixels = p.raw8Bpp();
  ASSERT_TRUE(p.create_und(6, 2));
  EXPECT_EQ(p.raw8Bpp(), pixels);
  EXPECT_EQ(p.raw8Bpp()[11], 0xABCDEF01u);
  ASSERT_TRUE(p.create_und(5, 5));
  for (int i = 0; i < 25; ++i) EXPECT_EQ(p.raw8Bpp()[i], 0u);
}

TEST(PictBase, PixelCountsFromOutsideAreBounded) {
  EXPECT_EQ(pictPixelCount(0, 5), -1);
  EXPECT_EQ(pictPixelCount(5, -1), -1);
  EXPECT_EQ(pictPixelCount(1LL << 20, 1LL << 20), -1);
  EXPECT_EQ(pictPixelCount(0x7FFFFFFFFFFFFFFFLL, 2), -1);
  EXPECT_EQ(pictPixelCount(10000, 10000), 100000000);  // 100 megapixels
  cPictDummy p;
  EXPECT_FALSE(p.create(1LL << 31, 1LL << 31, 0));
  EXPECT_EQ(p.raw8Bpp(), nullptr);
  EXPECT_FALSE(p.create16_und(-1, 4));
}

TEST(PictProps, KeysHoldTheirOwnKindAndThePictureOwnsThem) {
  cPictDummy p;
  EXPECT_EQ(p.getProp(static_cast<cPictBase::eExProps>(22), true), nullptr);
  EXPECT_EQ(p.getProp(cPictBase::epExposureTime, false), nullptr);
  cPictProp* exposure = p.getProp(cPictBase::epExposureTime, true);
  ASSERT_NE(exposure, nullptr);
  EXPECT_EQ(p.getProp(cPictBase::epExposureTime, true), exposure);
  EXPECT_EQ(p.getPropDouble(cPictBase::epExposureTime)->value, 0.0);
  EXPECT_EQ(p.getPropInt(cPictBase::epExposureTime), nullptr);

  // The embedded picture goes with its property (LeakSanitizer watches).
  p.getProp(cPictBase::epThumbnail, true);
  p.getProp(cPictBase::epPreviewImage, true);
  cPictDummy* thumb = new cPictDummy;
  ASSERT_TRUE(thumb->create(2, 2, 0));
  p.getPropImage(cPictBase::epThumbnail)->value = thumb;
  p.removeProp(cPictBase::epThumbnail);
  EXPECT_EQ(p.getPropImage(cPictBase::epThumbnail), nullptr);
  p.removeProp(cPictBase::epThumbnail);
  p.getPropImage(cPictBase::epPreviewImage)->value = new cPictDummy;
}

}  // namespace
