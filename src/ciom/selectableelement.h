// A label that lights up under the mouse and can be selected: the entries of
// clickable list-like choices. Selected wins over hovered for colours and
// picture; an inactive one stays plain and ignores mouse, focus and keys.
#pragma once

#include "ciom/staticelement.h"

class cSelectableElement : public cStaticElement {
 public:
  // Carries the flags of the focus event that selected the element (both
  // false when the selection came from select()).
  class cSelectableSelectAction : public cChildAction {
   public:
    bool f1, f2;
    cSelectableSelectAction(bool a, bool b) : cChildAction(acChange), f1(a), f2(b) {}
  };

  void onInitData() override;
  bool wantAcceptFoucs() override { return myActive; }
  void onMouseOver() override;
  void onMouseLeft() override;
  void onSetFocusEvent(eEventOrigin origin, bool f1, bool f2) override;
  void onLooseFocus(bool f1, bool f2) override;
  void onMouseDoubleClick(int x, int y) override;
  void onKey(int key, bool shift, bool mod2, bool mod3) override;

  bool select(bool notify);
  bool deselect();
  void wasSelected(bool f1, bool f2);
  bool selected() const { return mySelected; }
  bool active() const { return myActive; }
  void setActive(bool active);

  void setStdColorSchema(unsigned int text, unsigned int bg, unsigned int frame);
  void getStdColorSchema(unsigned int& text, unsigned int& bg, unsigned int& frame) const;
  void setHovColorSchema(unsigned int text, unsigned int bg, unsigned int frame);
  void setSelColorSchema(unsigned int text, unsigned int bg, unsigned int frame);
  void setBgColorStd(unsigned int c);
  void setTxtColorStd(unsigned int c);
  void setTextColorCommon(unsigned int c);
  // The pictures stay the caller's.
  void setImages(cPicture* std, cPicture* hover, cPicture* selected, bool repaint);
  cPicture* image();

 private:
  struct sSchema {
    unsigned int text = 0, bg = 0, frame = 0;
  };
  enum eSchema { sStd = 0, sHover = 1, sSel = 2 };
  eSchema inUse() const { return mySelected ? sSel : myHovered ? sHover : sStd; }
  void showSchema(eSchema s);
  void setSchema(eSchema s, unsigned int text, unsigned int bg, unsigned int frame);

  bool mySelected = false, myHovered = false, myActive = true;
  sSchema mySchemas[3];
  cPicture* myPictures[3] = {nullptr, nullptr, nullptr};
};
