#include "ciom/scrollable.h"

#include <algorithm>

#include "ciom/canvas.h"
#include "ciom/themeuse.h"

namespace {

constexpr int kCornerPicture = 86;

}  // namespace


void cScrollableElement::onInitData() {
  cChildElement::onInitData();
  if (!isDirectChild(&myHBar)) attach(&myHBar, 0, 0, 1, 1, cptFixedXY);
  if (!isDirectChild(&myVBar)) attach(&myVBar, 0, 0, 1, 1, cptFixedXY);
  myHBar.hide(false);
  myVBar.hide(false);
  myMinVisualW = myMinVisualH = 0;
  myShiftX = myShiftY = 0;
}

void cScrollableElement::setMinVisualWidth(int w) {
  if (w < 0 || w == myMinVisualW) return;
  myMinVisualW = w;
  rebuild();
  processSizeChanges(width(), height(), true);
}

void cScrollableElement::setMinVisualHeight(int h) {
  if (h < 0 || h == myMinVisualH) return;
  myMinVisualH = h;
  rebuild();
  processSizeChanges(width(), height(), true);
}

void cScrollableElement::setPageSize(int h, int v) {
  myHBar.setPageQuantum(static_cast<unsigned int>(std::max(h, 0)));
  myVBar.setPageQuantum(static_cast<unsigned int>(std::max(v, 0)));
}

void cScrollableElement::setQuantumSize(int h, int v) {
  const auto hq = static_cast<unsigned int>(std::max(h, 0)), vq = static_cast<unsigned int>(std::max(v, 0));
  myHBar.setValQuantum(hq);
  myHBar.setVisQuantum(hq);
  myVBar.setValQuantum(vq);
  myVBar.setVisQuantum(vq);
}

int cScrollableElement::getHScrollRes() { return myHBar.visible_child() ? myHBar.height() : 0; }

int cScrollableElement::getVScrollRes() { return myVBar.visible_child() ? myVBar.width() : 0; }

void cScrollableElement::scrollMinX() {
  if (myHBar.visible_child()) myHBar.setPos(0);
}

void cScrollableElement::scrollMaxX() {
  if (myHBar.visible_child()) myHBar.setPos(myHBar.maxval());
}

void cScrollableElement::scrollMinY() {
  if (myVBar.visible_child()) myVBar.setPos(0, true);
}

void cScrollableElement::scrollMaxY() {
  if (myVBar.visible_child()) myVBar.setPos(myVBar.maxval(), true);
}

void cScrollableElement::pinChild(cChildElement* child, bool noHorizontal, bool noVertical) {
  if (child) *myPinned.insert(child) = {noHorizontal, noVertical};
}

bool cScrollableElement::scrollToChild(cChildElement* child) {
  sRect r;
  if (!childRect(child, &r)) return false;
  sPinMode pin;
  if (const sPinMode* found = myPinned.find(child)) pin = *found;
  return adjustScrollTo(r, pin.noHorizontal, pin.noVertical);
}

namespace {

// How far to scroll along one axis so that [at, at + len) comes into the
// visible span starting at `start` of `visible` pixels, given the border.
int scrollNeed(int at, int len, int shift, int border, int start, int visible) {
  const int lead = at - shift + border;
  const int trail = at - shift - border + len - visible;
  if (lead < start) return lead - start;
  if (trail > 0 && lead > 0) return std::min(trail, lead);
  return 0;
}

template <class Bar, class Set>
bool scrollBarBy(Bar& bar, int delta, Set set) {
  const unsigned long long old = bar.pos();
  const long long target = std::max<long long>(static_cast<long long>(old) + delta, 0);
  set(static_cast<unsigned long long>(target));
  return bar.pos() != old;
}

}  // namespace

bool cScrollableElement::adjustScrollTo(sRect& r, bool noHorizontal, bool noVertical) {
  sRect c;
  if (!clientRect(&c)) return false;
  // The client rectangle already leaves the bars out.
  const int visibleW = std::max(c.width, 0), visibleH = std::max(c.height, 0);
  // A bar moved earlier in this turn has not yet passed its position on to
  // the shift, so the bars say where the view is heading.
  const int shiftY = myVBar.visible_child() ? static_cast<int>(myVBar.pos()) : myShiftY;
  const int shiftX = myHBar.visible_child() ? static_cast<int>(myHBar.pos()) : myShiftX;
  const int dy = scrollNeed(r.y, r.height, shiftY, myBorderWidth, c.y, visibleH);
  const int dx = scrollNeed(r.x, r.width, shiftX, myBorderWidth, c.x, visibleW);
  bool changed = false;
  if (dy && myVBar.visible_child() && !noVertical)
    changed |= scrollBarBy(myVBar, dy, [&](unsigned long long p) { myVBar.setPos(p, true); });
  if (dx && myHBar.visible_child() && !noHorizontal)
    changed |= scrollBarBy(myHBar, dx, [&](unsigned long long p) { myHBar.setPos(p); });
  return changed;
}

