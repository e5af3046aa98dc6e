// The scroll bars on the fixed-metric canvas: where each piece is painted
// for every length class of both twins (checked against the theme's own
// pictures), hit testing against the painted pieces, and the position
// changes the mouse, the keys and the setters make.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "ciom/scrollbar.h"
#include "ciom/themeuse.h"
#include "support/fixedcanvas.h"
#include "support/testplatform.h"

namespace {

using eSub = cScrollBar::eSubElements;

// Records the positions its bar reports.
class cBarHost : public cChildElement {
 public:
  std::vector<unsigned long long> heard;
  bool onAction(cChildElement* sender, cChildAction* a) override {
    if (auto* h = dynamic_cast<cHScroll::cHScrollAction*>(a)) heard.push_back(h->pos);
    if (auto* v = dynamic_cast<cVScroll::cVScrollAction*>(a)) heard.push_back(v->pos);
    return cChildElement::onAction(sender, a);
  }
};

struct sBarWindow {
  cTestRequestTarget window;
  cBarHost host;
  std::unique_ptr<cScrollBar> bar;
  bool vertical;
  sBarWindow(bool v, int length) : vertical(v) {
    window.bind(&host, 2000, 2000);
    bar.reset(v ? static_cast<cScrollBar*>(new cVScroll) : new cHScroll);
    const int t = themeDim(19);
    if (v)
      host.attach(bar.get(), 0, 0, t, length);
    else
      host.attach(bar.get(), 0, 0, length, t);
  }
  ~sBarWindow() { host.dettach(bar.get()); }
  // Mouse events at a place along the bar and across it.
  void press(int along, bool down, int across = 3) {
    vertical ? bar->onMouseButton(across, along, cChildElement::mbLeft, down)
             : bar->onMouseButton(along, across, cChildElement::mbLeft, down);
    window.drain();
  }
  void move(int along) {
    vertical ? bar->onMouseMoving(3, along) : bar->onMouseMoving(along, 3);
    window.drain();
  }
  void key(int k) {
    bar->onKey(k, false, false, false);
    window.drain();
  }
  std::vector<unsigned long long> heard() {
    window.drain();
    auto h = host.heard;
    host.heard.clear();
    return h;
  }
};

int lengthOf(cPicture* p, bool vertical) { return p ? (vertical ? p->height() : p->width()) : 0; }

struct sPiece {
  eSub element;
  int at, len;
};

// The pieces a bar of `w` should paint, from the layout rules and the
// pictures' own sizes.
std::vector<sPiece> expectedPieces(cScrollBar& bar, bool vertical, int w) {
  auto len = [&](eSub e) { return lengthOf(bar.image(e), vertical); };
  if (w <= themeDim(21)) {
    const bool small = w <= themeDim(20);
    const eSub dec = small ? cScrollBar::seSmallDecArrow : cScrollBar::seDecArrow;
    const eSub inc = small ? cScrollBar::seSmallIncArrow : cScrollBar::seIncArrow;
    const int a = len(dec), b = len(inc), mid = w - a - b;
    return {{dec, 0, a},
            {cScrollBar::seDecFiller, a, mid / 2},
            {cScrollBar::seIncFiller, a + mid / 2, mid - mid / 2},
            {inc, w - b, b}};
  }
  const int c = len(cScrollBar::seStartCap);
  const int inc = len(cScrollBar::seIncArrow), sep = len(cScrollBar::seArrowSeparator),
            dec = len(cScrollBar::seDecArrow);
  const int r = inc + 5 + sep + 5 + dec;
  return {{cScrollBar::seStartCap, 0, c},
          {cScrollBar::seIncArrow, w - inc, inc},
          {cScrollBar::seIncFiller, w - inc - 5, 5},
          {cScrollBar::seArrowSeparator, w - inc - 5 - sep, sep},
          {cScrollBar::seDecFiller, w - inc - 10 - sep, 5},
          {cScrollBar::seDecArrow, w - r, dec},
          {cScrollBar::seTrack, c, w - c - r}};
}

int regionOf(eSub e) {
  switch (e) {
    case cScrollBar::seDecArrow:
    case cScrollBar::seDecFiller:
    case cScrollBar::seSmallDecArrow: return cScrollBar::hrDecrease;
    case cScrollBar::seIncArrow:
    case cScrollBar::seIncFiller:
    case cScrollBar::seSmallIncArrow: return cScrollBar::hrIncrease;
    default: return cScrollBar::hrNone;
  }
}

bool samePixels(const sDrawnPicture& d, cPicture* p) {
  return p && d.pixels == std::vector<unsigned int>(p->raw(), p->raw() + p->pixels.count);
}

}  // namespace

