// The toolbar's layout: hidden buttons, separators, and the drop-down that
// gathers the buttons a narrow row cannot show.
#include <algorithm>

#include "ciom/pictureslist.h"
#include "ciom/popupmaster.h"
#include "ciom/themeuse.h"
#include "ciom/toolbar.h"

namespace {

template <typename K, typename V>
typename cFasterTreeList<K, V>::cTreeItem* first(cFasterTreeList<K, V>& t) {
  return t.root ? t.leftmost(t.root) : nullptr;
}

template <typename K, typename V>
typename cFasterTreeList<K, V>::cTreeItem* last(cFasterTreeList<K, V>& t) {
  return t.root ? t.rightmost(t.root) : nullptr;
}

}  // namespace

bool cToolBarChild::setSeparator(int id) {
  cButtonChild* b = findButton(id);
  if (b) {
    b->setText(nullptr);
    myImageIndex.dettach(id);
  } else {
    b = allocButton();
    if (!b) return false;
    *myButtons.insert(id) = b;
    attach(b, 0, 0, 1, 1, cptFixedXY);
    b->setTransparent(transparent());
    b->setAcceptFocus(false);
    b->setBorder(cButtonChild::bsPicture, false);
  }
  b->image(cButtonChild::bsNormal).refImage(b->stateBackImage(cButtonChild::bsHovered));
  b->disable(false);
  rebuildToolbar();
  return true;
}

bool cToolBarChild::setVisible(int id, bool on) {
  cButtonChild* b = findButton(id);
  if (!b) return false;
  if (on) {
    b->show(false);
    myHidden.dettach(id);
  } else {
    b->hide(false);
    *myHidden.insert(id) = true;
  }
  rebuildToolbar();
  return true;
}

bool cToolBarChild::setHint(int id, const char* hint) {
  cButtonChild* b = findButton(id);
  if (!b) return false;
  b->setHint(hint);
  return true;
}

bool cToolBarChild::setButtonFont(int id, cFontObject* font) {
  cButtonChild* b = findButton(id);
  if (!b) return false;
  b->setFont(font);
  rebuildToolbar();
  return true;
}

bool cToolBarChild::setButtonTextColor(int id, unsigned int c) {
  cButtonChild* b = findButton(id);
  if (!b) return false;
  b->setTextColor(c, true);
  return true;
}

bool cToolBarChild::buttonAbsPos(int id, sPoint& p) {
  cButtonChild* b = findButton(id);
  p = {0, 0};
  return b && b->absPos(p);
}

void cToolBarChild::setFixedButtonWidth(int w) {
  if (w < 0 || w == myFixedButtonWidth) return;
  myFixedButtonWidth = w;
  rebuildToolbar();
}

void cToolBarChild::setBorderedButtonStyle(cButtonChild::eBorderStyle s) {
  if (s == myBorderedStyle) return;
  myBorderedStyle = s;
  rebuildToolbar();
}

void cToolBarChild::setButtonsStyle(cButtonChild::eDispStyle s) {
  if (s == myButtonsStyle) return;
  myButtonsStyle = s;
  rebuildToolbar();
}

void cToolBarChild::setButtonsFont(cFontObject* font) {
  if (font == myFont) return;
  myFont = font;
  eachButton([font](cButtonChild* b) { b->setFont(font); });
  rebuildToolbar();
}

void cToolBarChild::setBorder(bool on) {
  if (on == myBorder) return;
  myBorder = on;
  rebuildToolbar();
}

void cToolBarChild::setMaxDDHeight(int h) {
  if (h >= 17) myMaxDDHeight = h;
}

void cToolBarChild::refitIfNeeded() {
  if (myDropDown.visible_child() || wantsWidth() > width()) rebuildToolbar();
}

void cToolBarChild::setSmallerSizeBehavior(eSmallerSizeBehavior b) {
  myBehavior = b;
  if (wantsWidth() > width()) rebuildToolbar();
}

void cToolBarChild::setHideFrom(int id) {
  myHideFrom = std::max(id, 0);
  if (wantsWidth() > width()) rebuildToolbar();
}

void cToolBarChild::setDftBorderColors(unsigned int light, unsigned int dark) {
  myDftLight = light;
  myDftDark = dark;
  refitIfNeeded();
}

void cToolBarChild::setButtonsTextColor(unsigned int c) {
  myTextColor = c;
  eachButton([c](cButtonChild* b) { b->setTextColor(c, true); });
}

void cToolBarChild::setButtonsTextColor(cButtonChild::eButtonStates state, unsigned int c) {
  eachButton([state, c](cButtonChild* b) { b->setTextColor(state, c, true); });
}

void cToolBarChild::setButtonsBorderColor(cButtonChild::eButtonStates state, unsigned int c) {
  eachButton([state, c](cButtonChild* b) { b->setBorderColors(state, c, c); });
  repaint(nullptr);
}

void cToolBarChild::refButtonsBgImage(cButtonChild::eButtonStates state, cPicture* p) {
  eachButton([state, p](cButtonChild* b) { b->refStateBackImage(state, p); });
  repaint(nullptr);
}

void cToolBarChild::setDrawOwnBorder(bool on) {
  if (on == myDrawOwnBorder) return;
  myDrawOwnBorder = on;
  repaint(nullptr);
}

