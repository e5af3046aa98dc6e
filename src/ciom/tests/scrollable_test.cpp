// The scrollable element on the test platform: when each bar shows, how the
// shifts follow the bars, focus scrolling, and a view of a million rows that
// paints only the rows in view.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "ciom/scrollable.h"
#include "ciom/themeuse.h"
#include "support/canvaslog.h"
#include "support/fixedcanvas.h"
#include "support/testplatform.h"

namespace {

constexpr int kRow = 20;

// Rows of kRow pixels, painted only where they meet the view.
class cRows : public cScrollableElement {
 public:
  void onPaintArea(cCanvas* c) override {
    sRect view;
    clientRect(&view);
    const long long first = shiftY() / kRow;
    const long long last = std::min<long long>((shiftY() + view.height - 1) / kRow, rows - 1);
    for (long long i = first; i <= last; ++i) {
      sRect r{0, static_cast<int>(i * kRow - shiftY()), view.width, kRow};
      c->drawRect(&r, static_cast<unsigned int>(i), static_cast<unsigned int>(i));
    }
  }
  long long rows = 0;
};

struct sView {
  cTestRequestTarget window;
  cChildElement root;
  cRows view;
  sView(int w, int h) {
    window.bind(&root, 1000, 1000);
    root.attach(&view, 0, 0, w, h);
  }
  ~sView() { root.dettach(&view); }
  void settle() {
    while (window.drain()) {
    }
  }
};

}  // namespace

TEST(Scrollable, EachBarShowsOnlyWhileTheContentDoesNotFit) {
  const int t = themeDim(19);
  struct {
    int mw, mh;
    bool h, v;
  } cases[] = {
      {200, 100, false, false}, {201, 50, true, false}, {150, 101, false, true},
      {201, 100 - t, true, false},  // the bar's thickness still leaves room
      {201, 101 - t, true, true},   // ... and one pixel more takes both
      {200 - t, 101, false, true},  {201 - t, 101, true, true}, {0, 0, false, false},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(testing::Message() << k.mw << "x" << k.mh);
    sView s(200, 100);
    s.view.setMinVisualWidth(k.mw);
    s.view.setMinVisualHeight(k.mh);
    s.settle();
    EXPECT_EQ(s.view.getHScrollRes(), k.h ? t : 0);
    EXPECT_EQ(s.view.getVScrollRes(), k.v ? t : 0);
    sRect client;
    s.view.clientRect(&client);
    EXPECT_EQ(client.width, 200 - (k.v ? t : 0));
    EXPECT_EQ(client.height, 100 - (k.h ? t : 0));
    if (k.h) {
      sRect bar;
      s.view.childRect(&s.view.hbar(), &bar);
      EXPECT_EQ(bar.y, 100 - t);
      EXPECT_EQ(bar.width, 200 - (k.v ? t : 0));
      EXPECT_EQ(s.view.hbar().maxval(), static_cast<unsigned long long>(k.mw - client.width));
    }
    if (k.v) {
      EXPECT_EQ(s.view.vbar().maxval(), static_cast<unsigned long long>(k.mh - client.height));
    }
    // The corner square is drawn only under both bars.
    cFixedMetricCanvas canvas(200, 100);
    s.view.onPaint(&canvas);
    const bool corner = !canvas.pictures.empty() && canvas.pictures.back().x == 200 - t &&
                        canvas.pictures.back().y == 100 - t;
    EXPECT_EQ(corner, k.h && k.v);
  }
}

TEST(Scrollable, ShrinkingTheContentHidesBothBarsAndResetsTheShifts) {
  sView s(200, 100);
  s.view.setMinVisualWidth(1000);
  s.view.setMinVisualHeight(1000);
  s.view.scrollMaxX();
  s.view.scrollMaxY();
  s.settle();
  EXPECT_GT(s.view.shiftX(), 0);
  EXPECT_GT(s.view.shiftY(), 0);
  s.view.setMinVisualWidth(10);
  s.view.setMinVisualHeight(10);
  s.settle();
  EXPECT_EQ(s.view.getHScrollRes() + s.view.getVScrollRes(), 0);
  EXPECT_EQ(s.view.shiftX(), 0);
  EXPECT_EQ(s.view.shiftY(), 0);
  EXPECT_EQ(s.view.hbar().pos() + s.view.vbar().pos(), 0u);
  // The wheel without a bar still answers handled and moves nothing.
  EXPECT_TRUE(s.view.onMouseWheel(0, 0, false, false, 3));
}

