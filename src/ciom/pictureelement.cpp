#include "ciom/pictureelement.h"

#include "ciom/canvas.h"

namespace {

constexpr unsigned int kThemeDefault = 0xFF000000;

template <typename T>
bool holds(const T& r, int x, int y) {
  return r.left <= x && x <= r.right && r.top <= y && y <= r.bottom;
}

// The rectangle (x, y, w, h) as inclusive edges, computed wide so that no
// caller's numbers overflow.
template <typename T>
void setEdges(T& r, int x, int y, int w, int h) {
  r.left = x;
  r.top = y;
  r.right = static_cast<int>(static_cast<long long>(x) + w - 1);
  r.bottom = static_cast<int>(static_cast<long long>(y) + h - 1);
}

}  // namespace

void cPictureElement::onInitData() {
  cChildElement::onInitData();
  myCurrentZone = myShownHintId = -1;
}

bool cPictureElement::refPict(cPicture* p) {
  if (!p || !p->raw() || p->width() < 1 || p->height() < 1) return false;
  myOwned = nullptr;
  myPicture = p;
  repaint(nullptr);
  return true;
}

bool cPictureElement::setPict(const unsigned char* data, unsigned int size) {
  auto* made = new cPicture;
  bool ok = data && made->create(data, size);
  myOwned = ok ? made : nullptr;
  if (!ok) delete made;
  myPicture = myOwned.ptr;
  repaint(nullptr);
  return ok;
}

bool cPictureElement::setPict(const unsigned int* pixels, int w, int h) {
  auto* made = new cPicture;
  bool ok = pixels && made->create(pixels, w, h, __bmp_res_inversed);
  myOwned = ok ? made : nullptr;
  if (!ok) delete made;
  myPicture = myOwned.ptr;
  repaint(nullptr);
  return ok;
}

bool cPictureElement::setActive(int id, int x, int y, int w, int h) {
  sArea* zone = myZones.insert(id);
  if (!zone) return false;
  setEdges(*zone, x, y, w, h);
  if (id == myCurrentZone) myCurrentZone = -1;
  return true;
}

bool cPictureElement::setHint(int id, int x, int y, int w, int h, const char* text) {
  sZoneHint* hint = myHints.insert(id);
  if (!hint) return false;
  setEdges(*hint, x, y, w, h);
  hint->text.set(text);
  closeHint();
  return true;
}

bool cPictureElement::setHint(int id, const char* text) {
  sZoneHint* hint = myHints.find(id);
  if (!hint) return false;
  hint->text.set(text);
  closeHint();
  return true;
}

void cPictureElement::closeHint() {
  myHintWindow = nullptr;
  myShownHintId = -1;
}

// Any int names a zone, -1 too, so finding one is told apart from its id.
bool cPictureElement::zoneAt(int x, int y, int& id) {
  id = -1;
  for (auto* z = myZones.root ? myZones.leftmost(myZones.root) : nullptr; z; z = myZones.next(z))
    if (holds(z->value, x, y)) {
      id = z->key;
      return true;
    }
  return false;
}

void cPictureElement::onPaint(cCanvas* c) {
  if (!myPicture || !myPicture->raw()) return;
  if (transparent()) {
    sPoint at;
    c->drawTransparent(&at, myPicture, nullptr);
  } else {
    c->drawBitmap(0, 0, myPicture, -1, -1);
  }
}

bool cPictureElement::onBackgroundRequest(cCanvas* c, sRect* r) {
  if (!myPicture || !c || !r) return cChildElement::onBackgroundRequest(c, r);
  c->drawBitmap(-r->x, -r->y, myPicture, -1, -1);
  return true;
}

void cPictureElement::onMouseMoving(int x, int y) {
  const eMousePointerTypes shape = zoneAt(x, y, myCurrentZone) ? mptHand : mptArrow;
  setPointer(shape);
  changePointerReq(shape);
  for (auto* h = myHints.root ? myHints.leftmost(myHints.root) : nullptr; h; h = myHints.next(h)) {
    if (!holds(h->value, x, y)) continue;
    if (h->key == myShownHintId) return;
    sPoint at;
    if (!absPos(at)) return;
    at.x += h->value.left + 2;
    at.y += h->value.bottom + 2;
    auto* shown = new cHintMaster;
    if (shown->show(this, h->value.text.ptr, &at, kThemeDefault, kThemeDefault))
      myHintWindow = shown;
    else
      delete shown;
    myShownHintId = h->key;
    return;
  }
  closeHint();
}

void cPictureElement::onMouseButton(int x, int y, int button, bool down) {
  if (button != mbLeft || down) return;
  if (zoneAt(x, y, myCurrentZone)) notifyAction(new cActiveZoneAction(myCurrentZone));
}

void cPictureElement::onMouseLeft() {
  cChildElement::onMouseLeft();
  closeHint();
}
