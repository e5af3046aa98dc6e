#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <vector>

#include "support.h"

namespace {

constexpr unsigned int kWhite = 0xFFFFFF, kRed = 0x0000FF, kBlue = 0xFF0000, kAny = ~0u;

bool inside(int x, int y, int left, int top, int w, int h) {
  return x >= left && x < left + w && y >= top && y < top + h;
}

// Every pixel of the canvas against the colour `want` gives for it (kAny: not checked).
void expectPixels(cCrbOffscreenCanvas& c, const std::function<unsigned int(int, int)>& want) {
  for (int y = 0; y < c.height(); ++y)
    for (int x = 0; x < c.width(); ++x)
      if (want(x, y) != kAny) {
        EXPECT_EQ(pixelAt(c, x, y), want(x, y)) << x << "," << y;
      }
}

TEST(CrbPixels, RectangleFillBorderAndStraightLines) {
  cCrbOffscreenCanvas c;
  makeWhite(c, 20, 20);
  sRect r{2, 3, 6, 5};
  ASSERT_TRUE(c.drawRect(&r, kRed, kBlue));
  c.setLineMode(0, 1);
  sPoint a{0, 12}, b{10, 12}, top{15, 2}, bottom{15, 12};
  ASSERT_TRUE(c.drawLine(&a, &b));
  ASSERT_TRUE(c.drawLine(&top, &bottom));
  expectPixels(c, [](int x, int y) {
    if ((y == 12 && x < 10) || (x == 15 && y >= 2 && y < 12)) return 0u;
    if (y == 12 && x == 10) return kAny;  // the end point is blended
    if (!inside(x, y, 2, 3, 6, 5)) return kWhite;
    return x == 2 || x == 7 || y == 3 || y == 7 ? kBlue : kRed;
  });
}

// A clipped hole stays untouched; unclipping a part of it opens that part.
TEST(CrbPixels, ClippedHoleAndSubCanvasBounds) {
  cCrbOffscreenCanvas c;
  makeWhite(c, 20, 20);
  sRect hole{5, 6, 4, 3}, part{5, 6, 2, 3}, all{0, 0, 20, 20};
  ASSERT_TRUE(c.clip(&hole));
  ASSERT_TRUE(c.select());
  c.drawRect(&all, kRed, kRed);
  ASSERT_TRUE(c.unclip(&part));
  c.select();
  c.drawRect(&all, kBlue, kBlue);
  expectPixels(c, [](int x, int y) { return inside(x, y, 7, 6, 2, 3) ? kWhite : kBlue; });

  cCrbOffscreenCanvas d;
  makeWhite(d, 20, 20);
  sRect area{4, 5, 6, 7}, big{-10, -10, 100, 100}, outside{21, 0, 2, 2};
  std::unique_ptr<cCanvas> sub(d.subCanvas(&area));
  ASSERT_TRUE(sub);
  sub->drawRect(&big, kRed, kRed);
  sub.reset();
  expectPixels(d, [](int x, int y) { return inside(x, y, 4, 5, 6, 7) ? kRed : kWhite; });
  EXPECT_EQ(d.subCanvas(&outside), nullptr);
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

TEST(CrbPixels, SnapshotIsOpaqueBgrAndSizesAreBounded) {
  cCrbOffscreenCanvas c;
  ASSERT_TRUE(c.create(8, 6));
  sRect r{1, 1, 3, 2};
  c.drawRect(&r, 0x332211, 0x332211);
  cPicture shot;
  ASSERT_TRUE(c.snapshot(&shot, &r));
  ASSERT_EQ(shot.width(), 3);
  const unsigned char* px = reinterpret_cast<const unsigned char*>(shot.raw());
  EXPECT_EQ(std::vector<unsigned char>(px, px + 4), (std::vector<unsigned char>{0x33, 0x22, 0x11, 255}));
  ASSERT_TRUE(c.snapshot(&shot, nullptr));
  EXPECT_EQ(shot.raw()[0], 0xFF000000u);  // never drawn: black, opaque
  sRect beyond{5, 0, 4, 6}, negative{-1, 0, 2, 2};
  EXPECT_FALSE(c.snapshot(&shot, &beyond));
  EXPECT_FALSE(c.snapshot(&shot, &negative));

  for (auto [w, h] : {std::pair{0, 5}, {5, -1}, {32768, 1}, {1, 2147483647}})
    EXPECT_EQ(cCrbOffscreenCanvas::make(w, h), nullptr) << w << "x" << h;
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
}

// A picture resized onto the real canvas shows its top row on top, also when
// the target is cut at the top; another canvas copies in whole or in part.
TEST(CrbPixels, ResizedPictureUprightAndCanvasCopies) {
  cCrbOffscreenCanvas c, src, dst;
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

  makeWhite(src, 6, 6);
  sRect dot{2, 3, 1, 1};
  src.drawRect(&dot, kRed, kRed);
  makeWhite(dst, 10, 10);
  ASSERT_TRUE(dst.draw(0, 0, &src, 0, 0, -1, -1));
  ASSERT_TRUE(dst.draw(7, 7, &src, 2, 3, 1, 1));
  expectPixels(dst, [](int x, int y) { return (x == 2 && y == 3) || (x == 7 && y == 7) ? kRed : kWhite; });
}

}  // namespace
