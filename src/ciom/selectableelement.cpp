#include "ciom/selectableelement.h"

#include "ciom/themeuse.h"

void cSelectableElement::onInitData() {
  const int colours[3][3] = {{4, 14, 20}, {4, 15, 22}, {9, 16, 25}};
  for (int s = 0; s < 3; ++s)
    mySchemas[s] = {themeColor(colours[s][0]), themeColor(colours[s][1]), themeColor(colours[s][2])};
  mySelected = myHovered = false;
  myPictures[0] = myPictures[1] = myPictures[2] = nullptr;
  myActive = true;
  cStaticElement::onInitData();
}

cPicture* cSelectableElement::image() {
  if (mySelected && myPictures[sSel]) return myPictures[sSel];
  if (myHovered && myPictures[sHover]) return myPictures[sHover];
  return myPictures[sStd];
}

void cSelectableElement::showSchema(eSchema s) {
  setColorSchema(mySchemas[s].text, mySchemas[s].bg, mySchemas[s].frame);
  setImage(image(), true);
}

void cSelectableElement::onMouseOver() {
  cStaticElement::onMouseOver();
  if (!myActive) return;
  myHovered = true;
  if (!mySelected) showSchema(sHover);
}

void cSelectableElement::onMouseLeft() {
  cStaticElement::onMouseLeft();
  if (!myActive) return;
  myHovered = false;
  if (!mySelected) showSchema(sStd);
}

void cSelectableElement::onSetFocusEvent(eEventOrigin origin, bool f1, bool f2) {
  cStaticElement::onSetFocusEvent(origin, f1, f2);
  if (!myActive) return;
  mySelected = true;
  showSchema(sSel);
  if (origin != eoDirect) notifyAction(new cSelectableSelectAction(f1, f2));
}

void cSelectableElement::onLooseFocus(bool, bool) {
  if (!myActive) return;
  mySelected = false;
  showSchema(myHovered ? sHover : sStd);
}

void cSelectableElement::onMouseDoubleClick(int x, int y) {
  cStaticElement::onMouseDoubleClick(x, y);
  if (myActive) notifyAction(new cChildAction(acActivate));
}

void cSelectableElement::onKey(int key, bool, bool, bool) {
  if (myActive && (key == kcSpace || key == kcEnter)) notifyAction(new cChildAction(acActivate));
}

bool cSelectableElement::select(bool notify) {
  if (!mySelected) {
    mySelected = true;
    showSchema(sSel);
    if (notify) notifyAction(new cSelectableSelectAction(false, false));
  }
  if (notify) focus();
  return true;
}

bool cSelectableElement::deselect() {
  mySelected = false;
  showSchema(myHovered ? sHover : sStd);
  return true;
}

void cSelectableElement::wasSelected(bool f1, bool f2) { notifyAction(new cSelectableSelectAction(f1, f2)); }

void cSelectableElement::setActive(bool active) {
  if (active == myActive) return;
  if (!active && (myHovered || mySelected)) {
    myHovered = mySelected = false;
    showSchema(sStd);
  }
  myActive = active;
}

void cSelectableElement::setSchema(eSchema s, unsigned int text, unsigned int bg, unsigned int frame) {
  mySchemas[s] = {text, bg, frame};
  if (inUse() == s) setColorSchema(text, bg, frame);
}

void cSelectableElement::setStdColorSchema(unsigned int text, unsigned int bg, unsigned int frame) {
  setSchema(sStd, text, bg, frame);
}

void cSelectableElement::getStdColorSchema(unsigned int& text, unsigned int& bg, unsigned int& frame) const {
  text = mySchemas[sStd].text;
  bg = mySchemas[sStd].bg;
  frame = mySchemas[sStd].frame;
}

void cSelectableElement::setHovColorSchema(unsigned int text, unsigned int bg, unsigned int frame) {
  setSchema(sHover, text, bg, frame);
}

void cSelectableElement::setSelColorSchema(unsigned int text, unsigned int bg, unsigned int frame) {
  setSchema(sSel, text, bg, frame);
}

void cSelectableElement::setBgColorStd(unsigned int c) { setSchema(sStd, mySchemas[sStd].text, c, c); }

void cSelectableElement::setTxtColorStd(unsigned int c) {
  setSchema(sStd, c, mySchemas[sStd].bg, mySchemas[sStd].frame);
}

void cSelectableElement::setTextColorCommon(unsigned int c) {
  if (mySchemas[0].text == c && mySchemas[1].text == c && mySchemas[2].text == c) return;
  for (sSchema& s : mySchemas) s.text = c;
  setTextColor(c);
  repaint(nullptr);
}

void cSelectableElement::setImages(cPicture* std, cPicture* hover, cPicture* selected, bool repaint) {
  myPictures[sStd] = std;
  myPictures[sHover] = hover;
  myPictures[sSel] = selected;
  setImage(image(), repaint);
}