bool cScrollableElement::virtualSize(sSize* s) {
  if (!s) return false;
  s->cx = std::max(width() - getVScrollRes(), myMinVisualW);
  s->cy = std::max(height() - getHScrollRes(), myMinVisualH);
  return true;
}

bool cScrollableElement::virtualOffset(sPoint* p) {
  if (!p) return false;
  *p = {-myShiftX, -myShiftY};
  return true;
}

bool cScrollableElement::clientRect(sRect* r) {
  if (!r) return false;
  *r = {0, 0, width() - getVScrollRes(), height() - getHScrollRes()};
  return true;
}

void cScrollableElement::rebuild() {
  const int w = width(), h = height(), t = themeDim(19), b = myBorderWidth;
  const bool needH = w < myMinVisualW || (h < myMinVisualH && w - t < myMinVisualW);
  const bool needV = h < myMinVisualH || (w < myMinVisualW && h - t < myMinVisualH);
  // Anchors below 0 count from the far edge: -1 is the edge itself.
  if (needH) anchor(&myHBar, b, -b - t - 1, needV ? -t - 2 * b - 1 : -2 * b - 1, t);
  if (needV) anchor(&myVBar, -b - t - 1, b, t, needH ? -t - 2 * b - 1 : -2 * b - 1);
  bool toggled = false, changed = false;
  if (needH != myHBar.visible_child()) {
    needH ? myHBar.show(false) : myHBar.hide(false);
    myHBar.setPos(0);
    toggled = true;
  }
  if (needV != myVBar.visible_child()) {
    needV ? myVBar.show(false) : myVBar.hide(false);
    myVBar.setPos(0, true);
    toggled = true;
  }
  if (!needH && !needV && (myShiftX || myShiftY)) {
    myShiftX = myShiftY = 0;
    changed = true;
  }
  const int viewW = w - getVScrollRes(), viewH = h - getHScrollRes();
  if (needH) {
    myHBar.setMax(static_cast<unsigned long long>(std::max(myMinVisualW - viewW, 1)));
    myHBar.setPageQuantum(static_cast<unsigned int>(std::max(viewW, 0)));
  }
  if (needV) {
    myVBar.setMax(static_cast<unsigned long long>(std::max(myMinVisualH - viewH, 0)));
    myVBar.setPageQuantum(static_cast<unsigned int>(std::max(viewH, 0)));
  }
  if (toggled) processSizeChanges(w, h, true);
  if (toggled || changed) repaint(nullptr);
}

void cScrollableElement::onSizeChanged() {
  cChildElement::onSizeChanged();
  rebuild();
}

bool cScrollableElement::onMouseWheel(int, int, bool back, bool horizontal, int count) {
  const auto turn = [&](cScrollBar& bar, auto set) {
    const unsigned long long step = static_cast<unsigned long long>(bar.valQuantum()) *
                                    static_cast<unsigned long long>(std::max(count, 0));
    const unsigned long long p = bar.pos();
    set(back ? (p > step ? p - step : 0) : (bar.maxval() - p > step ? p + step : bar.maxval()));
  };
  if (horizontal && myHBar.visible_child())
    turn(myHBar, [&](unsigned long long p) { myHBar.setPos(p); });
  else if (!horizontal && myVBar.visible_child())
    turn(myVBar, [&](unsigned long long p) { myVBar.setPos(p, true); });
  return true;
}

bool cScrollableElement::onAction(cChildElement* sender, cChildAction* a) {
  if (!a) return false;
  const auto follow = [&](cScrollBar& bar, unsigned long long p, int& shift) {
    if (p <= bar.maxval() && static_cast<long long>(p) != shift) {
      shift = static_cast<int>(p);
      repaint(nullptr);
    }
    return true;
  };
  if (sender == &myHBar) {
    auto* h = dynamic_cast<cHScroll::cHScrollAction*>(a);
    return h ? follow(myHBar, h->pos, myShiftX) : true;
  }
  if (sender == &myVBar) {
    auto* v = dynamic_cast<cVScroll::cVScrollAction*>(a);
    return v ? follow(myVBar, v->pos, myShiftY) : true;
  }
  if (a->code == acFocus && isChild(sender)) scrollToChild(sender);
  return cChildElement::onAction(sender, a);
}

void cScrollableElement::onPaint(cCanvas* c) {
  if (!c) return;
  if (!myHBar.visible_child() || !myVBar.visible_child()) {
    onPaintArea(c);
    return;
  }
  const int t = themeDim(19);
  sRect corner{width() - t - myBorderWidth, height() - t - myBorderWidth, t, t};
  c->clip(&corner);
  c->select();
  onPaintArea(c);
  c->unclip(&corner);
  c->select();
  if (cPicture* p = themePict(kCornerPicture))
    c->drawBitmap(corner.x, corner.y, p, t, t);
  else
    c->drawRect(&corner, themeColor(14), themeColor(14));
}
