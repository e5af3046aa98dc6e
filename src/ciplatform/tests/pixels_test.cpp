#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "support.h"

namespace {

using Bytes = std::vector<unsigned char>;

constexpr unsigned int kWhite = 0xFFFFFF, kRed = 0x0000FF, kBlue = 0xFF0000;

TEST(CrbPixels, RectangleFillAndOnePixelBorder) {
  cCrbOffscreenCanvas c;
  makeWhite(c, 20, 20);
  sRect r{2, 3, 6, 5};
  ASSERT_TRUE(c.drawRect(&r, kRed, kBlue));
  for (int y = 0; y < 20; ++y)
    for (int x = 0; x < 20; ++x) {
      bool in = x >= 2 && x < 8 && y >= 3 && y < 8;
      bool edge = in && (x == 2 || x == 7 || y == 3 || y == 7);
      EXPECT_EQ(pixelAt(c, x, y), !in ? kWhite : edge ? kBlue : kRed) << x << "," << y;
    }
}

TEST(CrbPixels, StraightLinesCoverTheirRowOrColumn) {
  cCrbOffscreenCanvas c;
  makeWhite(c, 20, 20);
  c.setLineMode(0, 1);
  sPoint a{0, 5}, b{10, 5}, top{15, 2}, bottom{15, 12};
  ASSERT_TRUE(c.drawLine(&a, &b));
  ASSERT_TRUE(c.drawLine(&top, &bottom));
  for (int i = 0; i < 10; ++i) {
    EXPECT_EQ(pixelAt(c, i, 5), 0u) << i;
    EXPECT_EQ(pixelAt(c, i, 4), kWhite);
    EXPECT_EQ(pixelAt(c, i, 6), kWhite);
    EXPECT_EQ(pixelAt(c, 15, 2 + i), 0u) << i;
    EXPECT_EQ(pixelAt(c, 14, 2 + i), kWhite);
    EXPECT_EQ(pixelAt(c, 16, 2 + i), kWhite);
  }
  EXPECT_EQ(pixelAt(c, 11, 5), kWhite);
  EXPECT_EQ(pixelAt(c, 15, 12), kWhite);
}

TEST(CrbPixels, ClippedHoleStaysUntouched) {
  cCrbOffscreenCanvas c;
  makeWhite(c, 20, 20);
  sRect hole{5, 6, 4, 3};
  ASSERT_TRUE(c.clip(&hole));
  ASSERT_TRUE(c.select());
  sRect all{0, 0, 20, 20};
  c.drawRect(&all, kRed, kRed);
  for (int y = 0; y < 20; ++y)
    for (int x = 0; x < 20; ++x) {
      bool inHole = x >= 5 && x < 9 && y >= 6 && y < 9;
      EXPECT_EQ(pixelAt(c, x, y), inHole ? kWhite : kRed) << x << "," << y;
    }
  // Unclipping a part of the hole opens just that part again.
  sRect part{5, 6, 2, 3};
  ASSERT_TRUE(c.unclip(&part));
  c.select();
  c.drawRect(&all, kBlue, kBlue);
  EXPECT_EQ(pixelAt(c, 6, 7), kBlue);
  EXPECT_EQ(pixelAt(c, 7, 7), kWhite);
}

int parts(cCrbCanvas& c) {
  int n = 0;
  for (cListItem* it = c.region().head; it; it = it->next) ++n;
  return n;
}

TEST(CrbRegion, UnclippedPartsMergeAndAnEmptyRegionDrawsNothing) {
  cCrbOffscreenCanvas c;
  makeWhite(c, 100, 100);
  sRect all{0, 0, 100, 100}, upper{0, 0, 100, 40}, lower{0, 40, 100, 60}, sticking{90, -10, 30, 30};
  ASSERT_TRUE(c.clip(&all));
  EXPECT_EQ(parts(c), 0);
  ASSERT_TRUE(c.select());
  c.drawRect(&all, kRed, kRed);
  EXPECT_EQ(pixelAt(c, 5, 5), kWhite);

  ASSERT_TRUE(c.unclip(&upper));
  ASSERT_TRUE(c.unclip(&lower));
  EXPECT_EQ(parts(c), 1);
  // An area sticking out of the canvas adds nothing outside it.
  ASSERT_TRUE(c.clip(&sticking));
  for (cListItem* it = c.region().head; it; it = it->next) {
    auto* r = static_cast<cCrbCanvas::cClippingItem*>(it);
    EXPECT_TRUE(r->left >= 0 && r->top >= 0 && r->right <= 100 && r->bottom <= 100);
  }
}

TEST(CrbPixels, SubCanvasClipsToItsBounds) {
  cCrbOffscreenCanvas c;
  makeWhite(c, 20, 20);
  sRect area{4, 5, 6, 7};
  std::unique_ptr<cCanvas> sub(c.subCanvas(&area));
  ASSERT_TRUE(sub);
  sRect big{-10, -10, 100, 100};
  sub->drawRect(&big, kRed, kRed);
  sub.reset();
  for (int y = 0; y < 20; ++y)
    for (int x = 0; x < 20; ++x) {
      bool in = x >= 4 && x < 10 && y >= 5 && y < 12;
      EXPECT_EQ(pixelAt(c, x, y), in ? kRed : kWhite) << x << "," << y;
    }
  sRect outside{21, 0, 2, 2};
  EXPECT_EQ(c.subCanvas(&outside), nullptr);
  // The parent's select drops the sub-canvas's clip.
  c.select();
  c.drawRect(&big, kBlue, kBlue);
  EXPECT_EQ(pixelAt(c, 0, 0), kBlue);
}

TEST(CrbPixels, SnapshotIsOpaqueBgr) {
  cCrbOffscreenCanvas c;
  ASSERT_TRUE(c.create(8, 6));
  sRect r{1, 1, 3, 2};
  c.drawRect(&r, 0x332211, 0x332211);
  cPicture shot;
  ASSERT_TRUE(c.snapshot(&shot, &r));
  ASSERT_EQ(shot.width(), 3);
  ASSERT_EQ(shot.height(), 2);
  const unsigned char* px = reinterpret_cast<const unsigned char*>(shot.raw());
  EXPECT_EQ(Bytes(px, px + 4), (Bytes{0x33, 0x22, 0x11, 255}));
  ASSERT_TRUE(c.snapshot(&shot, nullptr));
  EXPECT_EQ(shot.raw()[0], 0xFF000000u);  // never drawn: black, opaque
  sRect beyond{5, 0, 4, 6}, negative{-1, 0, 2, 2};
  EXPECT_FALSE(c.snapshot(&shot, &beyond));
  EXPECT_FALSE(c.snapshot(&shot, &negative));
}

TEST(CrbPixels, OffscreenSizeLimits) {
  EXPECT_EQ(cCrbOffscreenCanvas::make(0, 5), nullptr);
  EXPECT_EQ(cCrbOffscreenCanvas::make(5, -1), nullptr);
  EXPECT_EQ(cCrbOffscreenCanvas::make(32768, 1), nullptr);
  EXPECT_EQ(cCrbOffscreenCanvas::make(1, 2147483647), nullptr);
  std::unique_ptr<cCrbOffscreenCanvas> edge(cCrbOffscreenCanvas::make(32767, 1));
  EXPECT_TRUE(edge);
}

// Opaque pictures ignore their alpha; pictures with alpha blend over what is
// there: premultiplied by a x 0.00392157, then composed.
TEST(CrbPixels, OpaqueAndAlphaPictures) {
  cCrbOffscreenCanvas c;
  makeWhite(c, 10, 10);
  cPicture p;
  ASSERT_TRUE(p.create(0x00102030u, 2, 2));  // alpha 0, yet drawn opaque
  ASSERT_TRUE(c.drawBitmap(1, 1, &p, -1, -1));
  EXPECT_EQ(pixelAt(c, 2, 2), 0x302010u);
  EXPECT_EQ(pixelAt(c, 3, 3), kWhite);
  cPicture empty;
  EXPECT_FALSE(c.drawBitmap(1, 1, &empty, -1, -1));

  cPicture half;
  ASSERT_TRUE(half.create(0x80C80000u, 1, 1));  // red 200 at alpha 128
  sPoint at{5, 5};
  ASSERT_TRUE(c.drawTransparent(&at, &half, nullptr));
  unsigned int blended = pixelAt(c, 5, 5);
  int expectRed = static_cast<int>(200 * 128 * 0.00392157) + 127;
  EXPECT_NEAR(static_cast<int>(blended & 0xFF), expectRed, 1);
  EXPECT_NEAR(static_cast<int>(blended >> 8 & 0xFF), 127, 1);
  EXPECT_EQ(pixelAt(c, 6, 5), kWhite);
}

// A picture resized onto the real canvas shows its top row on top, also when
// the target is cut at the top.
TEST(CrbPixels, ResizedPictureUpright) {
  cCrbOffscreenCanvas c;
  makeWhite(c, 10, 10);
  const unsigned int px[2] = {0xFFFF0000u, 0xFF0000FFu};  // red above blue
  cPicture p;
  ASSERT_TRUE(p.create(px, 1, 2, false));
  ASSERT_TRUE(c.drawBitmapResized(&p, 4, 4, 0, 0, cPicture::eResizeScaling));
  EXPECT_EQ(pixelAt(c, 0, 0), kRed);
  EXPECT_EQ(pixelAt(c, 3, 3), kBlue);
  ASSERT_TRUE(c.drawBitmapResized(&p, 4, 4, 5, -2, cPicture::eResizeScaling));
  EXPECT_EQ(pixelAt(c, 5, 0), kBlue);
  EXPECT_EQ(pixelAt(c, 5, 2), kWhite);
}

TEST(CrbPixels, CopiesAnotherCanvas) {
  cCrbOffscreenCanvas src, dst;
  makeWhite(src, 6, 6);
  makeWhite(dst, 10, 10);
  sRect dot{2, 3, 1, 1};
  src.drawRect(&dot, kRed, kRed);
  ASSERT_TRUE(dst.draw(0, 0, &src, 0, 0, -1, -1));
  EXPECT_EQ(pixelAt(dst, 2, 3), kRed);
  ASSERT_TRUE(dst.draw(7, 7, &src, 2, 3, 1, 1));
  EXPECT_EQ(pixelAt(dst, 7, 7), kRed);
  EXPECT_EQ(pixelAt(dst, 8, 7), kWhite);
}

}  // namespace
