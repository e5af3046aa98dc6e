#include "ciom/child.h"

#include <cstring>

#include "base/utils.h"
#include "ciom/ciomlang.h"
#include "ciom/theme.h"
#include "ciom/windowmaker.h"

cFasterTreeList<cChildElement*, int> cChildElement::mValidChilds;
unsigned int (*cChildElement::clockMs)() = ticks_ms;

namespace {

// A negative anchor value counts back from the reference: -1 is the
// reference itself.
int resolveAnchor(int v, int reference) { return v < 0 ? reference + v + 1 : v; }

// The maximum wins over the minimum here, unlike attach's limits.
int limitSize(int v, int minimum, int maximum) {
  if (minimum != -1 && v < minimum) v = minimum;
  if (maximum != -1 && v > maximum) v = maximum;
  return v;
}

bool sameRect(const sRect& a, const sRect& b) {
  return a.x == b.x && a.y == b.y && a.width == b.width && a.height == b.height;
}

}  // namespace

bool cChildElement::valid(cChildElement* e) { return e && mValidChilds.find(e) != nullptr; }

cChildElement::cChildElement() { mValidChilds.insert(this); }

cChildElement::~cChildElement() {
  // Leaving the tree clears every focus, capture and hover pointer that
  // still names this element, so a parent that outlives it never follows one.
  if (myParent) myParent->cChildElement::dettach(this);
  for (cChildElement* c = getFirstChild(); c; c = getNextChild(c)) {
    c->myParent = nullptr;
    c->myAttached = false;
  }
  delete myShownHint;
  {
    // A job may be appending right now; the dropped actions release their
    // waiting senders as not done.
    cSafeCriticalSectionAccess hold(&gActionSync);
    myNotifyQueue.destroy();
    myPostQueue.destroy();
  }
  mValidChilds.dettach(this);
  if (myTarget) myTarget->_rt_destroy();
}

void cChildElement::onInitData() {
  myAttached = false;
  myTabStop = wantTabStop();
  myArrowTabStop = wantTabStop();
  myCyclicArrowTabStop = wantCyclicArrowTabStop();
  myFullRepaint = wantFullRepaint();
  myFocused = false;
  myEnabled = true;
  myFocusedChild = nullptr;
  myDoubleBuffer = wantDoubleBuffer();
  myAcceptsFocus = wantAcceptFoucs();
  myTransparent = false;
  myCapturingChild = nullptr;
  myPointer = defaultPointer();
  myMinW = myMinH = myMaxW = myMaxH = -1;
  myLastPressTime = 0;
  myBackground = cCITheme::theme()->getColor(static_cast<cCITheme::eCIThemeColor>(14));
  myCapturesForItself = false;
  myBorderWidth = wantBorderWidth();
  myNotifyDoubleClick = false;
}

cChildElement* cChildElement::root() {
  cChildElement* e = this;
  while (e->myParent) e = e->myParent;
  return e;
}

cChildElement* cChildElement::windowed() {
  cChildElement* e = this;
  while (e && !e->myTarget) e = e->myParent;
  return e;
}

cChildElement* cChildElement::getFirstChild() {
  auto* item = myChildren.root ? myChildren.leftmost(myChildren.root) : nullptr;
  myWalked = item;
  return item ? item->key : nullptr;
}

cChildElement* cChildElement::getNextChild(cChildElement* child) {
  auto* at = myWalked && myWalked->key == child ? myWalked : myChildren.find_item(child);
  auto* item = myChildren.next(at);
  myWalked = item;
  return item ? item->key : nullptr;
}

bool cChildElement::isDirectChild(cChildElement* e) { return e && myChildren.find(e) != nullptr; }

bool cChildElement::isChild(cChildElement* e) {
  for (cChildElement* p = e ? e->myParent : nullptr; p; p = p->myParent)
    if (p == this) return true;
  return false;
}

void cChildElement::setWinTarget(cWindowRequestTarget* target, int x, int y, int w, int h) {
  myTarget = target;
  myRect = {x, y, w, h};
}

