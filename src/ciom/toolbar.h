// A row of push buttons keyed by id, laid out left to right in ascending id,
// with a picture list per button state indexed by each button's image
// index. A pressed button reaches the parents as one action with its id.
#pragma once

#include "base/btree.h"
#include "base/buffers.h"
#include "ciom/button.h"

class cPicturesList;

class cToolBarChild : public cChildElement {
 public:
  class cTbButtonAction : public cChildAction {
   public:
    int id;
    explicit cTbButtonAction(int i) : cChildAction(acChange), id(i) {}
  };
  // What the row does when it is narrower than its buttons; only cutting
  // the row at the right edge (0) is built so far.
  enum eSmallerSizeBehavior : int { ssbCut = 0, ssbHideFrom = 1, ssbDropDown = 2 };

  ~cToolBarChild() override;

  // A null text with a negative image removes the button.
  bool setButton(int id, const char* text, int image);
  bool removeButton(int id);
  void removeAll(bool repaint);
  cButtonChild* findButton(int id);
  bool setEnabled(int id, bool on);
  bool isEnabled(int id);
  // The list stays the caller's.
  void setImageList(cButtonChild::eButtonStates state, cPicturesList* list);
  void setImage(cButtonChild* button, int index);
  void setButtonAcceptFocus(bool on);
  void setBgColor(unsigned int c, bool repaint);
  // The width the buttons need side by side.
  int wantsWidth();

  virtual cButtonChild* allocButton() { return new cButtonChild; }
  // False makes setButton fail and drop the button.
  virtual bool initButton(int, cButtonChild*) { return true; }

  void setTransparent(bool on) override;
  void onInitData() override;
  void onPaint(cCanvas* c) override;
  void onSizeChanged() override;
  void onMouseButton(int x, int y, int button, bool down) override;
  bool onAction(cChildElement* sender, cChildAction* a) override;

 private:
  int buttonWidth(cButtonChild* b);
  void rebuildToolbar();

  cFasterTreeList<int, int> myImageIndex;
  cFasterTreeList<int, cPtr<cButtonChild>> myButtons;
  cFasterTreeList<cButtonChild::eButtonStates, cPicturesList*> myLists;
  int myFixedButtonWidth = 0;
  eSmallerSizeBehavior myBehavior = ssbCut;
  cButtonChild::eBorderStyle myBorderedStyle = cButtonChild::bs3D;
  unsigned int myBgColor = 0, myBorderColor = 0, myTextColor = 0;
  cFontObject* myFont = nullptr;
  bool myBorder = false;
  bool myDrawOwnBorder = true;
  cButtonChild::eDispStyle myButtonsStyle = cButtonChild::dsSideBySide;
  int myMinButtonWidth = 0;
  unsigned int myDftLight = 0xFFFFFFFF, myDftDark = 0xFFFFFFFF;
  bool myButtonsAcceptFocus = true;
};
