#include <gtest/gtest.h>

#include "picts/pictbase.h"

namespace {

constexpr unsigned int kBack = 0xFF00FF00;

struct Target {
  cPictDummy bitmap;
  cPictBase::sExtPictDef def{nullptr};
  Target(long long w, long long h, int mode = 0) {
    bitmap.create(w, h, 0);
    def = cPictBase::sExtPictDef(&bitmap);
    def.background = kBack;
    def.mode = mode;
  }
  unsigned int at(long long x, long long y) { return bitmap.raw8Bpp()[y * bitmap.width() + x]; }
};

// Streams a w x h picture into the target: `deliver` hands over its pixels.
template <typename F>
bool stream(cPictDummy& pict, Target& t, long long w, long long h, F deliver) {
  pict.create(w, h, 0);
  if (!pict.setExtTarget(&t.def) || !pict.startExtRender()) return false;
  deliver();
  pict.endExtRender();
  return true;
}

bool streamSolid(cPictDummy& pict, Target& t, long long w, long long h, unsigned int colour) {
  bool done = stream(pict, t, w, h, [&] {
    for (long long y = 0; y < h; ++y)
      for (long long x = 0; x < w; ++x) pict.setExtPix(x, y, colour);
  });
  pict.create(w, h, colour);  // the decoded picture, for the one-pass road
  return done;
}

TEST(RenderTarget, APictureThatFitsIsCentredInABackgroundFrame) {
  for (int width : {16, 17}) {
    Target t(48, 48);
    cPictDummy pict;
    ASSERT_TRUE(streamSolid(pict, t, width, 16, 0xFF123456));
    long long left = width == 16 ? 16 : 15;
    for (long long y = 0; y < 48; ++y)
      for (long long x = 0; x < 48; ++x) {
        bool inside = x >= left && x < left + width && y >= 16 && y < 32;
        ASSERT_EQ(t.at(x, y), inside ? 0xFF123456u : kBack) << width << " at " << x << "," << y;
      }
    EXPECT_FALSE(pict.isExtRender());

    // The one-pass drawing of the decoded picture frames it the same way.
    Target again(48, 48);
    ASSERT_TRUE(pict.toExtTarget(&again.def));
    for (long long i = 0; i < 48 * 48; ++i) ASSERT_EQ(again.bitmap.raw8Bpp()[i], t.bitmap.raw8Bpp()[i]);
  }
}

TEST(RenderTarget, ALargerPictureShrinksIntoItsRegion) {
  Target t(10, 10);
  cPictDummy pict;
  ASSERT_TRUE(streamSolid(pict, t, 100, 50, 0x80402010));
  for (long long y = 0; y < 10; ++y)
    for (long long x = 0; x < 10; ++x)
      ASSERT_EQ(t.at(x, y), y >= 2 && y < 7 ? 0x80402010u : kBack) << x << "," << y;
  Target drawn(10, 10);
  ASSERT_TRUE(pict.toExtTarget(&drawn.def));
  for (long long i = 0; i < 100; ++i) ASSERT_EQ(drawn.bitmap.raw8Bpp()[i], t.bitmap.raw8Bpp()[i]);

  // Cells no pixel reached end transparent black.
  Target bottom(10, 10);
  ASSERT_TRUE(stream(pict, bottom, 100, 50, [&] {
    for (long long x = 0; x < 100; ++x) pict.setExtPix(x, 0, 0xFFFFFFFF);
  }));
  EXPECT_EQ(bottom.at(3, 2), 0xFFFFFFFFu);
  EXPECT_EQ(bottom.at(3, 4), 0u);
}

TEST(RenderTarget, NearRatiosSpreadEachPixelOverTheCellsItCovers) {
  // 4 x 1 into 3 x 3 at a ratio of 0.75: source pixel 1 covers a quarter of
  // cell 0 and three quarters of cell 1, pixel 2 half of cells 1 and 2.
  Target t(3, 3);
  cPictDummy pict;
  const unsigned int values[4] = {0xFF000000, 0xFF000064, 0xFF0000C8, 0xFF0000FF};
  ASSERT_TRUE(stream(pict, t, 4, 1, [&] {
    for (int x = 0; x < 4; ++x) pict.setExtPix(x, 0, values[x]);
  }));
  EXPECT_EQ(t.at(0, 1), 0xFF000014u);  // (0 + 100 * 0.25) / 1.25
  EXPECT_EQ(t.at(1, 1), 0xFF00008Cu);  // (100 * 0.75 + 200 * 0.5) / 1.25
  EXPECT_EQ(t.at(2, 1), 0xFF0000EDu);  // (200 * 0.5 + 255) / 1.5, rounded
  EXPECT_EQ(t.at(1, 0), kBack);
}

TEST(RenderTarget, ComponentsWeighOnePixelTogether) {
  Target t(7, 7);
  cPictDummy pict;
  ASSERT_TRUE(stream(pict, t, 10, 10, [&] {
    for (long long y = 0; y < 10; ++y)
      for (long long x = 0; x < 10; ++x)
        for (int c = 0; c < 3; ++c) pict.setExtComp(x, y, 0x5A, c);
    EXPECT_TRUE(pict.setExtComp(0, 0, 1, 4));  // no such component: ignored
  }));
  for (long long i = 0; i < 49; ++i) ASSERT_EQ(t.bitmap.raw8Bpp()[i], 0x005A5A5Au) << i;

  // Unscaled components are OR-ed into the target word.
  Target same(2, 1);
  ASSERT_TRUE(stream(pict, same, 2, 1, [&] {
    pict.setExtComp(1, 0, 0x12, 0);
    pict.setExtComp16(1, 0, 0x3400, 2);
    pict.setExtComp(1, 0, 0xFF, 3);
  }));
  EXPECT_EQ(same.at(1, 0), 0xFF340012u);
}

TEST(RenderTarget, UnusableTargetsAndModesAreRefused) {
  cPictDummy pict;
  pict.create(20, 20, 0xFF0000FF);
  EXPECT_FALSE(pict.setExtTarget(nullptr));
  cPictBase::sExtPictDef empty(nullptr);
  EXPECT_FALSE(pict.setExtTarget(&empty));
  EXPECT_FALSE(pict.toExtTarget(&empty));
  EXPECT_FALSE(pict.setExtPix(0, 0, 0));

  Target other(10, 10, 2);
  ASSERT_TRUE(pict.setExtTarget(&other.def));
  EXPECT_FALSE(pict.startExtRender());
  EXPECT_FALSE(pict.isExtRender());
  EXPECT_FALSE(pict.toExtTarget(&other.def));

  // A picture that fits is drawn centred whatever the mode.
  cPictDummy small;
  small.create(2, 2, 0xFF0000FF);
  Target roomy(4, 4, 2);
  ASSERT_TRUE(small.toExtTarget(&roomy.def));
  EXPECT_EQ(roomy.at(1, 1), 0xFF0000FFu);
  EXPECT_EQ(roomy.at(0, 0), kBack);

  Target zero(10, 10, 1);
  zero.def.scale = 0;
  EXPECT_FALSE(pict.toExtTarget(&zero.def));
}

TEST(RenderTarget, OnePassDrawingAveragesBoxes) {
  // Columns of 0, 60, 120, 180 halve to 30 and 150 in both directions.
  cPictDummy pict;
  pict.create(4, 4, 0);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x) pict.raw8Bpp()[y * 4 + x] = 0xFF000000u | (x * 60u) << 8;
  Target t(2, 2);
  ASSERT_TRUE(pict.toExtTarget(&t.def));
  EXPECT_EQ(t.at(0, 0), 0xFF001E00u);
  EXPECT_EQ(t.at(1, 1), 0xFF009600u);