bool cChildElement::attach(cChildElement* child, int x, int y, int w, int h, eControlPartType part) {
  if (!child || child == this) return false;
  if (isDirectChild(child)) return child->move(x, y, w, h);
  // An element belongs to one tree, and never below itself.
  if (child->myParent || child->isChild(this)) return false;

  auto* last = myOrdinals.root ? myOrdinals.rightmost(myOrdinals.root) : nullptr;
  int ordinal = last ? last->key + 1 : 0;
  myWalked = nullptr;
  *myChildren.insert(child) = ordinal;
  *myOrdinals.insert(ordinal) = child;

  child->myParent = this;
  child->myRect = {x, y, w < 0 ? 0 : w, h < 0 ? 0 : h};
  if (const char* section = child->wantLangResource())
    child->myLangData = child->requestNamedLangResource(section);
  child->onInitData();
  child->onConstruct();
  child->myFixedX = part == cptFixedXY || part == cptFixedX ? this : nullptr;
  child->myFixedY = part == cptFixedXY || part == cptFixedY ? this : nullptr;

  sRect& r = child->myRect;
  if (child->myMaxW != -1 && r.width > child->myMaxW) r.width = child->myMaxW;
  if (child->myMaxH != -1 && r.height > child->myMaxH) r.height = child->myMaxH;
  if (child->myMinW != -1 && r.width < child->myMinW) r.width = child->myMinW;
  if (child->myMinH != -1 && r.height < child->myMinH) r.height = child->myMinH;

  child->myAttached = true;
  if (child->visible()) {
    sArea whole{0, 0, r.width, r.height};
    child->repaintReq(&whole);
  }
  return true;
}

bool cChildElement::dettach(cChildElement* child) {
  int* ordinal = child ? myChildren.find(child) : nullptr;
  if (!ordinal) return true;
  myAnchors.dettach(child);
  myOrdinals.dettach(*ordinal);
  myWalked = nullptr;
  myChildren.dettach(child);
  processDettach(child);
  // A detached element asks nothing of its old parent any more.
  child->myParent = nullptr;
  child->myFixedX = child->myFixedY = nullptr;
  child->myAttached = false;
  return true;
}

bool cChildElement::childRect(sRect* r) {
  if (!r) return false;
  *r = myRect;
  return true;
}

bool cChildElement::childRect(cChildElement* c, sRect* r) {
  if (!r || !isChild(c)) return false;
  *r = c->myRect;
  for (cChildElement* p = c->myParent; p != this; p = p->myParent) {
    r->x += p->myRect.x;
    r->y += p->myRect.y;
  }
  return true;
}

bool cChildElement::anchor(cChildElement* child, int x, int y, int w, int h) {
  if (!child) return false;
  sSize ref;
  virtualSize(&ref);
  bool attached = isDirectChild(child);
  if (attached && child->fixedX()) ref.cx = width();
  if (attached && child->fixedY()) ref.cy = height();
  if (!attached && !attach(child, resolveAnchor(x, ref.cx), resolveAnchor(y, ref.cy),
                           resolveAnchor(w, ref.cx), resolveAnchor(h, ref.cy), cptNormal))
    return false;
  *myAnchors.insert(child) = {x, y, w, h};

  sRect now{resolveAnchor(x, ref.cx), resolveAnchor(y, ref.cy),
            limitSize(resolveAnchor(w, ref.cx), child->myMinW, child->myMaxW),
            limitSize(resolveAnchor(h, ref.cy), child->myMinH, child->myMaxH)};
  if (sameRect(now, child->myRect)) return true;
  sRect before = child->myRect;
  child->processSizeChanges(now.width, now.height, false);
  child->myRect = now;
  repaintMoved(before, now);
  child->onSizeChanged();
  return true;
}

void cChildElement::repaintMoved(const sRect& before, const sRect& after) {
  if (before.x != after.x || before.y != after.y) {
    repaint(const_cast<sRect*>(&before));
    repaint(const_cast<sRect*>(&after));
    return;
  }
  sRect strip;
  if (after.width < before.width)
    strip = {after.x + after.width, after.y, before.width - after.width, before.height};
  else if (after.width > before.width)
    strip = {after.x + before.width, after.y, after.width - before.width, before.height};
  if (after.width != before.width) repaint(&strip);
  if (after.height < before.height)
    strip = {after.x, after.y + after.height, after.width, before.height - after.height};
  else if (after.height > before.height)
    strip = {after.x, after.y + before.height, after.width, after.height - before.height};
  if (after.height != before.height) repaint(&strip);
}

void cChildElement::processSizeChanges(int w, int h, bool force) {
  if (!force && w == myRect.width && h == myRect.height) return;
  myRect.width = w;
  myRect.height = h;

  sSize ref{w, h};
  if (myParent) {
    virtualSize(&ref);
  } else {
    sPoint at;
    if (processPosQuery(at)) {
      myRect.x = at.x;
      myRect.y = at.y;
    }
  }
  int baseX = limitSize(ref.cx, myMinW, myMaxW) + 1;
  int baseY = limitSize(ref.cy, myMinH, myMaxH) + 1;

  for (auto* item = myAnchors.root ? myAnchors.leftmost(myAnchors.root) : nullptr; item;
       item = myAnchors.next(item)) {
    cChildElement* child = item->key;
    const sRect& a = item->value;
    int bx = child->fixedX() ? myRect.width + 1 : baseX;
    int by = child->fixedY() ? myRect.height + 1 : baseY;
    sRect now{a.x + (a.x < 0 ? bx : 0), a.y + (a.y < 0 ? by : 0),
              limitSize(a.width + (a.width < 0 ? bx : 0), child->myMinW, child->myMaxW),
              limitSize(a.height + (a.height < 0 ? by : 0), child->myMinH, child->myMaxH)};
    if (sameRect(now, child->myRect)) continue;
    sRect before = child->myRect;
    child->processSizeChanges(now.width, now.height, false);
    if (child->myFullRepaint) {
      child->myRect = before;
      child->repaint(nullptr);
      child->myRect = now;
      child->repaint(nullptr);
    } else {
      child->myRect = now;
      repaintMoved(before, now);
    }
    child->onSizeChanged();
  }
  onSizeChanged();
}

