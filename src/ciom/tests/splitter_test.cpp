// Splitters on the test platform: proportional and fixed layouts, the size
// they ask of their parent, dragging within the neighbours' minimums, and
// the bars they paint.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "ciom/splitter.h"
#include "support/canvaslog.h"
#include "support/fixedcanvas.h"
#include "support/testplatform.h"

namespace {

class cAskingRoot : public cChildElement {
 public:
  std::vector<int> asked;
  bool onAction(cChildElement* sender, cChildAction* a) override {
    if (auto* r = dynamic_cast<cSplitterCore::cResizeRequestAction*>(a)) asked.push_back(r->length);
    return cChildElement::onAction(sender, a);
  }
};

struct sSplit {
  cTestRequestTarget window;
  cAskingRoot root;
  cSplitterChild split;
  cVSplitterChild vsplit;
  std::vector<std::unique_ptr<cChildElement>> panes;
  explicit sSplit(int w = 400, int h = 50) {
    window.bind(&root, 2000, 2000);
    root.attach(&split, 0, 0, w, h);
    root.attach(&vsplit, 0, 100, h, w);
  }
  ~sSplit() {
    for (auto& p : panes) p.reset();
    root.dettach(&split);
    root.dettach(&vsplit);
  }
  cChildElement* pane() {
    panes.push_back(std::make_unique<cChildElement>());
    return panes.back().get();
  }
  std::vector<int> asked() {
    while (window.drain()) {
    }
    auto a = root.asked;
    root.asked.clear();
    return a;
  }
};

sRect rectOf(cChildElement& parent, cChildElement* c) {
  sRect r;
  parent.childRect(c, &r);
  return r;
}

}  // namespace

TEST(Splitter, ProportionalLayoutSpreadsTheRestOverTheItems) {
  sSplit s;
  cChildElement* a = s.pane();
  cChildElement* b = s.pane();
  cChildElement* c = s.pane();
  s.split.attach(1, a, 100);
  s.split.attach(2, b, 200);
  s.split.attach(3, c, 100);
  struct {
    cChildElement* e;
    int x, w;
  } expected[] = {{a, 0, 98}, {b, 101, 197}, {c, 301, 98}};
  for (const auto& k : expected) {
    const sRect r = rectOf(s.split, k.e);
    EXPECT_EQ(r.x, k.x);
    EXPECT_EQ(r.width, k.w);
    EXPECT_EQ(r.height, 50);
  }
  // The vertical twin stacks the same way along its height.
  cChildElement* va = s.pane();
  cChildElement* vb = s.pane();
  s.vsplit.attach(1, va, 100);
  s.vsplit.attach(2, vb, 300);
  EXPECT_EQ(rectOf(s.vsplit, vb).y, rectOf(s.vsplit, va).height + 3);
  EXPECT_EQ(rectOf(s.vsplit, va).width, 50);

  sSplit narrow(50);
  cChildElement* n = narrow.pane();
  narrow.split.attach(0, n, 30);
  EXPECT_EQ(narrow.split.itemSize(0), 15) << "stored as 30 of 100";
  narrow.split.setSplitWidth(1);
  EXPECT_EQ(narrow.split.splitReservedWidth(), 3);
}

TEST(Splitter, FixedItemsSizeTheSplitterAndTheFillerTakesTheRest) {
  sSplit s;
  s.split.setScalable(false);
  s.split.attach(0, s.pane(), 50);
  s.split.attach(1, s.pane(), 60);
  EXPECT_EQ(s.split.width(), 116);
  const auto asked = s.asked();
  ASSERT_FALSE(asked.empty());
  EXPECT_EQ(asked.back(), 116);
  cChildElement* filler = s.pane();
  s.split.cChildElement::attach(filler, 0, 0, 1, 1, cChildElement::cptNormal);
  s.split.setMinSplittingSize(200, filler);
  const sRect f = rectOf(s.split, filler);
  EXPECT_EQ(f.x, 116);
  EXPECT_EQ(f.width, 84);
  EXPECT_EQ(s.asked(), std::vector<int>{200});
  EXPECT_EQ(s.split.width(), 200);
  EXPECT_TRUE(s.split.resizeItem(1, 70));
  EXPECT_EQ(s.split.itemSize(1), 70);
  EXPECT_FALSE(s.split.resizeItem(7, 70));
}

TEST(Splitter, DraggingKeepsNeighboursAtTheirMinimum) {
  struct {
    int to;
    int leftWidth;
  } cases[] = {{150, 150}, {5, 40}, {390, 400 - 3 - 60}};
  for (const auto& k : cases) {
    SCOPED_TRACE(k.to);
    sSplit s;
    cChildElement* a = s.pane();
    cChildElement* b = s.pane();
    s.split.attach(0, a, 200);
    s.split.attach(1, b, 200);
    // Minimums count once attached: attaching starts an element afresh.
    a->setMinSize(40, 0);
    b->setMinSize(60, 0);
    const int bar = rectOf(s.split, a).width + 1;
    s.split.onMouseButton(bar, 5, cChildElement::mbLeft, true);
    s.split.onMouseMoving(k.to, 5);
    s.split.onMouseButton(k.to, 5, cChildElement::mbLeft, false);
    EXPECT_NEAR(rectOf(s.split, a).width, k.leftWidth, 1);
    EXPECT_GE(rectOf(s.split, b).width, 60);
    EXPECT_EQ(rectOf(s.split, b).x, rectOf(s.split, a).width + 3);
  }
  // The last bar of a proportional splitter does not drag; a locked one none.
  sSplit s;
  cChildElement* a = s.pane();
  s.split.attach(0, a, 200);
  const int w = rectOf(s.split, a).width;
  s.split.onMouseButton(w + 1, 5, cChildElement::mbLeft, true);
  s.split.onMouseMoving(10, 5);
  EXPECT_EQ(rectOf(s.split, a).width, w);
}

TEST(Splitter, BarsPaintTheBandAndATrimmedMiddleLine) {
  sSplit s(400, 50);
  cChildElement* a = s.pane();
  s.split.attach(0, a, 100);
  s.split.attach(1, s.pane(), 300);
  s.split.setSplitWidth(5);
  s.split.setLineTrims(4, 6);
  s.split.setColors(0x0000FF, 0x00FF00);
  cLoggingCanvas<cFixedMetricCanvas> canvas(400, 50);
  s.split.onPaint(&canvas);
  const int e = rectOf(s.split, a).width;
  ASSERT_GE(canvas.fills.size(), 2u);
  EXPECT_EQ(canvas.fills[0].r.x, e);
  EXPECT_EQ(canvas.fills[0].r.width, 5);
  EXPECT_EQ(canvas.fills[0].r.height, 50);
  EXPECT_EQ(canvas.fills[0].fill, 0x00FF00u);
  EXPECT_EQ(canvas.fills[1].r.x, e + 2);
  EXPECT_EQ(canvas.fills[1].r.y, 4);
  EXPECT_EQ(canvas.fills[1].r.height, 50 - 4 - 6);
  EXPECT_EQ(canvas.fills[1].fill, 0x0000FFu);
}
