#include "ciom/scrollbar.h"

#include <algorithm>

#include "ciom/canvas.h"
#include "ciom/sharedpictures.h"
#include "ciom/themeuse.h"

namespace {

constexpr int kFiller = 5;
// The drag measures the track as the bar less this, not the painted track.
constexpr int kDragTrackCut = 35;

// Theme numbers of each element as (default, hover, pressed), counted from
// the bar's start cap.
constexpr int kPictureOffsets[cScrollBar::seCount][3] = {
    {0, 0, 0},    {1, 2, 3},    {7, 8, 9},    {10, 11, 12}, {4, 5, 6},    {13, 14, 15},
    {16, 17, 18}, {19, 20, 21}, {19, 20, 21}, {22, 22, 22}, {23, 24, 25}, {26, 27, 28},
};

}  // namespace

cScrollBar::sLooks cHScroll::looks{{}, {}, {}, 87};
cPicturesList& cHScroll::myImgListDft = cHScroll::looks.dft;
cPicturesList& cHScroll::myImgListHov = cHScroll::looks.hov;
cPicturesList& cHScroll::myImgListPress = cHScroll::looks.press;
cScrollBar::sLooks cVScroll::looks{{}, {}, {}, 116};
cPicturesList& cVScroll::myImgListDft = cVScroll::looks.dft;
cPicturesList& cVScroll::myImgListHov = cVScroll::looks.hov;
cPicturesList& cVScroll::myImgListPress = cVScroll::looks.press;

void cScrollBar::loadPictures() {
  if (myLooks.dft.image(seStartCap)) return;
  // Copies: the looks outlive the theme, which a theme change replaces.
  for (int e = 0; e < seCount; ++e) {
    copyThemePicture(myLooks.dft, e, myLooks.firstPicture + kPictureOffsets[e][0]);
    copyThemePicture(myLooks.hov, e, myLooks.firstPicture + kPictureOffsets[e][1]);
    copyThemePicture(myLooks.press, e, myLooks.firstPicture + kPictureOffsets[e][2]);
  }
}

void cScrollBar::onInitData() {
  cChildElement::onInitData();
  myTrackState = myThumbState = myDecState = myIncState = stNormal;
  loadPictures();
  const int t = themeDim(19), m = themeDim(22);
  if (myVertical) {
    setMinSize(t, m);
    setMaxSize(t, 2147483647);
  } else {
    setMinSize(m, t);
    setMaxSize(2147483647, t);
  }
  myPos = 0;
  myMax = 100;
  myVisQuantum = myValQuantum = 1;
  myPageQuantum = 10;
  myDragging = myDecPending = myIncPending = myPageBackPending = myPageForwardPending = false;
}

cPicture* cScrollBar::image(eSubElements e) {
  unsigned int state = stNormal;
  switch (e) {
    case seTrack: state = myTrackState; break;
    case seThumbStart:
    case seThumbEnd:
    case seThumbMiddle: state = myThumbState; break;
    case seDecArrow:
    case seDecFiller:
    case seSmallDecArrow: state = myDecState; break;
    case seIncArrow:
    case seIncFiller:
    case seSmallIncArrow: state = myIncState; break;
    default: break;
  }
  cPicturesList& list = state == stPressed ? myLooks.press : state == stHover ? myLooks.hov : myLooks.dft;
  return list.image(e);
}

int cScrollBar::pictLength(eSubElements e) {
  cPicture* p = image(e);
  if (!p) return 0;
  return myVertical ? p->height() : p->width();
}

int cScrollBar::minThumb() { return themeDim(22); }

int cScrollBar::thumbLength(long long scaledTrack) {
  const int least = minThumb();
  // Computed wide: a maximum beyond 32 bits, or a track shorter than the
  // least thumb, must not wrap into a long thumb.
  if (scaledTrack - least > 0 && static_cast<unsigned long long>(scaledTrack - least) > myMax) {
    const long long t = (scaledTrack - static_cast<long long>(myMax)) / myVisQuantum;
    return static_cast<int>(std::max<long long>(t, least));
  }
  return least;
}

double cScrollBar::thumbFactor(long long scaledTrack, int thumb) {
  if (!myMax) return 0;
  const double room = static_cast<double>(scaledTrack - static_cast<long long>(myVisQuantum) * thumb);
  return room > 0 ? room / static_cast<double>(myMax) : 0;
}

cScrollBar::sThumb cScrollBar::thumb() {
  const int c = startCap();
  const int r = pictLength(seIncArrow) + kFiller + pictLength(seArrowSeparator) + kFiller + pictLength(seDecArrow);
  const long long scaled = static_cast<long long>(length() - c - r) * myVisQuantum;
  const int t = thumbLength(scaled);
  const double f = thumbFactor(scaled, t);
  const auto shifted = static_cast<unsigned int>(static_cast<double>(myPos) * f);
  return {c + static_cast<int>(shifted / myVisQuantum), t};
}