bool cChildElement::move(int x, int y, int w, int h) {
  if (!myParent) return myTarget && myTarget->_rt_changepos(x, y, w, h);
  sRect before = myRect;
  if (sameRect(before, {x, y, w, h})) return true;
  myRect.x = x;
  myRect.y = y;
  processSizeChanges(w, h, false);
  // The place the element left shows the parent again.
  if (myParent) myParent->repaintMoved(before, myRect);
  return true;
}

bool cChildElement::setMinSize(int w, int h) {
  myMinW = w;
  myMinH = h;
  return myParent || !myTarget || myTarget->_rt_setminsize(w, h);
}

bool cChildElement::setMaxSize(int w, int h) {
  myMaxW = w;
  myMaxH = h;
  return myParent || !myTarget || myTarget->_rt_setmaxsize(w, h);
}

bool cChildElement::virtualSize(sSize* s) {
  if (!s) return false;
  int w = myRect.width - 2 * myBorderWidth, h = myRect.height - 2 * myBorderWidth;
  *s = {w < 0 ? 0 : w, h < 0 ? 0 : h};
  return true;
}

bool cChildElement::virtualOffset(sPoint* p) {
  if (!p) return false;
  *p = {0, 0};
  return true;
}

bool cChildElement::clientRect(sRect* r) {
  if (!r) return false;
  *r = {0, 0, myRect.width, myRect.height};
  return true;
}

bool cChildElement::processPosQuery(sPoint& p) {
  if (myParent) {
    sPoint off;
    myParent->virtualOffset(&off);
    p.x += myRect.x + (fixedX() ? 0 : off.x);
    p.y += myRect.y + (fixedY() ? 0 : off.y);
    return myParent->processPosQuery(p);
  }
  int x, y, w, h;
  if (!myTarget || !myTarget->_rt_winpossize(x, y, w, h)) return false;
  p.x += x;
  p.y += y;
  return true;
}

bool cChildElement::absPos(sPoint& p) {
  p = {0, 0};
  return processPosQuery(p);
}

bool cChildElement::desktopSize(sSize& s) {
  cChildElement* w = windowed();
  return w && w->myTarget->_rt_desktopsize(s.cx, s.cy);
}

bool cChildElement::maxWinSize(sSize& s) {
  cChildElement* w = windowed();
  return w && w->myTarget->_rt_maxwinsize(s.cx, s.cy);
}

bool cChildElement::workArea(sRect& r) {
  cChildElement* w = windowed();
  return w && w->myTarget->_rt_workarea(r.x, r.y, r.width, r.height);
}

int cChildElement::screenDPI() {
  cChildElement* w = windowed();
  return w ? w->myTarget->_rt_screen_dpi() : 96;
}

bool cChildElement::processConstruct() {
  if (const char* section = wantLangResource()) myLangData = requestNamedLangResource(section);
  // A root gets the initialisation that attach gives a child: a scrollable
  // root attaches its bars there, and every root takes its final class's
  // wishes (double buffer, border width) from it.
  onInitData();
  onConstruct();
  myAttached = true;
  return true;
}

bool cChildElement::processClose() {
  if (!onClose()) return false;
  for (cChildElement* c = getFirstChild(); c; c = getNextChild(c))
    if (!c->processClose()) return false;
  return true;
}

void cChildElement::processEnableChange(bool on) {
  onEnableChanged(on);
  for (cChildElement* c = getFirstChild(); c; c = getNextChild(c))
    if (c->myEnabled) c->processEnableChange(on);
}

bool cChildElement::requestOSWinFocus() {
  cChildElement* r = root();
  return r->myTarget && r->myTarget->_rt_focus();
}

bool cChildElement::onMenuActivate() {
  for (cChildElement* c = getFirstChild(); c; c = getNextChild(c))
    if (c->onMenuActivate()) return true;
  return false;
}

