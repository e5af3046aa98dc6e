#include "ciom/toolbar.h"

#include <algorithm>
#include <cstring>

#include "ciom/canvas.h"
#include "ciom/pictureslist.h"
#include "ciom/setters.h"
#include "ciom/themeuse.h"

namespace {

template <typename K, typename V>
typename cFasterTreeList<K, V>::cTreeItem* first(cFasterTreeList<K, V>& t) {
  return t.root ? t.leftmost(t.root) : nullptr;
}

}  // namespace

cToolBarChild::~cToolBarChild() {
  removeAll(false);
  cChildElement::dettach(&myDropDown);
}

void cToolBarChild::onInitData() {
  cChildElement::onInitData();
  myFixedButtonWidth = 0;
  myBehavior = ssbCut;
  myBorderedStyle = cButtonChild::bs3D;
  myBgColor = themeColor(14);
  myBorderColor = themeColor(21);
  myTextColor = themeColor(4);
  myFont = nullptr;
  myBorder = false;
  myDrawOwnBorder = true;
  myButtonsStyle = cButtonChild::dsSideBySide;
  myMinButtonWidth = 0;
  myDftLight = myDftDark = 0xFFFFFFFF;
  myButtonsAcceptFocus = wantAcceptFoucs();
  myHideFrom = 0;
  myMaxDDHeight = 200;
  if (!isDirectChild(&myDropDown)) attach(&myDropDown, 0, 0, 1, 1, cptNormal);
  myDropDown.setTransparent(transparent());
  myDropDown.setAcceptFocus(false);
  myDropDown.setBorder(cButtonChild::bsDarkFrame, false);
  myDropDown.image(cButtonChild::bsNormal).refImage(themePict(kDropDownPicture));
  myDropDown.hide(false);
}

cButtonChild* cToolBarChild::findButton(int id) {
  cPtr<cButtonChild>* b = myButtons.find(id);
  return b ? b->ptr : nullptr;
}

void cToolBarChild::setImage(cButtonChild* button, int index) {
  if (!button) return;
  for (auto* l = first(myLists); l; l = myLists.next(l)) button->image(l->key).refImage(l->value, index);
}

bool cToolBarChild::setButton(int id, const char* text, int image) {
  if (!text && image < 0) return removeButton(id);
  if (cButtonChild* b = findButton(id)) {
    bool changed = false;
    if (text && (!b->text() || std::strcmp(text, b->text()) != 0)) {
      b->setText(text);
      changed = true;
    }
    int* index = myImageIndex.find(id);
    if (!index || *index != image) {
      *myImageIndex.insert(id) = image;
      setImage(b, image);
      changed = true;
    }
    if (changed) rebuildToolbar();
    return true;
  }
  cButtonChild* b = allocButton();
  if (!b) return false;
  cPtr<cButtonChild>* slot = myButtons.insert(id);
  *slot = b;  // an older element under the id goes
  attach(b, 0, 0, 1, 1, cptFixedXY);
  b->setTransparent(transparent());
  b->setText(text);
  b->setAcceptFocus(myButtonsAcceptFocus);
  b->setBorder(myBorderedStyle, false);
  b->setTextColor(myTextColor, false);
  if (myFont) b->setFont(myFont);
  setImage(b, image);
  if (!myImageIndex.find(id)) *myImageIndex.insert(id) = image;
  if (!initButton(id, b)) {
    removeButton(id);
    return false;
  }
  rebuildToolbar();
  return true;
}

bool cToolBarChild::removeButton(int id) {
  cButtonChild* b = findButton(id);
  if (!b) return false;
  dettach(b);
  myButtons.dettach(id);  // deletes the button
  myImageIndex.dettach(id);
  myHidden.dettach(id);
  rebuildToolbar();
  return true;
}

void cToolBarChild::removeAll(bool repaint) {
  for (auto* i = first(myButtons); i; i = myButtons.next(i))
    if (i->value.ptr) dettach(i->value.ptr);
  if (myButtons.root) myButtons.destroyRec(myButtons.root);
  myButtons.root = nullptr;
  cFasterTreeList<int, bool> none;
  myHidden.moveTo(none);
  if (repaint) this->repaint(nullptr);
}

bool cToolBarChild::setEnabled(int id, bool on) {
  cButtonChild* b = findButton(id);
  if (!b) return false;
  if (on)
    b->enable();
  else
    b->disable(true);
  return true;
}

bool cToolBarChild::isEnabled(int id) {
  cButtonChild* b = findButton(id);
  return b && b->enabled_child();
}

void cToolBarChild::setImageList(cButtonChild::eButtonStates state, cPicturesList* list) {
  *myLists.insert(state) = list;
  for (auto* i = first(myButtons); i; i = myButtons.next(i)) {
    int* index = myImageIndex.find(i->key);
    if (index && *index >= 0 && i->value.ptr) i->value->image(state).refImage(list, *index);
  }
  rebuildToolbar();
}

void cToolBarChild::setButtonAcceptFocus(bool on) {
  myButtonsAcceptFocus = on;
  bool held = false;
  for (auto* i = first(myButtons); i; i = myButtons.next(i)) {
    if (!i->value.ptr) continue;
    held = held || i->value->hasFocus();
    i->value->setAcceptFocus(on);
  }
  if (!on && held) focus();
}

void cToolBarChild::setBgColor(unsigned int c, bool repaint) { storeChanged(this, myBgColor, c, repaint); }

void cToolBarChild::setTransparent(bool on) {
  for (auto* i = first(myButtons); i; i = myButtons.next(i))
    if (i->value.ptr) i->value->setTransparent(on);
  myDropDown.setTransparent(on);
  cChildElement::setTransparent(on);
}

int cToolBarChild::buttonWidth(cButtonChild* b) {
  if (myFixedButtonWidth > 0) return myFixedButtonWidth;
  return std::max(b->requiredWidth(), myMinButtonWidth);
}

int cToolBarChild::wantsWidth() {
  long long sum = 0;
  for (auto* i = first(myButtons); i; i = myButtons.next(i))
    if (i->value.ptr && !hidden(i->key)) sum += buttonWidth(i->value.ptr);
  return static_cast<int>(std::min<long long>(sum, 0x7FFFFFFF));
}

void cToolBarChild::onPaint(cCanvas* c) {
  if (transparent()) return;
  sRect client;
  clientRect(&client);
  c->drawRect(&client, myBgColor, myBorder && myDrawOwnBorder ? myBorderColor : myBgColor);
}

void cToolBarChild::onSizeChanged() {
  cChildElement::onSizeChanged();
  // The buttons follow the bar's height.
  rebuildToolbar();
}

void cToolBarChild::onMouseButton(int, int, int button, bool down) {
  if (button == mbLeft && down) postAction(new cChildAction(acActivate));
}

bool cToolBarChild::onAction(cChildElement* sender, cChildAction* a) {
  if (!a || a->code != acDefault) return cChildElement::onAction(sender, a);
  if (sender == &myDropDown) {
    runOverflowMenu();
    return true;
  }
  for (auto* i = first(myButtons); i; i = myButtons.next(i)) {
    if (i->value.ptr != sender) continue;
    notifyAction(new cTbButtonAction(i->key));
    return true;
  }
  return cChildElement::onAction(sender, a);
}