TEST(ScrollBar, PiecesArePaintedWhereTheLayoutPutsThemAndHitAgrees) {
  const int t = themeDim(19);
  for (bool vertical : {false, true}) {
    for (int w : {themeDim(20), themeDim(20) + 1, themeDim(21), 200}) {
      SCOPED_TRACE(testing::Message() << (vertical ? "vertical " : "horizontal ") << w);
      sBarWindow bw(vertical, w);
      cFixedMetricCanvas canvas(w, w);
      bw.bar->onPaint(&canvas);
      std::vector<sPiece> pieces;
      for (const sPiece& p : expectedPieces(*bw.bar, vertical, w))
        if (p.len > 0) pieces.push_back(p);
      // The full bar paints the thumb's three pieces after the fixed ones.
      const size_t thumbPieces = w > themeDim(21) ? 3 : 0;
      ASSERT_EQ(canvas.pictures.size(), pieces.size() + thumbPieces);
      for (size_t i = 0; i < pieces.size(); ++i) {
        const sDrawnPicture& d = canvas.pictures[i];
        const sPiece& p = pieces[i];
        SCOPED_TRACE(testing::Message() << "element " << p.element);
        EXPECT_TRUE(samePixels(d, bw.bar->image(p.element)));
        EXPECT_EQ(vertical ? d.y : d.x, p.at);
        EXPECT_EQ(vertical ? d.h : d.w, p.len);
        EXPECT_EQ(vertical ? d.w : d.h, t);
        EXPECT_EQ(vertical ? d.x : d.y, 0);
        if (p.element != cScrollBar::seTrack && p.len > 0) {
          EXPECT_EQ(bw.bar->hit(p.at), regionOf(p.element));
          EXPECT_EQ(bw.bar->hit(p.at + p.len - 1), regionOf(p.element));
        }
      }
      if (!thumbPieces) continue;
      // The thumb sits at the track's start at position 0: before it is
      // nothing of the track, after it the rest of the track.
      const sDrawnPicture& start = canvas.pictures[pieces.size()];
      const int c = pieces[0].len;
      EXPECT_EQ(vertical ? start.y : start.x, c);
      EXPECT_EQ(bw.bar->hit(c), cScrollBar::hrThumb);
      const sPiece& track = pieces.back();
      EXPECT_EQ(bw.bar->hit(track.at + track.len - 1), cScrollBar::hrPageForward);
    }
  }
}

TEST(ScrollBar, ThumbLengthAndTravel) {
  const int w = 300;
  sBarWindow probe(false, w);
  const auto& pieces = expectedPieces(*probe.bar, false, w);
  const int c = pieces[0].len, L = pieces.back().len;
  ASSERT_GT(L, 100 + themeDim(22));
  struct {
    unsigned long long max, pos;
    int thumbLen, thumbAt;
  } cases[] = {
      // A small range leaves a thumb of the track less the range.
      {100, 0, L - 100, c},
      {100, 100, L - 100, c + 100},
      {100, 50, L - 100, c + 50},
      // A huge range never shrinks it below the least thumb, which then
      // travels over the whole track.
      {1000000, 0, themeDim(22), c},
      {1000000, 1000000, themeDim(22), c + L - themeDim(22)},
      {~0ull, ~0ull, themeDim(22), c + L - themeDim(22)},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(testing::Message() << k.max << " at " << k.pos);
    sBarWindow bw(false, w);
    bw.bar->setMax(k.max);
    static_cast<cHScroll*>(bw.bar.get())->setPos(k.pos);
    cFixedMetricCanvas canvas(w, 20);
    bw.bar->onPaint(&canvas);
    const sDrawnPicture& start = canvas.pictures[pieces.size()];
    const sDrawnPicture& end = canvas.pictures[pieces.size() + 1];
    EXPECT_EQ(start.x, k.thumbAt);
    EXPECT_EQ(end.x + end.w - start.x, k.thumbLen);
  }
}

TEST(ScrollBar, ClicksScrollOnlyWhenPressedAndReleasedOnTheSameRegion) {
  for (bool vertical : {false, true}) {
    sBarWindow bw(vertical, 300);
    const auto pieces = expectedPieces(*bw.bar, vertical, 300);
    const int dec = pieces[5].at + 1, inc = pieces[1].at + 1, trackEnd = pieces.back().at + pieces.back().len - 1;
    struct {
      unsigned long long start;
      int pressAt, releaseAt, releaseAcross;
      unsigned long long end;
    } cases[] = {
        {50, inc, inc, 3, 51},                  // increase arrow: one value step
        {50, dec, dec, 3, 49},                  // decrease arrow
        {50, inc, dec, 3, 50},                  // pressed on one arrow, released on the other
        {0, trackEnd, trackEnd, 3, 10},         // track after the thumb: a page on
        {50, pieces[0].len, pieces[0].len, 3, 40},  // track before the thumb: a page back
        {50, pieces[0].len, trackEnd, 3, 50},   // before the thumb, released after it
        {50, inc, inc, 40, 50},                 // released off the bar
        {100, inc, inc, 3, 100},                // at the end already
    };
    for (const auto& k : cases) {
      SCOPED_TRACE(testing::Message() << vertical << " start " << k.start << " " << k.pressAt << "->" << k.releaseAt);
      if (vertical)
        static_cast<cVScroll*>(bw.bar.get())->setPos(k.start, false);
      else
        static_cast<cHScroll*>(bw.bar.get())->setPos(k.start);
      bw.heard();
      bw.press(k.pressAt, true);
      EXPECT_TRUE(bw.window.captured);
      EXPECT_EQ(bw.bar->pos(), k.start) << "nothing scrolls on a press";
      bw.press(k.releaseAt, false, k.releaseAcross);
      EXPECT_FALSE(bw.window.captured);
      EXPECT_EQ(bw.bar->pos(), k.end);
      const auto heard = bw.heard();
      EXPECT_EQ(heard, k.end == k.start ? std::vector<unsigned long long>{} : std::vector<unsigned long long>{k.end});
    }
  }
}