cFontObject* cChildElement::createFont(int w, int h, const char* face, bool bold, bool underline,
                                       bool italic) {
  if (myParent) return myParent->createFont(w, h, face, bold, underline, italic);
  return myTarget ? myTarget->_rt_createfont(w, h, face, bold, underline, italic) : nullptr;
}

bool cChildElement::changePointerReq(eMousePointerTypes type) {
  cChildElement* r = root();
  return r->myTarget && r->myTarget->_rt_setpointer(type);
}

void cChildElement::text(char* buf, long long size) {
  if (!buf || size < 1) return;
  std::memset(buf, 0, static_cast<size_t>(size));
  if (!myText.ptr) return;
  long long n = static_cast<long long>(std::strlen(myText.ptr));
  std::memcpy(buf, myText.ptr, static_cast<size_t>(n < size - 1 ? n : size - 1));
}

void cChildElement::setText(const char* text, long long len, bool repaint) {
  if (!text)
    myText.set(nullptr);
  else if (len < 0)
    myText.set(text);
  else
    myText.set(text, len);
  if (repaint) this->repaint(nullptr);
}

void cChildElement::wipeText() {
  if (myText.ptr) std::memset(myText.ptr, 0, std::strlen(myText.ptr));
  myText.set(nullptr);
}

void cChildElement::setHint(const char* text) {
  myHint.set(text);
  if (myShownHint) notifyAction(new cChildAction(acRemoveHint));
}

void cChildElement::onMouseLeft() {
  delete myShownHint;
  myShownHint = nullptr;
}

void cChildElement::onMouseDoubleClick(int x, int y) {
  if (myNotifyDoubleClick) postAction(new cDoubleClickAction(x, y));
}

void cChildElement::onSetFocusEvent(eEventOrigin, bool f1, bool f2) { onSetFocus(f1, f2); }

bool cChildElement::setCaption(const char* text, long long len) {
  if (myParent || !myTarget) return false;
  _guardchar<char> copy;
  if (len < 0)
    copy.set(text);
  else
    copy.set(text, len);
  return myTarget->_rt_setcaption(copy.ptr);
}

bool cChildElement::sizeOf(const char* text, sSize& size, cFontObject* font) {
  cChildElement* r = root();
  return r->myTarget && r->myTarget->_rt_textbox(font, text, size);
}

bool cChildElement::waitPainting(const std::function<bool()>& done) {
  cChildElement* r = root();
  return r->myTarget ? r->myTarget->_rt_wait(done) : waitWithoutWindow(done);
}

cCiomLangData* cChildElement::requestNamedLangResource(const char* name) {
  cChildElement* r = root();
  return r->myTarget ? r->myTarget->_rt_getnamedlangsection(name) : nullptr;
}

const char* cChildElement::string(int i) {
  for (cChildElement* e = this; e; e = e->myParent) {
    if (e->myLangData) return e->myLangData->string(i);
    if (e->wantLangResource()) return nullptr;
  }
  return nullptr;
}

const char* cChildElement::string(cChildElement* from, int i) {
  if (myLangData) return myLangData->string(i);
  if (const char* name = wantLangResource()) {
    myLangData = from ? from->requestNamedLangResource(name) : nullptr;
    return myLangData ? myLangData->string(i) : nullptr;
  }
  return from ? from->string(i) : nullptr;
}

bool cChildElement::clipboardCopyText(const char* text, long long len) {
  cChildElement* w = windowed();
  if (!w) return false;
  // A null text still copies its terminator, which needs a byte to read.
  if (!text) text = "";
  if (len == -1) len = static_cast<long long>(std::strlen(text)) + 1;
  return w->myTarget->_rt_copy_text(text, len);
}

bool cChildElement::clipboardCopy(const void* data, long long len) {
  cChildElement* w = windowed();
  return w && w->myTarget->_rt_copy_raw(data, len);
}

bool cChildElement::clipboardRequestText(_typebuf<char>& out) {
  cChildElement* w = windowed();
  _typebuf<unsigned char> bytes;
  if (!w || !w->myTarget->_rt_request_copied_text(bytes)) return false;
  out.set(bytes.count + 1);
  if (bytes.count) std::memcpy(out.ptr, bytes.ptr, static_cast<size_t>(bytes.count));
  out.ptr[bytes.count] = 0;
  return true;
}

bool cChildElement::clipboardRequestText(_guardchar<char>& out) {
  _typebuf<char> bytes;
  if (!clipboardRequestText(bytes)) return false;
  out.set(bytes.ptr, bytes.count - 1);
  return true;
}

bool cChildElement::clipboardRequest(_typebuf<unsigned char>& out) {
  cChildElement* w = windowed();
  return w && w->myTarget->_rt_request_copied_raw(out);
}

bool cChildElement::clipboardTest(bool any) {
  cChildElement* w = windowed();
  return w && w->myTarget->_rt_request_has_copied(any);
}