TEST(Scrollable, AFocusedChildBelowTheViewIsScrolledJustIntoItUnlessPinned) {
  for (bool pinned : {false, true}) {
    sView s(200, 100);
    s.view.setMinVisualHeight(1000);
    cChildElement child;
    child.setAcceptFocus(true);
    s.view.attach(&child, 10, 300, 50, 30);
    if (pinned) s.view.pinChild(&child, false, true);
    s.settle();
    child.focus();
    s.settle();
    // Its bottom edge meets the view's bottom edge.
    EXPECT_EQ(s.view.shiftY(), pinned ? 0 : 300 + 30 - 100);
    // A bar action beyond the bar's range leaves the shift alone.
    cVScroll::cVScrollAction beyond(5000);
    s.view.onAction(&s.view.vbar(), &beyond);
    EXPECT_EQ(s.view.shiftY(), pinned ? 0 : 230);
    // Asked twice before the bar's move reaches the shift, it scrolls once.
    s.view.vbar().setPos(0, true);
    s.settle();
    s.view.scrollToChild(&child);
    s.view.scrollToChild(&child);
    s.settle();
    EXPECT_EQ(s.view.shiftY(), pinned ? 0 : 230);
    s.view.dettach(&child);
  }
}

TEST(Scrollable, AMillionRowsAreReachedEveryWayAndOnlyTheRowsInViewArePainted) {
  const int w = 300, h = 200, t = themeDim(19);
  const long long rows = 1000000, content = rows * kRow, maxY = content - h;
  sView s(w, h);
  s.view.rows = rows;
  s.view.setQuantumSize(1, kRow);
  s.view.setMinVisualHeight(static_cast<int>(content));
  s.settle();
  ASSERT_EQ(s.view.getVScrollRes(), t);
  ASSERT_EQ(s.view.vbar().maxval(), static_cast<unsigned long long>(maxY));

  auto landsAt = [&](long long expected) {
    s.settle();
    EXPECT_EQ(s.view.shiftY(), expected);
    cLoggingCanvas<cFixedMetricCanvas> canvas(w, h);
    s.view.onPaint(&canvas);
    // Only the rows meeting the view, and the last one visible reaches the
    // view's bottom edge whenever the view stands at the end.
    EXPECT_LE(canvas.fills.size(), static_cast<size_t>(h / kRow + 1));
    ASSERT_FALSE(canvas.fills.empty());
    EXPECT_EQ(canvas.fills.front().fill, static_cast<unsigned int>(expected / kRow));
    if (expected == maxY) {
      EXPECT_EQ(canvas.fills.back().fill, static_cast<unsigned int>(rows - 1));
      EXPECT_EQ(canvas.fills.back().r.y + kRow, h);
    }
  };

  s.view.vbar().onKey(cChildElement::kcEnd, false, false, false);
  landsAt(maxY);
  s.view.scrollMinY();
  landsAt(0);
  s.view.scrollMaxY();
  landsAt(maxY);
  s.view.vbar().onKey(cChildElement::kcHome, false, false, false);
  s.view.vbar().onKey(cChildElement::kcPageDown, false, false, false);
  landsAt(h);
  // Towards the end by three rows, then back by one.
  s.view.onMouseWheel(5, 5, false, false, 3);
  landsAt(h + 3 * kRow);
  s.view.onMouseWheel(5, 5, true, false, 1);
  landsAt(h + 2 * kRow);

  // The thumb dragged past the track's end.
  cVScroll& bar = s.view.vbar();
  bar.onKey(cChildElement::kcHome, false, false, false);
  int thumbAt = 0;
  while (thumbAt < h && bar.hit(thumbAt) != cScrollBar::hrThumb) ++thumbAt;
  ASSERT_LT(thumbAt, h);
  bar.onMouseButton(3, thumbAt, cChildElement::mbLeft, true);
  bar.onMouseMoving(3, h + 50);
  bar.onMouseButton(3, h + 50, cChildElement::mbLeft, false);
  landsAt(maxY);
}
