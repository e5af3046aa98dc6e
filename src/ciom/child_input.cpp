// Pointer, wheel and key routing, pointer capture, and the focus path.
#include <algorithm>

#include "ciom/child.h"
#include "ciom/windowmaker.h"

namespace {

unsigned int distance(int a, int b) {
  return a > b ? static_cast<unsigned>(a - b) : static_cast<unsigned>(b - a);
}

}  // namespace

bool cChildElement::visible() {
  for (cChildElement* e = this; e; e = e->myParent)
    if (!e->myVisible) return false;
  return true;
}

bool cChildElement::enabled() {
  for (cChildElement* e = this; e; e = e->myParent)
    if (!e->myEnabled) return false;
  return true;
}

sRect cChildElement::placeOf(cChildElement* child, const sPoint& offset) {
  sRect r = child->myRect;
  if (!child->fixedX()) r.x += offset.x;
  if (!child->fixedY()) r.y += offset.y;
  return r;
}

bool cChildElement::reachable(cChildElement* child, int x, int y) {
  sRect client;
  clientRect(&client);
  return (child->fixedX() || (x >= client.x && x <= client.x + client.width)) &&
         (child->fixedY() || (y >= client.y && y <= client.y + client.height));
}

void cChildElement::reachableChildren(std::vector<cChildElement*>& out, std::initializer_list<cChildElement*> also) {
  out.clear();
  if (childrenInView(out)) {
    for (cChildElement* c : also)
      if (c && std::find(out.begin(), out.end(), c) == out.end()) out.push_back(c);
    return;
  }
  out.clear();
  for (cChildElement* c = getFirstChild(); c; c = getNextChild(c)) out.push_back(c);
}

cChildElement* cChildElement::childAt(int& x, int& y, bool needEnabled) {
  sPoint off;
  virtualOffset(&off);
  std::vector<cChildElement*> children;
  reachableChildren(children);
  for (cChildElement* c : children) {
    if (!c->visible() || (needEnabled && !c->enabled()) || !reachable(c, x, y)) continue;
    sRect at = placeOf(c, off);
    if (c->inme(x - at.x, y - at.y)) {
      x -= at.x;
      y -= at.y;
      return c;
    }
  }
  return nullptr;
}

cChildElement* cChildElement::pressedAt(int& x, int& y) {
  if (!enabled()) return nullptr;
  cChildElement* e = this;
  for (;;) {
    cChildElement* next = e->myCapturingChild;
    if (next) {
      sPoint off;
      e->virtualOffset(&off);
      const sRect at = e->placeOf(next, off);
      x -= at.x;
      y -= at.y;
    } else if (!e->myCapturesForItself && x >= 0 && x <= e->width() && y >= 0 && y <= e->height()) {
      next = e->childAt(x, y, true);
    }
    if (!next) return e->visible() ? e : nullptr;
    e = next;
  }
}

void cChildElement::processMouseBtn(int x, int y, int button, bool down, bool mod1, bool mod2) {
  if (!enabled()) return;
  if (myCapturingChild) {
    sPoint off;
    virtualOffset(&off);
    sRect at = placeOf(myCapturingChild, off);
    myCapturingChild->processMouseBtn(x - at.x, y - at.y, button, down, mod1, mod2);
  } else {
    int cx = x, cy = y;
    cChildElement* c = !myCapturesForItself && x >= 0 && x <= width() && y >= 0 && y <= height()
                           ? childAt(cx, cy, true)
                           : nullptr;
    if (c) {
      c->processMouseBtn(cx, cy, button, down, mod1, mod2);
    } else if (visible()) {
      if (button == mbRight && !down) notifyAction(new cCtxRequestAction(x, y, mod1, mod2, false));
      onMouseButton(x, y, button, down);
      if (button == mbLeft && down) {
        unsigned int now = clockMs();
        if (now > myLastPressTime && now - myLastPressTime <= kDoubleClickMs &&
            distance(myLastPressX, x) <= kDoubleClickDistance &&
            distance(myLastPressY, y) <= kDoubleClickDistance) {
          onMouseDoubleClick(x, y);
        } else {
          myLastPressTime = now;
          myLastPressX = x;
          myLastPressY = y;
        }
      }
    }
  }
  // A left press also moves the focus to what is under the pointer; the
  // window hands presses to the root only, so the root asks for it.
  if (!myParent && button == mbLeft && down) processFocus(x, y, button, mod1, mod2);
}

