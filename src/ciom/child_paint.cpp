// Painting: each element paints itself with its children's places clipped
// out, then each child paints into a canvas of its own place.
#include "ciom/canvas.h"
#include "ciom/child.h"
#include "ciom/windowmaker.h"

namespace {

// Cuts [from, from + length) to [low, high); the length may end up below 1.
void cut(int& from, int& length, int low, int high) {
  int end = from + length;
  if (from < low) from = low;
  if (end > high) end = high;
  length = end - from;
}

}  // namespace

void cChildElement::repaint(sRect* r) {
  sArea a{0, 0, myRect.width, myRect.height};
  if (r) {
    a = {r->x, r->y, r->x + r->width, r->y + r->height};
    int lastX = myRect.width - 1, lastY = myRect.height - 1;
    if (a.left >= myRect.width) a.left = lastX;
    if (a.right >= myRect.width) a.right = lastX;
    if (a.top >= myRect.height) a.top = lastY;
    if (a.bottom >= myRect.height) a.bottom = lastY;
  }
  repaintReq(&a);
}

void cChildElement::repaintReq(sArea* area) {
  if (!myAttached) return;
  sArea a = area ? *area : sArea{0, 0, myRect.width, myRect.height};
  if (!myParent) {
    if (myTarget) myTarget->_rt_repaint(&a);
    return;
  }
  a.left += myRect.x;
  a.right += myRect.x;
  a.top += myRect.y;
  a.bottom += myRect.y;
  sPoint off;
  myParent->virtualOffset(&off);
  if (!fixedX()) {
    a.left += off.x;
    a.right += off.x;
    if (a.left < 0) a.left = 0;
    if (a.right < 1) return;
  }
  if (!fixedY()) {
    a.top += off.y;
    a.bottom += off.y;
    if (a.top < 0) a.top = 0;
    if (a.bottom < 1) return;
  }
  myParent->repaintReq(&a);
}

void cChildElement::show(bool repaint) {
  myVisible = true;
  if (repaint) this->repaint(nullptr);
}

void cChildElement::hide(bool repaint) {
  myVisible = false;
  if (repaint) this->repaint(nullptr);
}

void cChildElement::setTransparent(bool on) {
  if (on == myTransparent) return;
  myTransparent = on;
  repaint(nullptr);
}

void cChildElement::processPaint(cCanvas* c) {
  if (!c) return;
  sRect client;
  sPoint off;
  clientRect(&client);
  virtualOffset(&off);
  client.x += myBorderWidth;
  client.y += myBorderWidth;
  client.width -= 2 * myBorderWidth;
  client.height -= 2 * myBorderWidth;

  // A child's place cut to what of this element it may cover: the client
  // area where it scrolls with the content, the whole element where fixed.
  auto visibleCut = [&](cChildElement* child, sRect& place) {
    place = placeOf(child, off);
    sRect r = place;
    if (child->fixedX())
      cut(r.x, r.width, 0, myRect.width);
    else
      cut(r.x, r.width, client.x, client.x + client.width);
    if (child->fixedY())
      cut(r.y, r.height, 0, myRect.height);
    else
      cut(r.y, r.height, client.y, client.y + client.height);
    return r;
  };

  std::vector<cChildElement*> children;
  reachableChildren(children);
  sRect place;
  for (cChildElement* child : children) {
    if (!child->visible()) continue;
    sRect r = visibleCut(child, place);
    if (r.width >= 1 && r.height >= 1) c->clip(&r);
  }
  c->select();

  cCanvas* buffer = myDoubleBuffer ? c->offscreen(myRect.width, myRect.height, -1, -1) : nullptr;
  cCanvas* target = buffer ? buffer : c;
  if (myTransparent && myParent) myParent->requestCustomBackground(target, &myRect);
  onPaint(target);
  if (buffer) {
    c->draw(0, 0, buffer, 0, 0, -1, -1);
    delete buffer;
  }

  sRect strips[4] = {{0, 0, client.x, myRect.height},
                     {0, 0, myRect.width, client.y},
                     {client.x + client.width, 0, myRect.width - client.x - client.width, myRect.height},
                     {0, client.y + client.height, myRect.width, myRect.height - client.y - client.height}};
  for (sRect& s : strips)
    if (s.width > 0 && s.height > 0) c->clip(&s);
  c->select();

  for (cChildElement* child : children) {
    if (!child->visible()) continue;
    sRect r = visibleCut(child, place);
    if (r.width < 1 || r.height < 1) continue;
    c->unclip(&r);
    c->select();
    if (c->canDrawAt(&place)) {
      if (cCanvas* sub = c->subCanvas(&place)) {
        child->processPaint(sub);
        delete sub;
      }
    }
    c->clip(&r);
  }
}

bool cChildElement::requestCustomBackground(cCanvas* c, sRect* r) {
  if (!c || !r) return false;
  if (requestCustomBackgroundInt(c, r)) return true;
  sRect all{0, 0, c->width(), c->height()};
  c->drawRect(&all, myBackground, myBackground);
  return true;
}

bool cChildElement::requestCustomBackgroundInt(cCanvas* c, sRect* r) {
  if (!myTransparent) return onBackgroundRequest(c, r);
  if (!myParent) return false;
  sRect moved{r->x + myRect.x, r->y + myRect.y, r->width, r->height};
  return myParent->requestCustomBackground(c, &moved);
}