  // A 16-bit picture is averaged on the 8-bit scale.
  cPictDummy wide;
  wide.create16(4, 2, 0xFFFF000000000000ULL);
  wide.raw16Bpp()[1] = 0xFFFF'0000'0000'FFFFULL;
  Target w2(2, 1);
  ASSERT_TRUE(wide.toExtTarget(&w2.def));
  EXPECT_EQ(w2.at(0, 0), 0xFF00003Fu);  // (255.996 + 0 + 0 + 0) / 4, truncated
}

TEST(RenderTarget, ExplicitScaleClampsPansAndWindowsTheSource) {
  cPictDummy pict;
  pict.create(8, 8, 0);
  for (int i = 0; i < 64; ++i) pict.raw8Bpp()[i] = 0xFF000000u | i;
  Target t(4, 4, 1);
  t.def.scale = 1.0;
  t.def.panX = 100;
  t.def.panY = -3;
  ASSERT_TRUE(pict.toExtTarget(&t.def));
  EXPECT_EQ(t.def.panX, 4);
  EXPECT_EQ(t.def.panY, 0);
  EXPECT_EQ(t.at(0, 0), 0xFF000004u);
  EXPECT_EQ(t.at(3, 3), 0xFF00001Fu);

  Target streamed(4, 4, 1);
  streamed.def.scale = 2.0;  // never enlarges: taken as 1
  ASSERT_TRUE(pict.setExtTarget(&streamed.def));
  ASSERT_TRUE(pict.startExtRender());
  EXPECT_EQ(streamed.def.scale, 1.0);
  EXPECT_TRUE(pict.canExtRender(0, 3, 0, 3));
  EXPECT_FALSE(pict.canExtRender(6, 7, 0, 3));
  pict.endExtRender();
}

}  // namespace
