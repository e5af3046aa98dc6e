// The viewer copying a document taller than one off-screen canvas onto the
// platform's real canvas: the bands meet where the scroll puts them.
#include <gtest/gtest.h>

#include <memory>

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

}  // namespace

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
