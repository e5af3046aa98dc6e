#include "cihlpdoc/sidocviewer.h"

#include <algorithm>
#include <new>

#include "base/conproc.h"
#include "ciom/themeuse.h"

namespace {

void fillBackground(cCanvas* canvas, int x, int y, int w, int h, unsigned int colour) {
  if (w <= 0 || h <= 0) return;
  sRect r{x, y, w, h};
  canvas->drawRect(&r, colour, colour);
}

}  // namespace

cSiDocViewer::~cSiDocViewer() {
  resetActive();
  dropBands();
}

bool cSiDocViewer::refSiDoc(cSiDocBox* root, unsigned int background) {
  myBackground = background;
  if (root == myRoot) return false;
  myRoot = root;
  myPressed = nullptr;
  rebuild();
  return true;
}

void cSiDocViewer::rebuild() {
  dropBands();
  repaint(nullptr);
}

void cSiDocViewer::dropBands() {
  myBands.clear();
  myBandsWidth = 0;
  myDocHeight = 0;
}

void cSiDocViewer::onActiveZone(char* ref) {
  // Whatever the document says, the target reaches the opener as a single
  // argument: a document must not be able to run a command line.
  if (ref && *ref) run_xdgopen(ref);
}

void cSiDocViewer::resetActive() { myAreas.clear(); }

