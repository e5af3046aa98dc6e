#include <gtest/gtest.h>

#include <vector>

#include "support/fixedcanvas.h"
#include "support/layoutcases.h"

namespace {

struct FixedLayout : ::testing::Test {
  cLoggingCanvas<cFixedMetricCanvas> canvas{200, 100};
};

ZVK_LAYOUT_TESTS(FixedLayout)

// With h - th = 5: two rows above the text, three below, and the strips
// beside it up to the margins, all in the background colour.
TEST_F(FixedLayout, BackgroundAroundTheText) {
  canvas.setTextColors(0, 0x123456);
  ASSERT_EQ(
      canvas.drawTextLimited(10, 20, 100, 18, cCanvas::eAlignCenter, false, 4, 6, "abc", -1, nullptr, true),
      10 + 4 + (90 - 21) / 2);
  ASSERT_EQ(canvas.fills.size(), 4u);
  for (auto& f : canvas.fills) EXPECT_EQ(f.fill, 0x123456u);
  std::vector<std::vector<int>> rects;
  for (auto& f : canvas.fills) rects.push_back({f.r.x, f.r.y, f.r.width, f.r.height});
  EXPECT_EQ(rects, (std::vector<std::vector<int>>{
                       {14, 20, 34, 18}, {48, 20, 21, 2}, {48, 35, 21, 3}, {69, 20, 35, 18}}));

  // A transparent text leaves the background alone.
  canvas.clear();
  canvas.drawTextLimited(10, 20, 100, 18, cCanvas::eAlignCenter, true, 4, 6, "abc", -1, nullptr, true);
  EXPECT_TRUE(canvas.fills.empty());
}

// Two rows: red on top, blue below; two shades in each so a mirror would show
// too. Area scaling by whole factors keeps every colour exact.
struct ResizedPicture : ::testing::Test {
  static constexpr unsigned int kRed = 0xFFFF0000, kRed2 = 0xFF800000, kBlue = 0xFF0000FF,
                                kBlue2 = 0xFF000080;
  cFixedMetricCanvas canvas{20, 20};
  cPicture picture;
  void SetUp() override {
    const unsigned int px[4] = {kRed, kRed2, kBlue, kBlue2};
    ASSERT_TRUE(picture.create(px, 2, 2, false));
  }
  const sDrawnPicture& drawn() { return canvas.pictures.back(); }
};

// Cut at the top only the lower half is drawn; cut at the bottom the upper.
TEST_F(ResizedPicture, StaysUprightAndCutsKeepTheVisiblePart) {
  ASSERT_TRUE(canvas.drawBitmapResized(&picture, 4, 4, 2, 3, cPicture::eResizeScaling));
  const unsigned int corners[] = {kRed, kRed2, kBlue, kBlue2};
  for (int i = 0; i < 4; ++i) EXPECT_EQ(drawn().pixels[(i / 2) * 12 + (i % 2) * 3], corners[i]) << i;

  ASSERT_TRUE(canvas.drawBitmapResized(&picture, 4, 4, 0, -2, cPicture::eResizeScaling));
  EXPECT_EQ(drawn().y, 0);
  EXPECT_EQ(drawn().h, 2);
  EXPECT_EQ(drawn().pixels,
            (std::vector<unsigned int>{kBlue, kBlue, kBlue2, kBlue2, kBlue, kBlue, kBlue2, kBlue2}));

  ASSERT_TRUE(canvas.drawBitmapResized(&picture, 4, 4, -2, 18, cPicture::eResizeScaling));
  EXPECT_EQ(drawn().x, 0);
  EXPECT_EQ(drawn().w, 2);
  EXPECT_EQ(drawn().pixels, std::vector<unsigned int>(4, kRed2));
}

TEST_F(ResizedPicture, NothingToDraw) {
  cPicture empty;
  EXPECT_FALSE(canvas.drawBitmapResized(&picture, 0, 4, 0, 0, cPicture::eResizeStretch));
  EXPECT_FALSE(canvas.drawBitmapResized(&picture, 4, -1, 0, 0, cPicture::eResizeScaling));
  EXPECT_FALSE(canvas.drawBitmapResized(&empty, 4, 4, 0, 0, cPicture::eResizeStretch));
  EXPECT_FALSE(canvas.drawBitmapResized(&picture, 4, 4, -4, 0, cPicture::eResizeStretch));
  EXPECT_FALSE(canvas.drawBitmapResized(&picture, 4, 4, 0, 20, cPicture::eResizeStretch));
  // A picture far smaller than its target's visible sliver still yields a pixel.
  EXPECT_TRUE(canvas.drawBitmapResized(&picture, 100000, 100000, -99999, -99999, cPicture::eResizeStretch));
  EXPECT_EQ(drawn().pixels, std::vector<unsigned int>{kBlue2});
}

}  // namespace
