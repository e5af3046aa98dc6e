#include <gtest/gtest.h>

#include "ciom/child.h"
#include "support.h"

namespace {

constexpr unsigned int kGrey = 0x808080, kRed = 0x0000FF, kBlue = 0xFF0000, kGreen = 0x00FF00, kBlack = 0,
                       kYellow = 0x00FFFF, kMagenta = 0xFF00FF, kWhite = 0xFFFFFF;

// Fills a rectangle, reaching well past its own bounds when asked to.
class cFiller : public cChildElement {
 public:
  unsigned int colour;
  sRect area;
  bool buffered = false;
  cFiller(unsigned int c, sRect a) : colour(c), area(a) {}
  bool wantDoubleBuffer() override { return buffered; }
  void onPaint(cCanvas* c) override { c->drawRect(&area, colour, colour); }
};

}  // namespace

TEST(ElementPaint, ChildrenPaintInsideTheirBoundsAndTransparentOnesShowTheParent) {
  // The window is larger than the panel, so what the panel cuts shows.
  cChildElement window;
  window.setWinTarget(nullptr, 0, 0, 120, 100);
  cFiller panel(kGrey, {0, 0, 100, 80});
  ASSERT_TRUE(window.attach(&panel, 0, 0, 100, 80));
  panel.setDefaultBackgroundColor(kGreen);

  cFiller spill(kRed, {-5, -5, 200, 200}), inner(kBlack, {0, 0, 100, 100}), see(kBlue, {5, 5, 10, 10}),
      corner(kYellow, {0, 0, 100, 100}), buffered(kMagenta, {-10, -10, 100, 100});
  buffered.buffered = true;
  ASSERT_TRUE(panel.attach(&spill, 10, 10, 30, 20));
  ASSERT_TRUE(spill.attach(&inner, 20, 10, 30, 30));
  ASSERT_TRUE(panel.attach(&see, 50, 10, 30, 20));
  see.setTransparent(true);
  ASSERT_TRUE(panel.attach(&corner, 80, 60, 40, 40));
  ASSERT_TRUE(panel.attach(&buffered, 10, 40, 30, 20));

  cCrbOffscreenCanvas c;
  makeWhite(c, 120, 100);
  window.processPaint(&c);

  struct {
    int x, y;
    unsigned int colour;
  } expected[] = {
      {5, 5, kGrey},      {10, 10, kRed},     {29, 19, kRed},   {9, 9, kGrey},     {40, 10, kGrey},
      {30, 20, kBlack},   {39, 29, kBlack},   {41, 21, kGrey},  {35, 30, kGrey},   {50, 10, kGreen},
      {55, 15, kBlue},    {64, 24, kBlue},    {65, 25, kGreen}, {79, 29, kGreen},  {80, 10, kGrey},
      {80, 60, kYellow},  {99, 79, kYellow},  {79, 59, kGrey},  {100, 80, kWhite}, {110, 70, kWhite},
      {10, 40, kMagenta}, {39, 59, kMagenta}, {40, 45, kGrey},  {25, 60, kGrey},
  };
  for (const auto& e : expected) EXPECT_EQ(pixelAt(c, e.x, e.y), e.colour) << e.x << "," << e.y;

  // Hidden children leave their place to the panel.
  spill.hide(false);
  cCrbOffscreenCanvas again;
  makeWhite(again, 120, 100);
  window.processPaint(&again);
  EXPECT_EQ(pixelAt(again, 10, 10), kGrey);
  EXPECT_EQ(pixelAt(again, 30, 20), kGrey);
  EXPECT_EQ(pixelAt(again, 55, 15), kBlue);
}
