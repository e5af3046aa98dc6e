// The viewer copying a document taller than one off-screen canvas onto the
// platform's real canvas: the bands meet where the scroll puts them, and the
// text stays clear of the scroll bar and whole.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "cihlpdoc/sidocviewer.h"
#include "ciplatform/tests/support.h"
#include "support/testplatform.h"

namespace {

constexpr int kBlock = 10000, kBlocks = 5, kViewW = 120, kViewH = 100;

unsigned int colourOf(int block) { return 0x101010u * static_cast<unsigned int>(block + 1) + 0x000040u; }

// Stacked blocks of one colour each, 50,000 px in all.
cSiDocContainer* blocks() {
  auto* root = new cSiDocContainer;
  for (int i = 0; i < kBlocks; ++i) {
    auto* b = new cSiDocContainer;
    b->setWidth(kViewW);
    b->setHeight(kBlock);
    b->setBgColor(colourOf(i));
    b->setBreak(true);
    root->addChild(b);
  }
  return root;
}

cFontObject* standardFont() { return cFontObject::get(5, 13, _glbalStdFont(), false, false, false); }

struct sInk {
  int pixels = 0, right = -1;  // how many are not white, and the right-most column of them
};

sInk inkOf(cCrbOffscreenCanvas& c) {
  cPicture all;
  sRect r{0, 0, c.width(), c.height()};
  sInk ink;
  if (!c.snapshot(&all, &r)) return ink;
  for (int y = 0; y < all.height(); ++y)
    for (int x = 0; x < all.width(); ++x)
      // The support's colour word, not this file's block colours.
      if (::colourOf(all.raw()[y * all.width() + x]) != 0xFFFFFF) {
        ++ink.pixels;
        ink.right = std::max(ink.right, x);
      }
  return ink;
}

cSiDocText* word(const char* text) {
  auto* t = new cSiDocText;
  t->setText(text, static_cast<long long>(std::strlen(text)));
  return t;
}

// A viewer of w x h on the test window showing `doc`, painted once.
struct sShown {
  cTestRequestTarget window;
  cChildElement top;
  cSiDocViewer view;
  cCrbOffscreenCanvas screen;
  sShown(int w, int h, cSiDocBox* doc) {
    window.bind(&top, 1000, 1000);
    top.attach(&view, 0, 0, w, h);
    view.refSiDoc(doc, 0xFFFFFF);
    makeWhite(screen, w, h);
    view.onPaintArea(&screen);
  }
  ~sShown() { top.dettach(&view); }
};

}  // namespace

TEST(SiDocViewerPixels, LinesEndClearOfTheBarAndALongWordIsWhole) {
  const char kAddress[] = "https://licensing.example.org/holder/registered-office/street-and-number";
  const int w = 200, h = 100;
  // Justified lines reach their right limit; the document is taller than
  // the viewer, so the bar shows.
  cSiDocContainer doc;
  doc.refFont(standardFont());
  doc.setAlign(cSiDocContainer::eJustify);
  for (int i = 0; i < 60; ++i) doc.addChild(word(i % 3 ? "licence" : "of"));
  sShown tall(w, h, &doc);
  ASSERT_TRUE(tall.view.vbar().visible_child());
  const int bar = tall.view.vbar().width();
  ASSERT_GT(bar, 0);
  const sInk lines = inkOf(tall.screen);
  EXPECT_GT(lines.right, w - bar - 12) << "justified lines reach the limit";
  EXPECT_LT(lines.right, w - bar) << "under the bar";

  // The address alone fits the height and has no bar: it breaks at the
  // element's edge and leaves as much ink as when drawn on one long line.
  cSiDocContainer alone;
  alone.refFont(standardFont());
  alone.addChild(word(kAddress));
  sShown shortDoc(w, h, &alone);
  ASSERT_FALSE(shortDoc.view.vbar().visible_child());
  cCrbOffscreenCanvas wide;
  makeWhite(wide, 1000, 20);
  sSiDocDrawProps props;
  props.font = standardFont();
  sSize size;
  std::unique_ptr<cSiDocText> line(word(kAddress));
  ASSERT_TRUE(line->draw(&wide, props, size));
  const sInk whole = inkOf(wide), broken = inkOf(shortDoc.screen);
  ASSERT_GT(whole.right, w) << "the address must not fit one line";
  EXPECT_LT(broken.right, w);
  EXPECT_GT(broken.pixels, whole.pixels * 95 / 100);
  EXPECT_LT(broken.pixels, whole.pixels * 105 / 100);
}

TEST(SiDocViewerPixels, BandsMeetWhereTheScrollPutsThem) {
  cTestRequestTarget window;
  cChildElement top;
  cSiDocViewer view;
  std::unique_ptr<cSiDocContainer> doc(blocks());
  window.bind(&top, 1000, 1000);
  top.attach(&view, 0, 0, kViewW, kViewH);
  view.refSiDoc(doc.get(), 0xFFFFFF);
  cCrbOffscreenCanvas screen;
  makeWhite(screen, kViewW, kViewH);
  view.onPaintArea(&screen);
  ASSERT_EQ(view.documentHeight(), kBlock * kBlocks);

  const int band = cSiDocViewer::kBandHeight;
  const struct {
    int shift, y;
  } cases[] = {
      {0, 0},
      {kBlock * 3 - 50, 49}, {kBlock * 3 - 50, 50},  // a block edge
      {band - 50, 49},       {band - 50, 50},        // band edges
      {band * 3 - 1, 0},     {band * 3 - 1, 1},
      {kBlock * kBlocks - kViewH, kViewH - 1},  // the last row
  };
  for (const auto& c : cases) {
    view.vbar().setPos(static_cast<unsigned long long>(c.shift), true);
    while (window.drain()) {
    }
    ASSERT_EQ(view.shiftY(), c.shift);
    makeWhite(screen, kViewW, kViewH);
    view.onPaintArea(&screen);
    EXPECT_EQ(pixelAt(screen, 5, c.y), colourOf((c.shift + c.y) / kBlock)) << c.shift << " " << c.y;
  }
  top.dettach(&view);
}
