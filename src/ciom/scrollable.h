// The base of every element whose content can be larger than itself: it
// shows a scroll bar in each direction the content does not fit, moves its
// children and its painting by the bars' positions, brings a focused child
// into view and scrolls on the wheel. Subclasses declare the content's size
// and paint it in onPaintArea, shifted by shiftX/shiftY.
#pragma once

#include "base/btree.h"
#include "ciom/child.h"
#include "ciom/scrollbar.h"

class cScrollableElement : public cChildElement {
 public:
  struct sPinMode {
    bool noHorizontal = false, noVertical = false;
  };

  void setMinVisualWidth(int w);
  void setMinVisualHeight(int h);
  int minVisualWidth() const { return myMinVisualW; }
  int minVisualHeight() const { return myMinVisualH; }
  int shiftX() const { return myShiftX; }
  int shiftY() const { return myShiftY; }
  void setPageSize(int h, int v);
  void setQuantumSize(int h, int v);
  int getHScrollRes();
  int getVScrollRes();
  void scrollMinX();
  void scrollMaxX();
  void scrollMinY();
  void scrollMaxY();
  void pinChild(cChildElement* child, bool noHorizontal, bool noVertical);
  bool scrollToChild(cChildElement* child);
  bool adjustScrollTo(sRect& r, bool noHorizontal, bool noVertical);
  void rebuild();
  cHScroll& hbar() { return myHBar; }
  cVScroll& vbar() { return myVBar; }

  bool virtualSize(sSize* s) override;
  bool virtualOffset(sPoint* p) override;
  bool clientRect(sRect* r) override;
  void onPaint(cCanvas* c) override;
  void onSizeChanged() override;
  bool onMouseWheel(int x, int y, bool back, bool horizontal, int count) override;
  bool onAction(cChildElement* sender, cChildAction* a) override;
  bool wantFullRepaint() override { return true; }
  void onInitData() override;
  virtual void onPaintArea(cCanvas*) {}

 private:
  cHScroll myHBar;
  cVScroll myVBar;
  int myMinVisualW = 0, myMinVisualH = 0;
  int myShiftX = 0, myShiftY = 0;
  cFasterTreeList<cChildElement*, sPinMode> myPinned;
};
