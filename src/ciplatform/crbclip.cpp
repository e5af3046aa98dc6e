// The drawable region: a list of rectangles in context coordinates whose
// union is where drawing shows. Taking an area out splits the rectangles it
// cuts into the parts around it; adding one merges it with a neighbour of the
// same columns or rows where it can, so the list stays short.
#include <algorithm>
#include <climits>

#include "ciplatform/crbcanvas.h"

bool cCrbCanvas::toRegionArea(const sRect* r, sEdges& a) const {
  if (!r) return false;
  auto cut = [](long long v, int lo, int hi) { return static_cast<int>(std::clamp<long long>(v, lo, hi)); };
  const long long x = static_cast<long long>(myArea.left) + r->x,
                  y = static_cast<long long>(myArea.top) + r->y;
  a.left = cut(x, myBounds.left, myBounds.right);
  a.top = cut(y, myBounds.top, myBounds.bottom);
  a.right = cut(x + r->width, myBounds.left, myBounds.right);
  a.bottom = cut(y + r->height, myBounds.top, myBounds.bottom);
  return a.left < a.right && a.top < a.bottom;
}

bool cCrbCanvas::clip(sRect* r) {
  if (!myContext) return false;
  sEdges a;
  if (!toRegionArea(r, a)) return true;
  const cClippingItem area(a.left, a.top, a.right, a.bottom);
  for (cListItem* it = myRegion.head; it;) {
    auto* item = static_cast<cClippingItem*>(it);
    it = it->next;
    if (item->isIn(area)) {
      myRegion.remove(item);
      continue;
    }
    if (!item->intersects(area)) continue;
    const cClippingItem piece = *item;
    myRegion.remove(item);
    const int l = std::max(piece.left, a.left), rt = std::min(piece.right, a.right);
    if (piece.top < a.top) addArea({l, piece.top, rt, a.top});
    if (piece.bottom > a.bottom) addArea({l, a.bottom, rt, piece.bottom});
    if (piece.left < a.left) addArea({piece.left, piece.top, a.left, piece.bottom});
    if (piece.right > a.right) addArea({a.right, piece.top, piece.right, piece.bottom});
    it = myRegion.head;
  }
  return true;
}

bool cCrbCanvas::unclip(sRect* r) {
  if (!myContext) return false;
  sEdges a;
  if (toRegionArea(r, a)) addArea(a);
  return true;
}

void cCrbCanvas::addArea(sEdges a) {
  cClippingItem* holder = nullptr;
  for (cListItem* it = myRegion.head; it;) {
    auto* item = static_cast<cClippingItem*>(it);
    it = it->next;
    if (item == holder) continue;
    const cClippingItem area(a.left, a.top, a.right, a.bottom);
    if (item->contains(area)) {
      // Covered already; a holder merged earlier is covered too and goes.
      if (holder) myRegion.remove(holder);
      return;
    }
    if (area.contains(*item)) {
      myRegion.remove(item);
      continue;
    }
    bool merged = false;
    if (item->left == a.left && item->right == a.right) {
      if (item->bottom == a.top) {
        item->bottom = a.bottom;
        a.top = item->top;
        merged = true;
      } else if (item->top == a.bottom) {
        item->top = a.top;
        a.bottom = item->bottom;
        merged = true;
      }
    } else if (item->top == a.top && item->bottom == a.bottom) {
      if (item->right == a.left) {
        item->right = a.right;
        a.left = item->left;
        merged = true;
      } else if (item->left == a.right) {
        item->left = a.left;
        a.right = item->right;
        merged = true;
      }
    }
    if (merged) {
      if (holder) myRegion.remove(holder);
      holder = item;
      it = myRegion.head;
    }
  }
  if (!holder) myRegion.add(new cClippingItem(a.left, a.top, a.right, a.bottom));
}
