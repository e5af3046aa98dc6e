#include "ciom/popupmaster.h"

#include <algorithm>

#include "ciom/canvas.h"
#include "ciom/pictureslist.h"
#include "ciom/themeuse.h"

namespace {

// A colour word (red lowest) as an opaque pixel (blue lowest).
unsigned int pixelOf(unsigned int colour) {
  return 0xFF000000u | (colour & 0xFF) << 16 | (colour & 0xFF00) | (colour >> 16 & 0xFF);
}

template <class F>
void eachItem(cPopupMaster::tItems* items, F f) {
  if (!items || !items->root) return;
  for (auto* it = items->leftmost(items->root); it; it = items->next(it)) f(it->key, it->value);
}

}  // namespace

cPopupMaster::sPopupConfig::sPopupConfig() : background(themeColor(14)), text(themeColor(4)), border(themeColor(21)) {}

bool cPopupMaster::measure(cChildElement* parent, sActiveElementItem& item, cPicturesList* pictures,
                           cFontObject* font, sSize& size) {
  size = {0, 0};
  if (item.text.ptr && !parent->sizeOf(item.text.ptr, size, font)) return false;
  cPicture* p = item.picture >= 0 && pictures ? pictures->image(item.picture) : nullptr;
  if (p) {
    size.cx += p->width() + 4;
    size.cy = std::max(size.cy, p->height());
  }
  return true;
}

bool cPopupMaster::evalSize(cChildElement* parent, tItems* items, cPicturesList* pictures, sSize& size,
                            cFontObject* font) {
  size = {0, 0};
  if (!parent) return false;
  if (!font) font = parent->stdFont();
  if (!font) return false;
  int widest = 0;
  long long total = 0;
  bool ok = true;
  eachItem(items, [&](int, sActiveElementItem& item) {
    if (!item.text.ptr) return;
    sSize m;
    if (!measure(parent, item, pictures, font, m)) {
      ok = false;
      return;
    }
    cPicture* p = item.picture >= 0 && pictures ? pictures->image(item.picture) : nullptr;
    widest = std::max(widest, cButtonChild::requiredWidth(parent, item.text.ptr, p, cButtonChild::dsSideBySide, font));
    total += item.height > 0 ? item.height : m.cy + 7;
  });
  size = {widest + 2, static_cast<int>(std::min<long long>(total, 0x7FFFFFFF))};
  return ok;
}

int cPopupMaster::runPopUp(cChildElement* parent, tItems* items, cPicturesList* pictures, int x, int y, int w,
                           int h, int selectedId, unsigned int background, unsigned int text, unsigned int border,
                           cFontObject* font, unsigned int state2Background, unsigned int state2Text,
                           unsigned int state3Background, unsigned int state3Text) {
  if (!parent || !items || !items->root) return -1;
  auto* popup = new cPopupMaster;
  popup->myItems = items;
  popup->myPictures = pictures;
  popup->myFont = font;
  popup->myBackground = background;
  popup->myText = text;
  popup->myBorder = border == kNoColor ? themeColor(21) : border;
  popup->myState2Background = state2Background;
  popup->myState2Text = state2Text;
  popup->myState3Background = state3Background;
  popup->myState3Text = state3Text;
  popup->mySelectedId = selectedId;
  // Panels and docks may stand on any edge: the menu keeps inside what
  // they leave, and opens upwards only when there is more room above. It
  // is the window, the items and a pixel of border above and below them,
  // that must fit.
  int height = static_cast<int>(std::min<long long>(static_cast<long long>(std::max(h, 0)) + 2, 0x7FFFFFFF));
  sRect area{0, 0, 0, 0};
  if (parent->workArea(area) && area.width && area.height) {
    const int right = area.x + area.width, bottom = area.y + area.height;
    x = std::max(x, area.x);
    y = std::max(y, area.y);
    if (x + w > right) x = std::max(right - w, area.x);
    if (y > bottom - height) {
      if (bottom - y >= y - area.y) {
        height = bottom - y;
      } else {
        height = std::min(height, y - area.y);
        y -= height;
      }
    }
  }
  // The window owns the popup from here, and deletes it once, when done.
  return parent->modal_popup(x, y, w, height, popup);
}

int cPopupMaster::simplePopup(cChildElement* parent, tItems* items, int x, int y, int minWidth,
                              cPicturesList* pictures, int selectedId, unsigned int background, unsigned int text,
                              unsigned int border, cFontObject* font, unsigned int state2Background,
                              unsigned int state2Text, unsigned int state3Background, unsigned int state3Text) {
  sSize size;
  if (!evalSize(parent, items, pictures, size, font)) return -1;
  return runPopUp(parent, items, pictures, x, y, std::max(size.cx, minWidth), size.cy, selectedId, background, text,
                  border, font, state2Background, state2Text, state3Background, state3Text);
}

