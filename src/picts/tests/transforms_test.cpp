#include <gtest/gtest.h>

#include <vector>

#include "picts/pictbase.h"

namespace {

// A w x h picture whose pixel i holds 0xFF000000 + i * step.
void numbered(cPictDummy& p, int w, int h, unsigned step = 1) {
  p.create(w, h, 0);
  for (int i = 0; i < w * h; ++i) p.raw8Bpp()[i] = 0xFF000000u + i * step;
}

std::vector<unsigned> pixels(cPictDummy& p) {
  return std::vector<unsigned>(p.raw8Bpp(), p.raw8Bpp() + p.width() * p.height());
}

TEST(Transforms, FlipsAndTurnsFollowTheirIndexMaps) {
  cPictDummy p;
  EXPECT_FALSE(p.flip());
  numbered(p, 3, 2);
  std::vector<unsigned> before = pixels(p);
  ASSERT_TRUE(p.flip());
  EXPECT_EQ(p.raw8Bpp()[0], before[3]);
  ASSERT_TRUE(p.flip());
  EXPECT_EQ(pixels(p), before);

  ASSERT_TRUE(p.rotate(cPictBase::kRotate90));
  EXPECT_EQ(p.width(), 2);
  for (int x = 0; x < 2; ++x)
    for (int y = 0; y < 3; ++y) EXPECT_EQ(p.raw8Bpp()[y * 2 + x], before[x * 3 + (2 - y)]);
  ASSERT_TRUE(p.rotate(cPictBase::kRotate270));
  EXPECT_EQ(pixels(p), before);
  ASSERT_TRUE(p.rotate(cPictBase::kRotate180));
  EXPECT_EQ(p.raw8Bpp()[0], before[5]);
  EXPECT_FALSE(p.rotate(static_cast<cPictBase::eRotateDegrees>(45)));

  cPictDummy deep;
  deep.create16(1, 2, 0);
  deep.raw16Bpp()[0] = 7;
  ASSERT_TRUE(deep.flip());
  EXPECT_EQ(deep.raw16Bpp()[1], 7u);
}

TEST(Transforms, RowsStretchBetweenNeighbours) {
  cPictDummy p, out;
  p.create(3, 1, 0);
  p.raw8Bpp()[0] = 0xFF000000;
  p.raw8Bpp()[1] = 0xFF000064;
  p.raw8Bpp()[2] = 0xFF0000C8;
  ASSERT_TRUE(p.stretchTo(6, 1, out));
  ASSERT_EQ(out.width(), 6);
  EXPECT_EQ(out.raw8Bpp()[0], 0xFF000000u);
  EXPECT_EQ(out.raw8Bpp()[5], 0xFF0000C8u);
  EXPECT_EQ(out.raw8Bpp()[3], 0xFF000064u);  // p = 1.5: pixel 1 unchanged
  EXPECT_EQ(out.raw8Bpp()[2], 0xFF000032u);  // p = 1.0: half of pixels 0 and 1

  cPictDummy four;
  four.create(4, 1, 0);
  const unsigned v[4] = {0xFF000010, 0xFF000020, 0xFF000030, 0xFF000050};
  for (int i = 0; i < 4; ++i) four.raw8Bpp()[i] = v[i];
  ASSERT_TRUE(four.stretchTo(2, 1, out));
  EXPECT_EQ(out.raw8Bpp()[0], 0xFF000018u);
  EXPECT_EQ(out.raw8Bpp()[1], 0xFF000040u);

  // Three pixels into two: spans of 1.5 weigh the middle pixel by halves.
  four.create(3, 1, 0);
  for (int i = 0; i < 3; ++i) four.raw8Bpp()[i] = v[i];
  ASSERT_TRUE(four.stretchTo(2, 1, out));
  EXPECT_EQ(out.raw8Bpp()[0], 0xFF000015u);  // (16 + 32 * 0.5) / 1.5
  EXPECT_EQ(out.raw8Bpp()[1], 0xFF00002Au);  // (32 * 0.5 + 48) / 1.5
}

TEST(Transforms, StretchingColumnsMatchesStretchingTheTurnedRows) {
  cPictDummy p, byColumns, turned, byRows;
  numbered(p, 5, 7, 0x010203);
  ASSERT_TRUE(p.stretchTo(5, 3, byColumns));
  numbered(turned, 5, 7, 0x010203);
  ASSERT_TRUE(turned.rotate(cPictBase::kRotate90));
  ASSERT_TRUE(turned.stretchTo(3, 5, byRows));
  ASSERT_TRUE(byRows.rotate(cPictBase::kRotate270));
  EXPECT_EQ(pixels(byColumns), pixels(byRows));

  cPictDummy same;
  ASSERT_TRUE(p.stretchTo(5, 7, same));
  EXPECT_EQ(pixels(same), pixels(p));
  EXPECT_FALSE(p.stretchTo(0, 7, same));

  _typebuf<unsigned long long> rows16;
  cPictDummy deep;
  deep.create16(2, 3, 0x0001000200030004ULL);
  ASSERT_TRUE(deep.hStretchTo(5, rows16));
  EXPECT_EQ(rows16.count, 15);
  EXPECT_EQ(rows16.ptr[14], 0x0001000200030004ULL);
  EXPECT_FALSE(deep.hStretchTo(0, rows16));
}

TEST(Transforms, LevelStretchMapsTheUsedRangeOntoTheFullRange) {
  unsigned src[3] = {0x00323232, 0x00646496, 0x12963250};
  cPictDummy p;
  ASSERT_TRUE(p.autoScaleFrom(src, 3, 1));
  EXPECT_FALSE(p.is16Bpp());
  EXPECT_EQ(p.raw8Bpp()[0], 0xFF000000u);
  EXPECT_EQ(p.raw8Bpp()[1], 0xFF7F7FFFu);
  EXPECT_EQ(p.raw8Bpp()[2], 0xFFFF004Cu);

  unsigned flat[2] = {0x00404040, 0x00404040};
  ASSERT_TRUE(p.autoScaleFrom(flat, 2, 1));
  EXPECT_EQ(p.raw8Bpp()[1], 0xFF404040u);

  unsigned long long deep[2] = {0x0000'1000'1000'1000ULL, 0x0000'2000'1000'1000ULL};
  ASSERT_TRUE(p.autoScaleFrom(deep, 2, 1));
  EXPECT_TRUE(p.is16Bpp());
  EXPECT_EQ(p.raw16Bpp()[1], 0xFFFF'FFFF'0000'0000ULL);
  EXPECT_EQ(p.raw8Bpp(), nullptr);

  // From a picture's own pixels, which are replaced.
  ASSERT_TRUE(p.autoScaleFrom(p));
  EXPECT_EQ(p.raw16Bpp()[1], 0xFFFF'FFFF'0000'0000ULL);
  EXPECT_FALSE(p.autoScaleFrom(static_cast<unsigned*>(nullptr), 2, 1));
  EXPECT_FALSE(p.autoScaleFrom(src, 0, 1));
}

}  // namespace
