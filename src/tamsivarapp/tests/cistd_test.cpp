#include <gtest/gtest.h>

#include "ciplatform/crbcanvas.h"
#include "tamsivarapp/cistd.h"

namespace {

constexpr unsigned int kFace = 0xE7E7E7, kFrame = 0xA79997, kText = 0x655654, kWhite = 0xFFFFFF;

unsigned int pixelAt(cCrbOffscreenCanvas& c, int x, int y) {
  cPicture one;
  sRect r{x, y, 1, 1};
  if (!c.snapshot(&one, &r)) return 0xDEADBEEF;
  unsigned int p = one.raw()[0];
  return (p & 0xFF) << 16 | (p & 0xFF00) | (p >> 16 & 0xFF);
}

// Paints the element alone on a canvas first filled with `ground`.
void paintAlone(cChildElement& e, int w, int h, cCrbOffscreenCanvas& c, unsigned int ground = 0) {
  ASSERT_TRUE(c.create(w, h));
  sRect all{0, 0, w, h};
  c.drawRect(&all, ground, ground);
  e.processPaint(&c);
}

bool anyPixelIs(cCrbOffscreenCanvas& c, int w, int h, unsigned int colour) {
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      if (pixelAt(c, x, y) == colour) return true;
  return false;
}

TEST(WizardButton, FaceAndTextFollowTheStateMixes) {
  EXPECT_EQ(mixColors(0xFFFFFF, 96, 0xE7E7E7, 159), 0xF0F0F0u);  // 96 + 144 per channel
  EXPECT_EQ(mixColors(0x102030, 255, 0xFFFFFF, 0), 0x102030u);

  enum eState { normal, hovered, pressed, disabled };
  const struct {
    eState state;
    unsigned int face;
  } cases[] = {
      {normal, kFace},
      {hovered, mixColors(kWhite, 96, kFace, 159)},
      {pressed, mixColors(kWhite, 192, kFace, 63)},
      {disabled, mixColors(kWhite, 96, kFace, 159)},
  };
  for (const auto& c : cases) {
    for (bool withText : {false, true}) {
      SCOPED_TRACE(c.state * 2 + withText);
      cChildElement root;
      root.setWinTarget(nullptr, 0, 0, 120, 30);
      cWZIButton b;
      ASSERT_TRUE(root.attach(&b, 0, 0, 120, 30));
      if (withText) b.setText("Next", -1, false);
      if (c.state == hovered) b.onMouseOver();
      if (c.state == pressed) b.onMouseButton(5, 5, 1, true);
      if (c.state == disabled) b.disable(false);
      cCrbOffscreenCanvas canvas;
      paintAlone(root, 120, 30, canvas);
      EXPECT_EQ(pixelAt(canvas, 0, 0), kFrame);
      EXPECT_EQ(pixelAt(canvas, 119, 29), kFrame);
      EXPECT_EQ(pixelAt(canvas, 5, 15), c.face);
      EXPECT_EQ(pixelAt(canvas, 60, 2), c.face);
      const unsigned int text = c.state == disabled ? mixColors(c.face, 128, kText, 127) : kText;
      EXPECT_EQ(anyPixelIs(canvas, 120, 30, text), withText);
    }
  }
}

TEST(SelectionButton, AccentBarSitsOverTheTextOrAtTheMargin) {
  cFontObject* font = mkSelectHdrFont();
  ASSERT_NE(font, nullptr);
  cCrbOffscreenCanvas measure;
  ASSERT_TRUE(measure.create(10, 10));
  font->apply(&measure);
  sSize text;
  ASSERT_TRUE(measure.textSize("Installed", -1, text));
  const unsigned int accent = 0x5C5CDA;

  const struct {
    int width, height;
    int barFrom, barTo;  // -1: nothing painted at all
  } cases[] = {
      {text.cx + 38, 30, 19, 19 + text.cx},
      {text.cx + 10, 30, 19, text.cx + 10 - 19},
      {37, 30, -1, -1},
      {text.cx + 38, 23, -1, -1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.width * 100 + c.height);
    cChildElement root;
    root.setWinTarget(nullptr, 0, 0, c.width, c.height);
    cWZISelButton b;
    ASSERT_TRUE(root.attach(&b, 0, 0, c.width, c.height));
    b.setText("Installed", -1, false);
    b.setActivated(true, false);
    cCrbOffscreenCanvas canvas;
    paintAlone(root, c.width, c.height, canvas);
    if (c.barFrom < 0) {
      EXPECT_FALSE(anyPixelIs(canvas, c.width, c.height, kWhite));
      continue;
    }
    EXPECT_EQ(pixelAt(canvas, c.barFrom - 1, 1), kWhite);
    EXPECT_EQ(pixelAt(canvas, c.barFrom, 1), accent);
    EXPECT_EQ(pixelAt(canvas, c.barTo - 1, 1), accent);
    EXPECT_EQ(pixelAt(canvas, c.barTo, 1), kWhite);
    EXPECT_EQ(pixelAt(canvas, 0, 3), 0xEBEBEBu);
    EXPECT_TRUE(anyPixelIs(canvas, c.width, c.height, accent));
  }
  EXPECT_EQ(cWZISelButton::requiredWidth(nullptr, "x", font), 0);
}

}  // namespace