void cChildElement::processMouseMove(int x, int y) {
  sPoint off;
  virtualOffset(&off);
  if (myCapturingChild) {
    sRect at = placeOf(myCapturingChild, off);
    myCapturingChild->processMouseMove(x - at.x, y - at.y);
    return;
  }
  int cx = x, cy = y;
  cChildElement* c = !myCapturesForItself && x >= 0 && x <= width() && y >= 0 && y <= height()
                         ? childAt(cx, cy, false)
                         : nullptr;
  if (c) {
    c->processMouseMove(cx, cy);
  } else if (visible()) {
    changePointerReq(myPointer);
    notifyHover(this);
    onMouseMoving(x, y);
  }
}

bool cChildElement::processMouseWheel(int x, int y, bool f1, bool f2, int delta) {
  sPoint off;
  virtualOffset(&off);
  if (myCapturingChild) {
    sRect at = placeOf(myCapturingChild, off);
    return myCapturingChild->processMouseWheel(x - at.x, y - at.y, f1, f2, delta);
  }
  if (!myCapturesForItself && x >= 0 && x <= width() && y >= 0 && y <= height()) {
    std::vector<cChildElement*> children;
    reachableChildren(children);
    for (cChildElement* c : children) {
      if (!c->visible() || !c->enabled() || !reachable(c, x, y)) continue;
      sRect at = placeOf(c, off);
      if (c->inme(x - at.x, y - at.y) && c->processMouseWheel(x - at.x, y - at.y, f1, f2, delta)) return true;
    }
  }
  return visible() && onMouseWheel(x, y, f1, f2, delta);
}

void cChildElement::notifyHover(cChildElement* e) {
  if (myParent) {
    myParent->notifyHover(e);
    return;
  }
  if (myHovered == e) return;
  if (myHovered) myHovered->onMouseLeft();
  myHovered = e;
  if (e) e->onMouseOver();
}

bool cChildElement::pointerCaptureReq(cChildElement* e, bool on) {
  myCapturingChild = nullptr;
  bool ok = myParent ? myParent->pointerCaptureReq(this, on) : myTarget && myTarget->_rt_capturepointer(on);
  if (ok && on) myCapturingChild = e;
  return ok;
}

void cChildElement::capturePointer(bool forChildren) {
  if (forChildren) {
    myCapturesForItself = false;
    pointerCaptureReq(nullptr, true);
  } else {
    myCapturesForItself = pointerCaptureReq(nullptr, true);
  }
}

void cChildElement::releasePointer() {
  myCapturesForItself = false;
  pointerCaptureReq(nullptr, false);
}

bool cChildElement::processKey(int key, bool shift, bool mod2, bool mod3) {
  if (key >= kcLeft && key <= kcDown && !mod2 && !mod3 &&
      processArrowTab(key == kcRight || key == kcDown, false, shift))
    return true;
  // A second walk starts again from the first (or last) stop: that is the wrap.
  if (key == kcTab && !mod2 && (processTab(!shift) || processTab(!shift))) return true;
  if (myFocusedChild) {
    if (!myFocusedChild->enabled() || !myFocusedChild->visible()) return true;
    return myFocusedChild->processKey(key, shift, mod2, mod3);
  }
  if (!myFocused) return false;
  if (!enabled() || !visible()) return true;
  if (key == kcMenu || (key == kcF10 && shift && !mod2 && !mod3))
    notifyAction(new cCtxRequestAction(0, 0, mod2, shift, mod3));
  onKey(key, shift, mod2, mod3);
  return true;
}

bool cChildElement::processChar(unsigned short ch, bool f1, bool f2, bool f3) {
  if (myFocusedChild) {
    if (!myFocusedChild->enabled() || !myFocusedChild->visible()) return true;
    return myFocusedChild->processChar(ch, f1, f2, f3);
  }
  if (!myFocused) return false;
  if (!enabled() || !visible()) return true;
  onChar(ch, f1, f2, f3);
  return true;
}