void cScrollBar::draw(cCanvas* c, eSubElements e, int at, int len) {
  cPicture* p = image(e);
  if (!p || len <= 0) return;
  const int t = themeDim(19);
  if (myVertical)
    c->drawBitmap(0, at, p, t, len);
  else
    c->drawBitmap(at, 0, p, len, t);
}

void cScrollBar::onPaint(cCanvas* c) {
  if (!c) return;
  const int w = length();
  if (w <= themeDim(21)) {
    const bool small = w <= themeDim(20);
    const eSubElements dec = small ? seSmallDecArrow : seDecArrow, inc = small ? seSmallIncArrow : seIncArrow;
    const int a = pictLength(dec), b = pictLength(inc);
    const int middle = w - a - b, first = middle / 2;
    draw(c, dec, 0, a);
    draw(c, seDecFiller, a, first);
    draw(c, seIncFiller, a + first, middle - first);
    draw(c, inc, w - b, b);
    return;
  }
  const int cap = startCap();
  draw(c, seStartCap, 0, cap);
  int r = 0;
  const auto fromEnd = [&](eSubElements e, int len) {
    r += len;
    draw(c, e, w - r, len);
  };
  fromEnd(seIncArrow, pictLength(seIncArrow));
  fromEnd(seIncFiller, kFiller);
  fromEnd(seArrowSeparator, pictLength(seArrowSeparator));
  fromEnd(seDecFiller, kFiller);
  fromEnd(seDecArrow, pictLength(seDecArrow));
  draw(c, seTrack, cap, w - cap - r);
  const sThumb th = thumb();
  const int s = pictLength(seThumbStart), e = pictLength(seThumbEnd);
  draw(c, seThumbStart, th.offset, s);
  draw(c, seThumbEnd, th.offset + th.length - e, e);
  draw(c, seThumbMiddle, th.offset + s, th.length - s - e);
}

int cScrollBar::hit(int x) {
  const int w = length();
  if (w <= themeDim(21)) return x < w / 2 ? hrDecrease : hrIncrease;
  cPicture* cap = myLooks.dft.image(seStartCap);
  if (cap && (myVertical ? cap->height() : cap->width()) > x) return hrNone;
  const struct {
    int len;
    int region;
  } fromEnd[] = {
      {pictLength(seIncArrow), hrIncrease}, {kFiller, hrIncrease}, {pictLength(seArrowSeparator), hrNone},
      {kFiller, hrDecrease},                {pictLength(seDecArrow), hrDecrease},
  };
  int r = 0;
  for (const auto& piece : fromEnd) {
    r += piece.len;
    if (piece.len > 0 && w - r <= x) return piece.region;
  }
  const sThumb th = thumb();
  if (th.offset > x) return hrPageBack;
  if (th.offset + th.length > x) return hrThumb;
  return hrPageForward;
}

bool cScrollBar::moveTo(unsigned long long p, bool notify) {
  p = std::min(p, myMax);
  if (p == myPos) return false;
  myPos = p;
  if (notify) notifyAction(makeAction(p));
  repaint(nullptr);
  return true;
}

void cScrollBar::setMax(unsigned long long m) {
  if (m == myMax) return;
  myMax = m;
  if (myPos > m) {
    myPos = m;
    notifyAction(makeAction(m));
  }
  repaint(nullptr);
}

void cScrollBar::setVisQuantum(unsigned int q) {
  if (!q || q == myVisQuantum) return;
  myVisQuantum = q;
  repaint(nullptr);
}

void cScrollBar::setValQuantum(unsigned int q) {
  if (q) myValQuantum = q;
}

void cScrollBar::setPageQuantum(unsigned int q) {
  if (q) myPageQuantum = q;
}

namespace {

unsigned long long stepBack(unsigned long long p, unsigned int q) { return p > q ? p - q : 0; }
unsigned long long stepOn(unsigned long long p, unsigned int q, unsigned long long max) {
  return max - p > q ? p + q : max;
}

}  // namespace

// The steps leave the repaint to their callers, so a caller that steps
// several times paints once.
void cScrollBar::valUp() {
  const unsigned long long p = stepBack(myPos, myValQuantum);
  if (p != myPos) notifyAction(makeAction(myPos = p));
}

void cScrollBar::valDown() {
  const unsigned long long p = myPos >= myMax ? myMax : stepOn(myPos, myValQuantum, myMax);
  if (p != myPos) notifyAction(makeAction(myPos = p));
}

void cScrollBar::pageUp() {
  const unsigned long long p = stepBack(myPos, myPageQuantum);
  if (p != myPos) notifyAction(makeAction(myPos = p));
}

void cScrollBar::pageDown() {
  const unsigned long long p = myPos >= myMax ? myMax : stepOn(myPos, myPageQuantum, myMax);
  if (p != myPos) notifyAction(makeAction(myPos = p));
}

