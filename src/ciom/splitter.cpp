#include "ciom/splitter.h"

#include <algorithm>
#include <cmath>

#include "ciom/canvas.h"
#include "ciom/themeuse.h"

namespace {

template <class F>
void eachItem(cFasterTreeList<int, cChildElement*>& items, F f) {
  if (!items.root) return;
  for (auto* it = items.leftmost(items.root); it; it = items.next(it)) f(it->key, it->value);
}

}  // namespace

void cSplitterCore::onInitData() {
  cChildElement::onInitData();
  myDrag = -1;
  myFixed = false;
  myMinSplitting = 0;
  myLocked = false;
  myFiller = nullptr;
  myBand = themeColor(42);
  myLine = themeColor(43);
  myTopTrim = myBottomTrim = 0;
  mySplit = 3;
}

void cSplitterCore::place(cChildElement* e, int at, int len, int across) {
  if (myVertical)
    e->move(0, at, across, len);
  else
    e->move(at, 0, len, across);
}

void cSplitterCore::resizeSelf(int len) {
  if (myVertical)
    move(myRect.x, myRect.y, width(), len);
  else
    move(myRect.x, myRect.y, len, height());
  notifyAction(new cResizeRequestAction(len));
}

bool cSplitterCore::attach(int index, cChildElement* element, int size) {
  if (index < 0 || !element) return false;
  if (cChildElement** old = myItems.find(index)) dettach(*old);
  const bool ok = myVertical ? cChildElement::attach(element, 0, 0, 1, size, cptNormal)
                             : cChildElement::attach(element, 0, 0, size, 1, cptNormal);
  *myItems.insert(index) = element;
  const double l = std::max(length(), 100);
  double entry = size;
  if (!myFixed) entry = !myVertical && size > l ? (l - 1) / l : size / l;
  *mySizes.insert(index) = entry;
  rebuild(0);
  notifyAction(new cChildAction(acActivate));
  return ok;
}

bool cSplitterCore::resizeItem(int index, int size) {
  if (index < 0 || size < 0 || !myItems.find(index)) return false;
  double* entry = mySizes.insert(index);
  const double v = myFixed ? size : size / static_cast<double>(std::max(length(), 100));
  if (*entry == v) return true;
  *entry = v;
  rebuild(myFixed ? index : 0);
  return true;
}

int cSplitterCore::itemSize(int index) {
  if (!myItems.find(index)) return 0;
  const double entry = *mySizes.insert(index);
  return static_cast<int>(myFixed ? entry : length() * entry);
}

void cSplitterCore::setScalable(bool on) {
  myFixed = !on;
  rebuild(0);
}

void cSplitterCore::setMinSplittingSize(int size, cChildElement* filler) {
  const bool rebuildNeeded = myFiller || filler;
  myMinSplitting = size;
  myFiller = filler;
  if (rebuildNeeded) rebuild(0);
}

void cSplitterCore::fix(bool locked) {
  myLocked = locked;
  if (locked) {
    releasePointer();
    myDrag = -1;
    setPointer(mptArrow);
  } else {
    setPointer(defaultPointer());
  }
}

void cSplitterCore::rebuild(int from) {
  // Setting its own length lays the splitter out again from within; one
  // nested round is all that can change anything.
  if (myDepth > 1) return;
  ++myDepth;
  const int w = length(), h = thickness(), s = mySplit;
  if (!w) {
    --myDepth;
    return;
  }
  long long l = w;
  if (!myVertical) {
    long long sumMin = 0;
    int maxMinAcross = 0;
    eachItem(myItems, [&](int, cChildElement* e) {
      sumMin += e->minWidth();
      maxMinAcross = std::max(maxMinAcross, e->minHeight());
    });
    if (sumMin || maxMinAcross) {
      setMinSize(static_cast<int>(std::min<long long>(sumMin, 0x7FFFFFFF)), maxMinAcross);
      l = std::max<long long>(w, sumMin);
    }
  }
  long long x = 0;
  int n = 0;
  eachItem(myItems, [&](int index, cChildElement*) {
    if (index >= from) return;
    x += static_cast<long long>(*mySizes.insert(index)) + s;
    ++n;
  });
  if (!myFixed) {
    double total = 0;
    eachItem(myItems, [&](int index, cChildElement*) {
      if (index < from) return;
      total += *mySizes.insert(index);
      ++n;
    });
    if (l > x && l - x - static_cast<long long>(n) * s >= 1 && total != 0) {
      const double k = (l - static_cast<double>(n - 1) * s) / total;
      if (k != 0) {
        eachItem(myItems, [&](int index, cChildElement* e) {
          if (index < from) return;
          double& entry = *mySizes.insert(index);
          int px = static_cast<int>(entry * k);
          if (!myVertical && px < e->minWidth()) {
            px = e->minWidth();
            entry = px / k;
          }
          place(e, static_cast<int>(x), px, h);
          x += px + s;
        });
        repaint(nullptr);
      }
    }
    --myDepth;
    return;
  }
  eachItem(myItems, [&](int index, cChildElement* e) {
    if (index < from) return;
    int px = static_cast<int>(*mySizes.insert(index));
    if (!myVertical) px = std::max(px, e->minWidth());
    place(e, static_cast<int>(x), px, h);
    x += px + s;
  });
  const int m = myMinSplitting;
  const int xi = static_cast<int>(std::min<long long>(x, 0x7FFFFFFF));
  int at = xi;
  if (x != 0 && x != l) {
    if (m <= xi) {
      if (myFiller) place(myFiller, static_cast<int>(l), 0, 0);
      resizeSelf(xi);
    } else if (myFiller) {
      place(myFiller, xi, m - xi, h);
      if (m != l) {
        resizeSelf(m);
        at = m;
      }
    } else {
      resizeSelf(xi);
    }
  }
  if (at < m && myFiller) {
    if (l < m) {
      // The request carries the length taken: asking for the items' length
      // alone would have a following parent squeeze the filler out again.
      resizeSelf(m);
      l = m;
    }
    place(myFiller, at, static_cast<int>(l) - at, h);
  }
  repaint(nullptr);
  --myDepth;
}