bool cSiDocViewer::setActive(char* ref, int x, int y, int w, int h) {
  if (!ref || w <= 0 || h <= 0) return true;
  const long long bottom = static_cast<long long>(y) + h - 1, right = static_cast<long long>(x) + w - 1;
  if (bottom > INT32_MAX || right > INT32_MAX) return true;
  try {
    myAreas[ref].push_back({x, y, static_cast<int>(right), static_cast<int>(bottom)});
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

char* cSiDocViewer::getRef(int x, int y) {
  const long long dx = static_cast<long long>(x) + shiftX(), dy = static_cast<long long>(y) + shiftY();
  for (const auto& [ref, areas] : myAreas)
    for (const sArea& a : areas)
      if (a.left <= dx && dx <= a.right && a.top <= dy && dy <= a.bottom) return ref;
  return nullptr;
}

int cSiDocViewer::barRoom() { return themeDim(19) + myBorderWidth; }

bool cSiDocViewer::place(cCanvas* canvas, int right, sSize& size, tSiDocPlan& plan) {
  plan.clear();
  resetActive();
  sSiDocDrawProps props;
  props.font = stdFont();
  props.bgColor = myBackground;
  props.textColor = 0;
  props.right = right;
  props.active = this;
  ++myLayouts;
  return myRoot->place(canvas, props, size, plan) && size.cx > 0 && size.cy > 0;
}

bool cSiDocViewer::layOut(cCanvas* canvas) {
  dropBands();
  resetActive();
  const int w = width();
  if (!myRoot || w <= 0) return false;
  // Lines end clear of the vertical bar whenever the document needs it: laid
  // out beside the bar first (a long document, the costly case, is done at
  // once), and again over the whole width only when it then fits.
  tSiDocPlan plan;
  sSize size;
  myWithBar = barRoom() < w;
  if (!place(canvas, myWithBar ? w - barRoom() : w, size, plan)) myWithBar = false;
  if (!myWithBar || size.cy <= height()) {
    myWithBar = false;
    if (!place(canvas, w, size, plan)) {
      resetActive();
      return false;
    }
  }
  // Each band draws only the steps that reach into it.
  for (int top = 0; top < size.cy; top += std::min(kBandHeight, size.cy - top)) {
    const int h = std::min(kBandHeight, size.cy - top);
    std::unique_ptr<cCanvas> band(canvas->offscreen(w, h, 0, 0));
    if (!band) {
      dropBands();
      resetActive();
      return false;
    }
    fillBackground(band.get(), 0, 0, w, h, myBackground);
    for (const sSiDocPlaced& step : plan) {
      const long long y = step.props.y;
      if (y + step.size.cy <= top || y >= static_cast<long long>(top) + h) continue;
      sSiDocDrawProps at = step.props;
      at.y = static_cast<int>(y - top);
      if (at.bottom >= 0) at.bottom -= top;
      if (!step.box) {
        fillBackground(band.get(), at.x, at.y, step.size.cx, step.size.cy, step.colour);
        continue;
      }
      sSize drawn;
      step.box->draw(band.get(), at, drawn);
    }
    myBands.push_back(std::move(band));
  }
  myBandsWidth = w;
  myDocHeight = size.cy;
  return true;
}

void cSiDocViewer::onPaintArea(cCanvas* canvas) {
  if (!canvas) return;
  if (myBands.empty() && myRoot && layOut(canvas)) {
    fillPaint(canvas);
    setMinVisualHeight(myDocHeight);
    setQuantumSize(10, 15);
    return;
  }
  fillPaint(canvas);
}

void cSiDocViewer::fillPaint(cCanvas* canvas) {
  if (!canvas) return;
  const int cw = canvas->width(), ch = canvas->height();
  // Nothing laid out (no document, or one that lays out to nothing) still
  // owns its area: the background covers whatever was there.
  if (myBands.empty()) {
    fillBackground(canvas, 0, 0, cw, ch, myBackground);
    return;
  }
  const long long shift = shiftY();
  long long top = 0;
  for (const auto& band : myBands) {
    const long long h = band->height();
    if (top + h > shift && top < shift + ch) {
      const long long from = std::max<long long>(shift - top, 0);
      const long long to = std::max<long long>(top - shift, 0);
      // Only the rows in view: the surface need not handle a band's full height.
      const long long rows = std::min<long long>(h - from, ch - to);
      canvas->draw(0, static_cast<int>(to), band.get(), 0, static_cast<int>(from), myBandsWidth,
                   static_cast<int>(rows));
    }
    top += h;
  }
  const long long end = std::max<long long>(myDocHeight - shift, 0);
  if (end < ch) fillBackground(canvas, 0, static_cast<int>(end), cw, ch - static_cast<int>(end), myBackground);
  if (cw > myBandsWidth)
    fillBackground(canvas, myBandsWidth, 0, cw - myBandsWidth, static_cast<int>(std::min<long long>(end, ch)),
                   myBackground);
}

void cSiDocViewer::onSizeChanged() {
  cScrollableElement::onSizeChanged();
  // A document that comes to fit, or no longer does, wins or loses the room
  // of the bar.
  const bool wantsBar = myDocHeight > height() && barRoom() < width();
  if (!myBands.empty() && (myBandsWidth != width() || wantsBar != myWithBar)) rebuild();
}

void cSiDocViewer::onMouseButton(int x, int y, int button, bool down) {
  if (button != mbLeft) return;
  if (down) {
    capturePointer(false);
    myPressed = getRef(x, y);
    return;
  }
  releasePointer();
  char* pressed = myPressed;
  myPressed = nullptr;
  if (pressed && getRef(x, y) == pressed) onActiveZone(pressed);
}

void cSiDocViewer::onMouseMoving(int x, int y) {
  const eMousePointerTypes type = getRef(x, y) ? mptHand : mptArrow;
  setPointer(type);
  changePointerReq(type);
}

void cSiDocViewer::onKey(int key, bool, bool, bool) {
  cVScroll& bar = vbar();
  // A hidden bar may keep the range of an earlier, taller document.
  if (!bar.visible_child()) return;
  switch (key) {
    case kcHome:
      if (bar.pos() != 0) bar.setPos(0, true);
      break;
    case kcLeft:
    case kcUp:
      bar.valUp();
      break;
    case kcRight:
    case kcDown:
      bar.valDown();
      break;
    case kcPageUp:
      bar.pageUp();
      break;
    case kcPageDown:
      bar.pageDown();
      break;
    case kcEnd:
      if (bar.pos() != bar.maxval()) bar.setPos(bar.maxval(), true);
      break;
    default:
      return;
  }
  repaint(nullptr);
}