int cPopupMaster::simplePopup(cChildElement* parent, tItems* items, int x, int y, sPopupConfig* config) {
  if (config)
    return simplePopup(parent, items, x, y, config->minWidth, config->pictures, config->selectedId,
                       config->background, config->text, config->border, config->font, config->state2Background,
                       config->state2Text, config->state3Background, config->state3Text);
  return simplePopup(parent, items, x, y, 0, nullptr, -1, 0xFFFFFF, 0, kNoColor, nullptr, kNoColor, kNoColor,
                     kNoColor, kNoColor);
}

void cPopupMaster::onInitData() {
  cScrollableElement::onInitData();
  build();
}

void cPopupMaster::onConstruct() {
  cScrollableElement::onConstruct();
  build();
}

void cPopupMaster::build() {
  sSize list;
  evalSize(this, myItems, myPictures, list, nullptr);
  setMinVisualHeight(list.cy);
  const int basis = std::max(list.cx, width());
  myButtons.destroy();
  cFontObject* font = myFont ? myFont : stdFont();
  if (!font) return;
  const unsigned int px2 = pixelOf(myState2Background), px3 = pixelOf(myState3Background);
  if (myState2Background != kNoColor) myState2Picture.create(&px2, 1, 1, false);
  if (myState3Background != kNoColor) myState3Picture.create(&px3, 1, 1, false);
  cButtonChild* selected = nullptr;
  int y = 1, count = 0;
  long long total = 0;
  eachItem(myItems, [&](int id, sActiveElementItem& item) {
    cPicture* p = item.picture >= 0 && myPictures ? myPictures->image(item.picture) : nullptr;
    if (!item.text.ptr && !p) return;
    auto* entry = new cBtnListItem;
    entry->id = id;
    entry->item = &item;
    myButtons.add(entry);
    sSize m;
    measure(this, item, myPictures, font, m);
    const int h = item.height > 0 ? item.height : m.cy + 7;
    cButtonChild& b = entry->button;
    attach(&b, 1, y, basis - 2 - getVScrollRes(), h, cptNormal);
    b.setTransparent(true);
    b.setText(item.text.ptr ? item.text.ptr : "");
    b.setBorder(cButtonChild::bsPicture, false);
    b.setBgColor(myBackground, false);
    b.setTextColor(myText, false);
    if (myState2Background != kNoColor) b.refStateBackImage(cButtonChild::bsHovered, &myState2Picture);
    if (myState3Background != kNoColor) b.refStateBackImage(cButtonChild::bsPressed, &myState3Picture);
    if (myState2Text != kNoColor) b.setTextColor(cButtonChild::bsHovered, myState2Text, false);
    if (myState3Text != kNoColor) b.setTextColor(cButtonChild::bsPressed, myState3Text, false);
    if (item.hint.ptr) b.setHint(item.hint.ptr);
    b.setFont(font);
    if (p) b.image(cButtonChild::bsNormal).refImage(p);
    if (id == mySelectedId) selected = &b;
    y += h;
    total += h;
    ++count;
  });
  const int q = count ? std::max(static_cast<int>(total / count), 1) : 1;
  setPageSize(5, height() - height() % q);
  setQuantumSize(5, q);
  if (selected) selected->focus();
}

void cPopupMaster::finish(int code) {
  releasePointer();
  end_modal(code);
}

bool cPopupMaster::processKey(int key, bool shift, bool mod2, bool mod3) {
  if (key == kcEscape) {
    finish(-1);
    return true;
  }
  return cScrollableElement::processKey(key, shift, mod2, mod3);
}

void cPopupMaster::onMouseButton(int x, int y, int, bool down) {
  if (down && (x < 0 || y < 0 || x >= width() || y >= height())) finish(-1);
}

bool cPopupMaster::onAction(cChildElement* sender, cChildAction* a) {
  if (a && a->code == acDefault)
    for (cListItem* i = myButtons.head; i; i = i->next) {
      auto* entry = static_cast<cBtnListItem*>(i);
      if (sender == &entry->button) {
        finish(entry->id);
        return true;
      }
    }
  return cScrollableElement::onAction(sender, a);
}

void cPopupMaster::onLooseFocus(bool f1, bool f2) {
  cScrollableElement::onLooseFocus(f1, f2);
  finish(-1);
}

bool cPopupMaster::onBackgroundRequest(cCanvas* c, sRect* r) {
  if (!c || !r) return false;
  sRect all{0, 0, c->width(), c->height()};
  c->drawRect(&all, myBackground, myBackground);
  return true;
}

void cPopupMaster::onPaintArea(cCanvas* c) {
  sRect all{0, 0, width(), height()};
  c->drawRect(&all, myBackground, myBorder);
  // Presses outside the list must reach it, to dismiss it.
  capturePointer(true);
}
