// A row of push buttons keyed by id, laid out left to right in ascending id,
// with a picture list per button state indexed by each button's image
// index. A pressed button reaches the parents as one action with its id.
#pragma once

#include "base/btree.h"
#include "base/buffers.h"
#include "ciom/activeitem.h"
#include "ciom/button.h"

class cPicturesList;

class cToolBarChild : public cChildElement {
 public:
  class cTbButtonAction : public cChildAction {
   public:
    int id;
    explicit cTbButtonAction(int i) : cChildAction(acChange), id(i) {}
  };
  // What the row does when it is narrower than its buttons: cut at the right
  // edge (0), or gather the buttons that do not fit behind a drop-down
  // button: those from the hide-from id on (1), or those after the last
  // button that fits (2).
  enum eSmallerSizeBehavior : int { ssbCut = 0, ssbHideFrom = 1, ssbDropDown = 2 };
  static constexpr int kDropDownPicture = 72;

  ~cToolBarChild() override;

  // A null text with a negative image removes the button.
  bool setButton(int id, const char* text, int image);
  bool setSeparator(int id);
  bool removeButton(int id);
  bool setVisible(int id, bool on);
  using cChildElement::setHint;
  bool setHint(int id, const char* hint);
  bool setButtonFont(int id, cFontObject* font);
  bool setButtonTextColor(int id, unsigned int c);
  bool buttonAbsPos(int id, sPoint& p);
  void removeAll(bool repaint);
  cButtonChild* findButton(int id);
  bool setEnabled(int id, bool on);
  bool isEnabled(int id);
  // The list stays the caller's.
  void setImageList(cButtonChild::eButtonStates state, cPicturesList* list);
  void setImage(cButtonChild* button, int index);
  void setButtonAcceptFocus(bool on);
  void setBgColor(unsigned int c, bool repaint);
  void setFixedButtonWidth(int w);
  void setBorderedButtonStyle(cButtonChild::eBorderStyle s);
  void setButtonsStyle(cButtonChild::eDispStyle s);
  void setButtonsFont(cFontObject* font);
  void setBorder(bool on);
  void setMinButtonWidth(int w) { myMinButtonWidth = w; }
  void setMaxDDHeight(int h);
  void setSmallerSizeBehavior(eSmallerSizeBehavior b);
  void setHideFrom(int id);
  void setDftBorderColors(unsigned int light, unsigned int dark);
  void setButtonsTextColor(unsigned int c);
  // Per state, for the buttons there now; later buttons keep their own.
  void setButtonsTextColor(cButtonChild::eButtonStates state, unsigned int c);
  void setButtonsBorderColor(cButtonChild::eButtonStates state, unsigned int c);
  // The picture stays the caller's.
  void refButtonsBgImage(cButtonChild::eButtonStates state, cPicture* p);
  void setDrawOwnBorder(bool on);
  // The buttons gathered behind the drop-down, in id order.
  const cFasterTreeList<int, sActiveElementItem>& overflowItems() const { return myOverflow; }
  cButtonChild& dropDown() { return myDropDown; }
  // Where the overflow menu opens and how large, as the last relayout left it.
  sRect overflowMenuRect();
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
  void placeButton(cButtonChild* b, int& x, int h);
  void addOverflow(int id, cButtonChild* b);
  void runOverflowMenu();
  cPicturesList* normalList();
  // Relayout when the row no longer fits or the drop-down is up.
  void refitIfNeeded();
  bool hidden(int id) { return myHidden.find(id) != nullptr; }
  template <typename F>
  void eachButton(F f) {
    for (auto* i = myButtons.root ? myButtons.leftmost(myButtons.root) : nullptr; i; i = myButtons.next(i))
      if (i->value.ptr) f(i->value.ptr);
  }

  cFasterTreeList<int, bool> myHidden;
  cButtonChild myDropDown;
  cFasterTreeList<int, sActiveElementItem> myOverflow;
  int myOverflowWidth = 0, myOverflowHeight = 0;
  int myMaxDDHeight = 200;
  int myHideFrom = 0;

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
