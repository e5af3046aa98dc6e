#include "ciom/picture.h"

#include <gtest/gtest.h>

#include <vector>

#include "ciom/pictureslist.h"
#include "compression/zdeflate.h"

namespace {

unsigned int bgra(unsigned b, unsigned g, unsigned r, unsigned a) { return a << 24 | r << 16 | g << 8 | b; }

std::vector<unsigned char> resource(int w, int h, const std::vector<unsigned int>& px) {
  std::vector<unsigned char> out(8 + px.size() * 4 + 64);
  for (int i = 0; i < 4; ++i) {
    out[i] = static_cast<unsigned char>(static_cast<unsigned>(w) >> (8 * i));
    out[4 + i] = static_cast<unsigned char>(static_cast<unsigned>(h) >> (8 * i));
  }
  unsigned n = cZDeflate(9).deflate(px.data(), static_cast<unsigned>(px.size() * 4), out.data() + 8,
                                    static_cast<unsigned>(out.size() - 8));
  out.resize(8 + n);
  return out;
}

TEST(Picture, CreateRefusesEmptyAndNegativeSizesAndKeepsEqualCounts) {
  cPicture p;
  ASSERT_TRUE(p.create(0xFF112233u, 3, 2));
  for (auto [w, h] : {std::pair{0, 5}, {5, 0}, {-1, 4}, {4, -3}, {65536, 65536}}) {
    EXPECT_FALSE(p.create(w, h)) << w << "x" << h;
    EXPECT_EQ(p.width(), 3);
    EXPECT_EQ(p.raw()[5], 0xFF112233u);
  }
  ASSERT_TRUE(p.create(2, 3));  // the same count keeps the pixels
  EXPECT_EQ(p.raw()[5], 0xFF112233u);
  ASSERT_TRUE(p.create(4, 4));
  EXPECT_EQ(p.raw()[15], 0u);
}

TEST(Picture, ResourceIsReadBottomUpAndShortStreamsLeaveZeroes) {
  std::vector<unsigned int> px = {1, 2, 3, 4, 5, 6};
  auto res = resource(3, 2, px);
  cPicture p;
  ASSERT_TRUE(p.create(res.data(), static_cast<unsigned>(res.size())));
  EXPECT_EQ(std::vector<unsigned int>(p.raw(), p.raw() + 6), (std::vector<unsigned int>{4, 5, 6, 1, 2, 3}));

  // An equal pixel count must not keep stale pixels where the stream ends.
  for (size_t cut : {size_t{9}, size_t{10}, res.size() - 5}) {
    p.create(0xFFFFFFFFu, 3, 2);
    ASSERT_TRUE(p.create(res.data(), static_cast<unsigned>(cut)));
    for (int i = 0; i < 6; ++i)
      EXPECT_TRUE(p.raw()[i] == 0 || p.raw()[i] == px[(i + 3) % 6]) << cut << " " << i;
  }

  EXPECT_FALSE(p.create(res.data(), 8));
  EXPECT_FALSE(p.create(static_cast<const unsigned char*>(nullptr), 100));
  for (int side : {65537, 0, -2}) {
    auto bad = resource(side, 1, px);
    EXPECT_FALSE(p.create(bad.data(), static_cast<unsigned>(bad.size()))) << side;
    bad = resource(1, side, px);
    EXPECT_FALSE(p.create(bad.data(), static_cast<unsigned>(bad.size()))) << side;
  }
}

TEST(Picture, BltBlendsByAlphaOver256) {
  cPicture dst, src;
  dst.create(bgra(255, 255, 255, 200), 2, 1);
  src.create(bgra(0, 0, 0, 128), 1, 1);
  ASSERT_TRUE(dst.blt(&src, 0, 0, 0, 0, false));
  EXPECT_EQ(dst.raw()[0], bgra(127, 127, 127, 164));
  EXPECT_EQ(dst.raw()[1], bgra(255, 255, 255, 200));
  ASSERT_TRUE(dst.blt(&src, 1, 0, 0, 0, true));
  EXPECT_EQ(dst.raw()[1], bgra(127, 127, 127, 128));
  EXPECT_FALSE(dst.blt(nullptr, 0, 0, 0, 0, false));
}

// Every position and size is clipped against both pictures; under the
// sanitizers an access outside either buffer fails the test.
TEST(Picture, BltClipsAgainstBothPictures) {
  cPicture src;
  std::vector<unsigned int> px(12);
  for (unsigned i = 0; i < 12; ++i) px[i] = 0xFF000000u | i;
  src.create(px.data(), 4, 3, false);
  for (int x = -6; x <= 6; ++x)
    for (int y = -5; y <= 5; ++y)
      for (int w : {0, 1, 3, 100, -4})
        for (int h : {0, 2, 100, -1}) {
          cPicture dst;
          dst.create(0u, 3, 2);
          ASSERT_TRUE(dst.blt(&src, x, y, w, h, true));
          int cw = w == 0 ? 4 : w, ch = h == 0 ? 3 : h;
          for (int dy = 0; dy < 2; ++dy)
            for (int dx = 0; dx < 3; ++dx) {
              int sx = dx - x, sy = dy - y;
              bool covered = sx >= 0 && sy >= 0 && sx < 4 && sy < 3 && sx < cw && sy < ch;
              EXPECT_EQ(dst.raw()[dy * 3 + dx], covered ? px[sy * 4 + sx] : 0u)
                  << x << "," << y << " " << w << "x" << h << " at " << dx << "," << dy;
            }
        }
}

TEST(Picture, VariantsFollowTheirFormulas) {
  struct Case {
    unsigned in, disabled, active;
  } cases[] = {{bgra(255, 255, 255, 7), bgra(224, 224, 224, 7), bgra(255, 255, 255, 7)},
               {bgra(0, 0, 0, 255), bgra(30, 30, 30, 255), bgra(0, 0, 0, 255)},
               {bgra(128, 64, 255, 0), 0, bgra(106, 48, 255, 0)}};
  for (const Case& c : cases) {
    cPicture p;
    p.create(c.in, 1, 1);
    cPtr<cPicture> d(p.mkDisabled()), a(p.mkActive());
    EXPECT_TRUE(!c.disabled || d->raw()[0] == c.disabled) << std::hex << c.in;
    EXPECT_EQ(a->raw()[0], c.active);
  }
  cPicture empty;
  EXPECT_EQ(empty.mkDisabled(), nullptr);
}

TEST(Picture, RotateAndFlipMovePixelsWhereExpected) {
  std::vector<unsigned int> px = {1, 2, 3, 4, 5, 6};  // 3 x 2
  cPicture p;
  p.create(px.data(), 3, 2, false);
  EXPECT_FALSE(p.rotate(45));
  ASSERT_TRUE(p.rotate(90));
  EXPECT_EQ(p.width(), 2);
  EXPECT_EQ(std::vector<unsigned int>(p.raw(), p.raw() + 6), (std::vector<unsigned int>{3, 6, 2, 5, 1, 4}));
  ASSERT_TRUE(p.rotate(270));
  EXPECT_EQ(std::vector<unsigned int>(p.raw(), p.raw() + 6), px);
  ASSERT_TRUE(p.rotate(180));
  EXPECT_EQ(std::vector<unsigned int>(p.raw(), p.raw() + 6), (std::vector<unsigned int>{6, 5, 4, 3, 2, 1}));
  ASSERT_TRUE(p.flip());
  EXPECT_EQ(std::vector<unsigned int>(p.raw(), p.raw() + 6), (std::vector<unsigned int>{3, 2, 1, 6, 5, 4}));
}

TEST(Picture, StretchInterpolatesUpAndAveragesDown) {
  cPicture row, out;
  std::vector<unsigned int> px = {bgra(0, 0, 0, 0), bgra(100, 100, 100, 100), bgra(200, 200, 200, 200),
                                  bgra(255, 255, 255, 255)};
  row.create(px.data(), 4, 1, false);
  ASSERT_TRUE(row.stretch(2, 1, &out));
  EXPECT_EQ(out.raw()[0], bgra(50, 50, 50, 50));
  EXPECT_EQ(out.raw()[1], bgra(227, 227, 227, 227));
  ASSERT_TRUE(row.stretch(4, 1, &out));
  EXPECT_EQ(std::vector<unsigned int>(out.raw(), out.raw() + 4), px);

  // The column 0, 100 enlarged to four samples at 0, .5, 1 and 1.5: a sample
  // left of a pixel centre mixes in the pixel before.
  cPicture col;
  col.create(px.data(), 1, 2, false);
  ASSERT_TRUE(col.stretch(2, 4, &out));
  const unsigned expect[] = {0, 0, 50, 100};
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 2; ++x) EXPECT_EQ(out.raw()[y * 2 + x] & 0xFF, expect[y]) << x << "," << y;