bool cScrollBar::setStates(unsigned int track, unsigned int thumb, unsigned int dec, unsigned int inc) {
  const bool changed = track != myTrackState || thumb != myThumbState || dec != myDecState || inc != myIncState;
  myTrackState = track;
  myThumbState = thumb;
  myDecState = dec;
  myIncState = inc;
  return changed;
}

void cScrollBar::hoverRegion(int region) {
  switch (region) {
    case hrPageBack:
    case hrPageForward: setStates(stHover, stNormal, stNormal, stNormal); break;
    case hrThumb: setStates(stNormal, stHover, stNormal, stNormal); break;
    case hrDecrease: setStates(stNormal, stNormal, stHover, stNormal); break;
    case hrIncrease: setStates(stNormal, stNormal, stNormal, stHover); break;
    default: setStates(stNormal, stNormal, stNormal, stNormal);
  }
}

void cScrollBar::onMouseButton(int x, int y, int button, bool down) {
  if (button != mbLeft) return;
  const int a = along(x, y);
  if (down) {
    capturePointer(false);
    switch (hit(a)) {
      case hrPageBack:
        setStates(stPressed, stNormal, stNormal, stNormal);
        myPageBackPending = true;
        break;
      case hrPageForward:
        setStates(stPressed, stNormal, stNormal, stNormal);
        myPageForwardPending = true;
        break;
      case hrThumb:
        setStates(stNormal, stPressed, stNormal, stNormal);
        myDragging = true;
        myDragStart = a;
        myDragStartPos = myPos;
        break;
      case hrDecrease:
        setStates(stNormal, stNormal, stPressed, stNormal);
        myDecPending = true;
        break;
      case hrIncrease:
        setStates(stNormal, stNormal, stNormal, stPressed);
        myIncPending = true;
        break;
      default:
        if (!setStates(stNormal, stNormal, stNormal, stNormal)) return;
    }
    repaint(nullptr);
    return;
  }
  releasePointer();
  myDragging = false;
  const int across_ = across(x, y);
  bool paint = true;
  if (across_ >= 0 && across_ <= themeDim(19)) {
    const int region = hit(a);
    if (region == hrPageBack && myPageBackPending) pageUp();
    if (region == hrPageForward && myPageForwardPending) pageDown();
    if (region == hrDecrease && myDecPending) valUp();
    if (region == hrIncrease && myIncPending) valDown();
    if (region == hrNone && allNormal()) paint = false;
    hoverRegion(region);
  } else {
    setStates(stNormal, stNormal, stNormal, stNormal);
  }
  myDecPending = myIncPending = myPageBackPending = myPageForwardPending = false;
  if (paint) repaint(nullptr);
}

void cScrollBar::onMouseMoving(int x, int y) {
  cChildElement::onMouseMoving(x, y);
  const int a = along(x, y);
  if (myDragging) {
    const int d = a - myDragStart;
    const long long scaled = static_cast<long long>(length() - kDragTrackCut) * myVisQuantum;
    const int t = thumbLength(scaled);
    double f = myMax ? thumbFactor(scaled, t) : 1.0;
    // A track with no room left moves the position one unit per pixel.
    if (f <= 0) f = 1.0;
    // Clamped before the conversion: a thumb dragged before the track's
    // start gives a negative value, which has no unsigned position.
    const double v = static_cast<double>(d) * myVisQuantum / f + static_cast<double>(myDragStartPos);
    unsigned long long p;
    if (!(v > 0))
      p = 0;
    else if (v >= static_cast<double>(myMax))
      p = myMax;
    else
      p = static_cast<unsigned long long>(v);
    moveTo(p, true);
    return;
  }
  const int region = hit(a);
  unsigned int* governing = region == hrPageBack || region == hrPageForward ? &myTrackState
                            : region == hrThumb                             ? &myThumbState
                            : region == hrDecrease                          ? &myDecState
                            : region == hrIncrease                          ? &myIncState
                                                                            : nullptr;
  if (!governing) {
    if (setStates(stNormal, stNormal, stNormal, stNormal)) repaint(nullptr);
    return;
  }
  if (*governing != stNormal) return;
  hoverRegion(region);
  repaint(nullptr);
}

void cScrollBar::onMouseLeft() {
  cChildElement::onMouseLeft();
  if (myDragging || myDecPending || myIncPending || myPageBackPending || myPageForwardPending) return;
  setStates(stNormal, stNormal, stNormal, stNormal);
  repaint(nullptr);
}

void cScrollBar::onKey(int key, bool, bool, bool) {
  switch (key) {
    case kcHome: moveTo(0, true); return;
    case kcEnd: moveTo(myMax, true); return;
    case kcLeft:
    case kcUp: valUp(); break;
    case kcRight:
    case kcDown: valDown(); break;
    case kcPageUp: pageUp(); break;
    case kcPageDown: pageDown(); break;
    default: return;
  }
  repaint(nullptr);
}
