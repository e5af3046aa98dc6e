// A framed, scrolling pane with a bold title over a wrapped, justified text.
// It tells its parent how tall its content is whenever that differs from its
// scroll height, so the parent can set the range.
#pragma once

#include "base/guardchar.h"
#include "ciom/scrollable.h"

class cFontObject;

class cPropDispAreaChild : public cScrollableElement {
 public:
  class cPropDispResizeAction : public cChildAction {
   public:
    int height;
    explicit cPropDispResizeAction(int h) : cChildAction(acChange), height(h) {}
  };

  using cChildElement::setText;
  using cChildElement::text;
  // A negative length takes the whole string; a length never reads past the
  // string's end. A null text shows as empty, a null title as none.
  void setText(const char* title, int titleLen, const char* text, int textLen);
  void setText(const char* title, const char* text) { setText(title, -1, text, -1); }
  void setColorSchema(unsigned int frame, unsigned int background, unsigned int text);
  // Null: the standard bold and plain fonts.
  void setFonts(cFontObject* title, cFontObject* text) {
    myTitleFont = title;
    myTextFont = text;
  }
  void setExtraTitleSpacing(int s) {
    if (s >= 0) myExtraSpacing = s;
  }
  const char* text() override { return myText.ptr; }
  const char* title() const { return myTitle.ptr; }

  void onInitData() override;
  void onPaintArea(cCanvas* c) override;
  bool wantDoubleBuffer() override { return true; }
  int wantBorderWidth() override { return 1; }

 private:
  _guardchar<char> myTitle;
  _guardchar<char> myText;
  unsigned int myFrame = 0, myBackground = 0, myTextColor = 0;
  cFontObject* myTitleFont = nullptr;
  cFontObject* myTextFont = nullptr;
  int myExtraSpacing = 0;
};