  EXPECT_FALSE(row.resizing(static_cast<cPicture::eResizeMethod>(2), 2, 1, &out));
  EXPECT_FALSE(row.stretch(2, 1, &row));
}

// Stored pictures belong to their holder, referenced ones are only borrowed;
// the sanitizers catch a double free or a leak.
TEST(PicturesList, OwnsStoredPicturesAndBorrowsReferencedOnes) {
  cPicturesList list;
  cPicture borrowed;
  borrowed.create(bgra(255, 255, 255, 255), 1, 1);
  unsigned px[2] = {1, 2};
  EXPECT_TRUE(list.storeImage(3, px, 1, 2, true));
  EXPECT_EQ(list.image(3)->raw()[0], 2u);
  EXPECT_TRUE(list.refImage(1, &borrowed));
  list.storeImage(2, new cPicture);  // an empty picture gives no variant
  list.mkDisabled(list);             // refilled from its own pictures
  EXPECT_EQ(list.image(1)->raw()[0], bgra(224, 224, 224, 255));
  EXPECT_EQ(list.image(2), nullptr);
  EXPECT_EQ(borrowed.raw()[0], bgra(255, 255, 255, 255));

  cChildPicture slot;
  cPicture* p = new cPicture;
  p->create(5u, 1, 1);
  slot.setImage(p);
  slot.setImage(p);  // the same picture again stays alive
  slot.refImage(p);  // now borrowed: the slot must not delete it
  slot.setImage(static_cast<cPicture*>(nullptr));
  EXPECT_EQ(p->raw()[0], 5u);
  delete p;
}

}  // namespace