void cToolBarChild::placeButton(cButtonChild* b, int& x, int h) {
  const int w = buttonWidth(b);
  b->move(x, 0, w, h);
  b->setBorder(myBorder ? myBorderedStyle : cButtonChild::bsFlatHover, false);
  b->setBorderColors(cButtonChild::bsNormal, myDftLight, myDftDark);
  b->setBgColor(myBgColor, false);
  b->show(false);
  x += w;
}

void cToolBarChild::addOverflow(int id, cButtonChild* b) {
  b->hide(false);
  if (!b->enabled_child() || hidden(id)) return;
  sActiveElementItem* item = myOverflow.insert(id);
  item->text.set(b->text());
  item->hint.set(b->hint());
  const int* index = myImageIndex.find(id);
  item->picture = index ? *index : -1;
  item->height = height();
  myOverflowHeight += item->height;
}

void cToolBarChild::rebuildToolbar() {
  sRect client;
  clientRect(&client);
  const int h = client.height, W = width();
  cFasterTreeList<int, sActiveElementItem> gone;
  myOverflow.moveTo(gone);
  myOverflowWidth = myOverflowHeight = 0;
  for (auto* i = first(myButtons); i; i = myButtons.next(i)) {
    if (!i->value.ptr) continue;
    i->value->setStyle(myButtonsStyle, false);
    i->value->setAlign(myButtonsStyle == cButtonChild::dsStacked ? cCanvas::eAlignCenter : cCanvas::eAlignLeft,
                       false);
    if (hidden(i->key)) i->value->hide(false);
  }
  int x = 0;
  if (myBehavior == ssbCut || wantsWidth() <= W) {
    myDropDown.hide(false);
    for (auto* i = first(myButtons); i; i = myButtons.next(i))
      if (i->value.ptr && !hidden(i->key)) placeButton(i->value.ptr, x, h);
    repaint(nullptr);
    return;
  }
  myDropDown.show(false);
  const int d = cButtonChild::requiredWidth(this, nullptr, themePict(kDropDownPicture), myButtonsStyle, myFont);
  if (myBehavior == ssbDropDown) {
    bool overflowing = false;
    for (auto* i = first(myButtons); i; i = myButtons.next(i)) {
      cButtonChild* b = i->value.ptr;
      if (!b || hidden(i->key)) continue;
      if (!overflowing && static_cast<long long>(x) + d + buttonWidth(b) <= W) {
        placeButton(b, x, h);
        continue;
      }
      if (!overflowing) myDropDown.move(x, 0, d, h);
      overflowing = true;
      addOverflow(i->key, b);
    }
  } else {
    for (auto* i = first(myButtons); i && i->key < myHideFrom; i = myButtons.next(i))
      if (i->value.ptr && !hidden(i->key)) placeButton(i->value.ptr, x, h);
    myDropDown.move(x, 0, d, h);
    // The last buttons stay beside the drop-down while they fit; the run
    // from the hide-from id up to the first that does not fit is gathered,
    // disabled ones included, so that none is drawn under another.
    long long room = static_cast<long long>(W) - x - d;
    auto* boundary = last(myButtons);
    for (; boundary && boundary->key >= myHideFrom; boundary = myButtons.prev(boundary)) {
      if (!boundary->value.ptr || hidden(boundary->key)) continue;
      const int w = buttonWidth(boundary->value.ptr);
      if (w > room) break;
      room -= w;
    }
    auto* i = myButtons.find_ge(myHideFrom);
    for (; i && boundary && i->key <= boundary->key; i = myButtons.next(i))
      if (i->value.ptr && !hidden(i->key)) addOverflow(i->key, i->value.ptr);
    x += d;
    for (; i; i = myButtons.next(i))
      if (i->value.ptr && !hidden(i->key)) placeButton(i->value.ptr, x, h);
  }
  sSize s{};
  if (myOverflow.root && cPopupMaster::evalSize(this, &myOverflow, normalList(), s, myFont)) myOverflowWidth = s.cx;
  repaint(nullptr);
}

cPicturesList* cToolBarChild::normalList() {
  cPicturesList** l = myLists.find(cButtonChild::bsNormal);
  return l ? *l : nullptr;
}

sRect cToolBarChild::overflowMenuRect() {
  sPoint at{0, 0};
  myDropDown.absPos(at);
  const int extra = myOverflowHeight > myMaxDDHeight ? 16 : 0;
  return {at.x, at.y + myDropDown.height() + 1, static_cast<int>((myOverflowWidth + extra) * 1.1),
          std::min(myOverflowHeight, myMaxDDHeight)};
}

void cToolBarChild::runOverflowMenu() {
  if (!myOverflow.root) return;
  const sRect r = overflowMenuRect();
  const int id = cPopupMaster::runPopUp(this, &myOverflow, normalList(), r.x, r.y, r.width, r.height, -1, myBgColor,
                                        myTextColor, cPopupMaster::kNoColor, myFont, cPopupMaster::kNoColor,
                                        cPopupMaster::kNoColor, cPopupMaster::kNoColor, cPopupMaster::kNoColor);
  if (id >= 0) notifyAction(new cTbButtonAction(id));
}