cFasterTreeList<int, cChildElement*>::cTreeItem* cChildElement::stepOrdinal(
    cFasterTreeList<int, cChildElement*>::cTreeItem* from, bool forward) {
  if (!from) {
    if (!myOrdinals.root) return nullptr;
    return forward ? myOrdinals.leftmost(myOrdinals.root) : myOrdinals.rightmost(myOrdinals.root);
  }
  return forward ? myOrdinals.next(from) : myOrdinals.prev(from);
}

bool cChildElement::processTab(bool forward) {
  cFasterTreeList<int, cChildElement*>::cTreeItem* from = nullptr;
  if (myFocusedChild) {
    if (myFocusedChild->processTab(forward)) return true;
    myFocusedChild->processFocusLost(false, false);
    int* ordinal = myChildren.find(myFocusedChild);
    myFocusedChild = nullptr;
    if (!ordinal) return false;
    from = myOrdinals.find_item(*ordinal);
  } else {
    if (!myFocused && enabled() && visible() && canTabStop()) {
      processFocusDirect(this);
      return true;
    }
    processFocusLost(false, false);
  }
  for (auto* item = stepOrdinal(from, forward); item; item = stepOrdinal(item, forward)) {
    cChildElement* c = item->value;
    if (c->visible() && c->processTab(forward)) {
      myFocusedChild = c;
      return true;
    }
  }
  return false;
}

bool cChildElement::processArrowTab(bool forward, bool f1, bool f2) {
  if (wantCaptureArrows()) return false;
  if (!myFocusedChild) {
    for (auto* item = stepOrdinal(nullptr, forward); item; item = stepOrdinal(item, forward)) {
      cChildElement* c = item->value;
      if (!c->hasFocus() && c->enabled() && c->visible() && c->canArrowTabStop()) {
        c->processFocusDirect(c);
        myFocusedChild = c;
        return true;
      }
    }
    return false;
  }
  cChildElement* old = myFocusedChild;
  if (old->wantCaptureArrows()) return false;
  if (old->myFocusedChild) return old->processArrowTab(forward, f1, f2);
  if (!old->canArrowTabStop() && old->processArrowTab(forward, f1, f2)) return true;

  int* ordinal = myChildren.find(old);
  auto* start = ordinal ? myOrdinals.find_item(*ordinal) : nullptr;
  for (auto* item = start ? stepOrdinal(start, forward) : nullptr; start;) {
    if (!item) {
      if (!myCyclicArrowTabStop) return true;
      item = stepOrdinal(nullptr, forward);
    }
    cChildElement* c = item->value;
    if (c == old) return true;
    if (!c->hasFocus() && c->enabled() && c->visible() && c->canArrowTabStop()) {
      old->processFocusLost(f1, f2);
      c->processFocusDirect(c);
      myFocusedChild = c;
      return true;
    }
    item = stepOrdinal(item, forward);
  }
  old->processFocusLost(f1, f2);
  myFocusedChild = nullptr;
  return false;
}

void cChildElement::processFocus(int x, int y, int button, bool f1, bool f2) {
  bool positioned = button != -1;
  bool outside = x < 0 || x > width() || y < 0 || y > height();
  if (!(positioned && outside)) {
    sPoint off;
    virtualOffset(&off);
    // The press meets what the paint showed; the child holding the focus
    // loses it even when out of view.
    std::vector<cChildElement*> children;
    reachableChildren(children, {myFocusedChild});
    cChildElement* taken = nullptr;
    for (cChildElement* c : children) {
      if (!c->visible() || (positioned && !reachable(c, x, y))) continue;
      sRect at = placeOf(c, off);
      if (!taken && c->myAcceptsFocus && c->inme(x - at.x, y - at.y)) {
        if (!c->enabled()) continue;
        taken = myFocusedChild = c;
        c->processFocus(x - at.x, y - at.y, button, f1, f2);
        continue;
      }
      c->processFocusLost(f1, f2);
    }
    if (taken) {
      if (myFocused) {
        myFocused = false;
        onLooseFocus(f1, f2);
      }
      return;
    }
    if (myFocused) return;
  } else if (myFocused) {
    return;
  }
  if (!visible()) return;
  myFocused = true;
  myFocusedChild = nullptr;
  onSetFocusEvent(button >= 1 ? eoButton : eoPoint, f1, f2);
  notifyAction(new cFocusAction(button > 0 ? eoButton : eoPoint));
}

