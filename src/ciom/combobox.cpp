#include "ciom/combobox.h"

#include <algorithm>

#include "ciom/canvas.h"
#include "ciom/popupmaster.h"
#include "ciom/themeuse.h"

void cComboBoxChild::onInitData() {
  cChildElement::onInitData();
  myPressInside = false;
  myMaxDropdown = 100;
  myImages = nullptr;
  mySelected = -1;
  setMinSize(20, 19);
  setMaxSize(2147483647, 38);
  // Anchors below 0 count from the far edge: -1 is the edge itself.
  anchor(&myEdit, 0, 0, -kButtonWidth - 1, -1);
  anchor(&myButton, -kButtonWidth - 1, 0, kButtonWidth, -1);
  myEdit.setCursorForRO(false);
  myEdit.setBorderColor(cEditChild::ctDisabled, themeColor(21));
  myButton.setTabStop(false);
  myButton.setTransparent(true);
  myButton.image(cButtonChild::bsNormal).refImage(themePict(28));
  myButton.setBorder(cButtonChild::bs3D, false);
}

void cComboBoxChild::allowEdit(bool e) {
  myEdit.setPointer(e ? mptIBeam : mptArrow);
  myEdit.setReadonly(!e);
  myEdit.setSelectOnFocus(e);
}

bool cComboBoxChild::setItem(int index, const char* text, void* association, int image) {
  if (index < 0) return false;
  sActiveElementItem* item = myItems.insert(index);
  if (!item) return false;
  item->picture = image;
  item->association = association;
  item->text.set(text);
  if (index == mySelected) myEdit.setText(item->text.ptr, -1);
  return true;
}

void* cComboBoxChild::association(int index) {
  const sActiveElementItem* item = myItems.find(index);
  return item ? item->association : nullptr;
}

const char* cComboBoxChild::text(int index) {
  const sActiveElementItem* item = myItems.find(index);
  return item ? item->text.ptr : nullptr;
}

bool cComboBoxChild::remove(int index) { return myItems.dettach(index); }

void cComboBoxChild::clear() {
  myEdit.setText("", -1);
  mySelected = -1;
  if (myItems.root) myItems.destroyRec(myItems.root);
  myItems.root = nullptr;
  myItems.depthCount = 0;
}

bool cComboBoxChild::select(int index, bool notify) {
  if (index < 0) {
    myEdit.setText("", -1);
    mySelected = -1;
  } else {
    const sActiveElementItem* item = myItems.find(index);
    if (!item) return false;
    myEdit.setText(item->text.ptr, -1);
    mySelected = index;
  }
  if (notify) notifyAction(new cChildAction(acChange));
  return true;
}

bool cComboBoxChild::dropdown() {
  sSize size;
  if (!cPopupMaster::evalSize(this, &myItems, myImages, size, nullptr)) return false;
  size.cx = width();
  size.cy = std::min(size.cy, myMaxDropdown);
  sPoint at;
  absPos(at);
  const unsigned int none = cPopupMaster::kNoColor;
  const int chosen = cPopupMaster::runPopUp(this, &myItems, myImages, at.x, at.y + height(), size.cx, size.cy,
                                            mySelected, 0xFFFFFF, 0, none, nullptr, none, none, none, none);
  return chosen >= 0 && select(chosen, true);
}

int cComboBoxChild::neighbour(bool up) {
  auto* at = myItems.find_item(mySelected);
  if (!at) return -1;
  auto* next = up ? myItems.prev(at) : myItems.next(at);
  return next ? next->key : mySelected;
}

bool cComboBoxChild::processKey(int key, bool shift, bool mod2, bool mod3) {
  if (!enabled()) return cChildElement::processKey(key, shift, mod2, mod3);
  const bool plain = !shift && !mod2 && !mod3;
  if ((key == kcUp || key == kcDown) && plain) {
    if (mySelected < 0) return true;
    const int to = neighbour(key == kcUp);
    if (to != mySelected) select(to, true);
    return true;
  }
  if ((key == kcDown && mod3 && !shift && !mod2) || (key == kcF4 && plain)) {
    dropdown();
    return true;
  }
  return cChildElement::processKey(key, shift, mod2, mod3);
}

void cComboBoxChild::processMouseBtn(int x, int y, int button, bool down, bool mod1, bool mod2) {
  if (myEdit.readonly() && enabled() && button == mbLeft) {
    if (down) {
      myPressInside = true;
      return;
    }
    if (myPressInside) {
      myPressInside = false;
      if (inme(x, y)) dropdown();
      return;
    }
  }
  cChildElement::processMouseBtn(x, y, button, down, mod1, mod2);
}

bool cComboBoxChild::onAction(cChildElement* sender, cChildAction* a) {
  if (a && sender == &myButton && a->code == acDefault) {
    dropdown();
    return true;
  }
  if (a && sender == &myEdit && (a->code == acChange || a->code == acActivate)) {
    notifyAction(new cChildAction(a->code));
    return true;
  }
  return cChildElement::onAction(sender, a);
}

bool cComboBoxChild::onBackgroundRequest(cCanvas* c, sRect* r) {
  if (c && r && r->y == 0 && r->height == height()) {
    sRect band{-1, 0, r->width + 1, height()};
    c->drawRect(&band, myEdit.bgColor(cEditChild::ctNormal), myEdit.borderColor(cEditChild::ctNormal));
    return true;
  }
  return cChildElement::onBackgroundRequest(c, r);
}