TEST(ScrollBar, ShortBarsStepByTheValueQuantumOnEitherHalf) {
  sBarWindow bw(false, themeDim(21));
  bw.bar->setValQuantum(7);
  const int w = themeDim(21);
  EXPECT_EQ(bw.bar->hit(w / 2 - 1), cScrollBar::hrDecrease);
  EXPECT_EQ(bw.bar->hit(w / 2), cScrollBar::hrIncrease);
  bw.press(w - 1, true);
  bw.press(w - 1, false);
  bw.press(w - 1, true);
  bw.press(w - 1, false);
  bw.press(0, true);
  bw.press(0, false);
  EXPECT_EQ(bw.heard(), (std::vector<unsigned long long>{7, 14, 7}));
}

TEST(ScrollBar, DraggingTheThumbFollowsThePointerAndStaysInRange) {
  sBarWindow bw(false, 300);
  bw.bar->setMax(1000);
  const int c = expectedPieces(*bw.bar, false, 300)[0].len;
  // Drag geometry: the track is taken as the bar less 35.
  const double f = (300.0 - 35 - themeDim(22)) / 1000;
  bw.press(c + 2, true);
  bw.move(c + 2 + 50);
  EXPECT_EQ(bw.bar->pos(), static_cast<unsigned long long>(50 / f));
  bw.move(-500);
  EXPECT_EQ(bw.bar->pos(), 0u) << "a thumb dragged before the track's start stops at 0";
  bw.move(5000);
  EXPECT_EQ(bw.bar->pos(), 1000u);
  bw.press(5000, false);
  const auto heard = bw.heard();
  ASSERT_EQ(heard.size(), 3u);
  EXPECT_EQ(heard.back(), 1000u);
}

TEST(ScrollBar, KeysAndSettersNotifyOnlyRealChanges) {
  sBarWindow bw(false, 200);
  auto* h = static_cast<cHScroll*>(bw.bar.get());
  bw.key(cChildElement::kcHome);
  EXPECT_TRUE(bw.heard().empty());
  bw.window.repaints.clear();
  bw.key(cChildElement::kcUp);
  EXPECT_TRUE(bw.heard().empty());
  EXPECT_FALSE(bw.window.repaints.empty()) << "step keys repaint even without a change";
  bw.key(cChildElement::kcEnd);
  bw.key(cChildElement::kcEnd);
  bw.key(cChildElement::kcDown);
  bw.key(cChildElement::kcPageUp);
  bw.key(cChildElement::kcLeft);
  bw.key(cChildElement::kcPageDown);
  bw.key(cChildElement::kcRight);
  EXPECT_EQ(bw.heard(), (std::vector<unsigned long long>{100, 90, 89, 99, 100}));

  h->setMax(40);
  h->setMax(40);
  EXPECT_EQ(bw.heard(), (std::vector<unsigned long long>{40}));
  h->setMax(0);
  EXPECT_EQ(h->maxval(), 40u) << "the horizontal bar never has an empty range";
  h->setPos(41);
  h->setPos(40);
  EXPECT_TRUE(bw.heard().empty());

  for (auto set : {&cScrollBar::setValQuantum, &cScrollBar::setPageQuantum, &cScrollBar::setVisQuantum})
    (h->*set)(0);
  EXPECT_EQ(h->valQuantum(), 1u);
  EXPECT_EQ(h->pageQuantum(), 10u);
  EXPECT_EQ(h->visQuantum(), 1u);

  sBarWindow vw(true, 200);
  auto* v = static_cast<cVScroll*>(vw.bar.get());
  v->setPos(60, false);
  EXPECT_TRUE(vw.heard().empty()) << "a quiet move tells nobody";
  v->setMax(0);
  EXPECT_EQ(v->maxval(), 0u);
  EXPECT_EQ(v->pos(), 0u);
  EXPECT_EQ(vw.heard(), (std::vector<unsigned long long>{0}));
  cFixedMetricCanvas canvas(20, 200);
  v->onPaint(&canvas);  // an empty range puts the thumb at the start
  vw.press(expectedPieces(*v, true, 200)[0].len + 1, true);
  vw.move(150);
  EXPECT_EQ(v->pos(), 0u);
}