void cChildElement::processFocusDirect(cChildElement* target) {
  cChildElement* before = myFocusedChild;
  myFocusedChild = nullptr;
  if (target == this) {
    myFocused = true;
    for (cChildElement* c = getFirstChild(); c; c = getNextChild(c)) c->processFocusLost(false, false);
    onSetFocusEvent(eoDirect, false, false);
    notifyAction(new cFocusAction(eoDirect));
    return;
  }
  myFocused = false;
  if (!isChild(target)) return;
  // The focus leaves the child that held it and goes into the one that
  // holds the target; either may be out of view.
  cChildElement* holder = target;
  while (holder->myParent != this) holder = holder->myParent;
  std::vector<cChildElement*> children;
  reachableChildren(children, {before, holder});
  for (cChildElement* c : children) {
    if (!myFocusedChild && (c == target || c->isChild(target))) {
      myFocusedChild = c;
      c->processFocusDirect(target);
    } else {
      c->processFocusLost(false, false);
    }
  }
}

void cChildElement::processFocusLost(bool f1, bool f2) {
  if (myFocusedChild) {
    cChildElement* c = myFocusedChild;
    onLooseFocusChild(c, f1, f2);
    c->processFocusLost(f1, f2);
    myFocusedChild = nullptr;
  } else if (myFocused) {
    onLooseFocus(f1, f2);
  }
  myFocused = false;
}

cChildElement* cChildElement::getFocused() {
  cChildElement* e = this;
  while (e->myFocusedChild) e = e->myFocusedChild;
  return e->myFocused ? e : nullptr;
}

cChildElement* cChildElement::heldFocus() {
  cChildElement* top = root();
  return top->myRememberedFocus ? top->myRememberedFocus : getFocused();
}

void cChildElement::focus() {
  if (myAcceptsFocus)
    focusReq(this, 0, 0);
  else if (myParent)
    myParent->focus();
}

void cChildElement::focusReq(cChildElement* e, int, int) {
  if (e) e->notifyAction(new cChildAction(acFocusRequest));
  requestOSWinFocus();
}

void cChildElement::processOSFocusLost() {
  if (!myRememberedFocus) myRememberedFocus = getFocused();
  processFocusLost(false, false);
}

void cChildElement::processOSFocus() {
  // A child focused before the window first got the focus (a form focusing
  // its field while it is built) keeps it: the user types into that field.
  if (myFocusedChild) return;
  if (myRememberedFocus) {
    cChildElement* remembered = myRememberedFocus;
    myRememberedFocus = nullptr;
    processFocusDirect(remembered);
  } else {
    processFocusDirect(this);
  }
}

bool cChildElement::inSubtree(cChildElement* e, cChildElement* top) {
  return e && (e == top || top->isChild(e));
}

void cChildElement::processDettach(cChildElement* child) {
  if (inSubtree(myFocusedChild, child)) myFocusedChild = nullptr;
  if (inSubtree(myCapturingChild, child)) {
    pointerCaptureReq(myCapturingChild, false);
    myCapturingChild = nullptr;
  }
  if (inSubtree(myHovered, child)) myHovered = nullptr;
  // The focus comes back to the remembered element when the window does;
  // one that left the tree must not be followed.
  if (inSubtree(myRememberedFocus, child)) myRememberedFocus = nullptr;
  if (myParent) myParent->processDettach(child);
}

void cChildElement::enable() {
  if (myEnabled) return;
  myEnabled = true;
  if (myParent && !myParent->enabled()) return;
  processEnableChange(true);
  repaint(nullptr);
}

void cChildElement::disable(bool repaint) {
  if (!myEnabled) return;
  myEnabled = false;
  if (myParent && !myParent->enabled()) return;
  processEnableChange(false);
  if (repaint) this->repaint(nullptr);
}