void cSplitterCore::onSizeChanged() {
  cChildElement::onSizeChanged();
  rebuild(0);
}

void cSplitterCore::onMouseButton(int x, int y, int button, bool down) {
  if (button != mbLeft || myLocked) return;
  if (!down) {
    releasePointer();
    myDrag = -1;
    return;
  }
  capturePointer(false);
  const int a = myVertical ? y : x, s = mySplit;
  int e = 0;
  bool found = false;
  for (auto* it = myItems.root ? myItems.leftmost(myItems.root) : nullptr; it && !found; it = myItems.next(it)) {
    e += lengthOf(it->value);
    if (e <= a && a <= e + s) {
      found = true;
      auto* next = myItems.next(it);
      if (it->key < 0 || (!next && !myFixed)) return;
      myDrag = 0;
      myDragItem = it->key;
      myDragLeft = e - lengthOf(it->value);
      myDragRight = next ? e + lengthOf(next->value) : e;
    }
    e += s;
  }
}

void cSplitterCore::onMouseMoving(int x, int y) {
  cChildElement::onMouseMoving(x, y);
  if (myDrag < 0 || myLocked) return;
  int a = myVertical ? y : x;
  auto* item = myItems.find_item(myDragItem);
  if (!item) return;
  double& entry = *mySizes.insert(myDragItem);
  bool changed = false;
  if (myFixed) {
    const double v = std::max(a, myDragLeft) - myDragLeft;
    changed = v != entry;
    entry = v;
    if (changed) rebuild(myDragItem);
  } else {
    auto* next = myItems.next(item);
    const int span = myDragRight - myDragLeft;
    if (!next || !span) return;
    a = std::max(a, myDragLeft + minLengthOf(item->value));
    a = std::min(a, myDragRight - minLengthOf(next->value));
    double& after = *mySizes.insert(next->key);
    const double p = entry + after;
    const double v = static_cast<double>(a - myDragLeft) * p / span;
    changed = v != entry;
    entry = v;
    after = p - v;
    if (changed) rebuild(0);
  }
  if (changed) notifyAction(new cChildAction(acActivate));
}

void cSplitterCore::onPaint(cCanvas* c) {
  if (!c) return;
  const int w = length(), h = thickness(), s = mySplit;
  const int top = myVertical ? 0 : myTopTrim, bottom = myVertical ? 0 : myBottomTrim;
  int e = 0;
  eachItem(myItems, [&](int, cChildElement* item) {
    e += lengthOf(item);
    if (e < 0 || e >= w) return;
    sRect band = myVertical ? sRect{0, e, h, s} : sRect{e, 0, s, h};
    c->drawRect(&band, myBand, myBand);
    const int mid = (s - 1) / 2;
    if (top + bottom < h) {
      sRect line = myVertical ? sRect{top, e + mid, h - top - bottom, 1} : sRect{e + mid, top, 1, h - top - bottom};
      c->drawRect(&line, myLine, myLine);
    }
    e += s;
  });
}

void cSplitterChild::setSplitWidth(int w) {
  w = std::max(w, 3);
  if (w == mySplit) return;
  mySplit = w;
  rebuild(0);
}

void cSplitterChild::setLineTrims(int top, int bottom) {
  top = std::max(top, 0);
  bottom = std::max(bottom, 0);
  if (top == myTopTrim && bottom == myBottomTrim) return;
  myTopTrim = top;
  myBottomTrim = bottom;
  repaint(nullptr);
}

void cSplitterChild::setColors(unsigned int line, unsigned int band) {
  if (line == myLine && band == myBand) return;
  myLine = line;
  myBand = band;
  repaint(nullptr);
}
