// Panes side by side (cSplitterChild) or stacked (cVSplitterChild), each of
// a proportion of the splitter's length or of a fixed length, with a bar
// between neighbours that the mouse drags. In fixed mode the splitter sizes
// itself to its items and asks its parent to follow; a filler element can
// take the rest up to a minimum length. One implementation serves both
// axes; the horizontal splitter alone has settable bars, trims and
// minimum-size handling.
#pragma once

#include "base/btree.h"
#include "ciom/child.h"

class cSplitterCore : public cChildElement {
 public:
  class cResizeRequestAction : public cChildAction {
   public:
    int length;
    explicit cResizeRequestAction(int l) : cChildAction(acChange), length(l) {}
  };

  using cChildElement::attach;
  bool attach(int index, cChildElement* element, int size);
  bool resizeItem(int index, int size);
  int itemSize(int index);
  void setScalable(bool on);
  bool scalable() const { return !myFixed; }
  void setMinSplittingSize(int size, cChildElement* filler);
  void fix(bool locked);
  void rebuild(int from);

  void onPaint(cCanvas* c) override;
  void onSizeChanged() override;
  void onMouseButton(int x, int y, int button, bool down) override;
  void onMouseMoving(int x, int y) override;
  bool wantAcceptFoucs() override { return true; }
  eMousePointerTypes defaultPointer() override { return myVertical ? mptSizeNS : mptSizeWE; }
  void onInitData() override;

 protected:
  explicit cSplitterCore(bool vertical) : myVertical(vertical) {}

  bool myVertical;
  unsigned int myBand = 0, myLine = 0;
  int myTopTrim = 0, myBottomTrim = 0;
  int mySplit = 3;

 private:
  int length() { return myVertical ? height() : width(); }
  int thickness() { return myVertical ? width() : height(); }
  int lengthOf(cChildElement* e) { return myVertical ? e->height() : e->width(); }
  int minLengthOf(cChildElement* e) { return myVertical ? e->minHeight() : e->minWidth(); }
  void place(cChildElement* e, int at, int len, int across);
  // Sets the splitter's own length and asks the parent to follow.
  void resizeSelf(int len);

  cFasterTreeList<int, cChildElement*> myItems;
  cFasterTreeList<int, double> mySizes;
  bool myFixed = false;
  int myDrag = -1, myDragItem = 0, myDragLeft = 0, myDragRight = 0;
  int myMinSplitting = 0;
  bool myLocked = false;
  cChildElement* myFiller = nullptr;
  int myDepth = 0;
};

class cSplitterChild : public cSplitterCore {
 public:
  cSplitterChild() : cSplitterCore(false) {}
  void setSplitWidth(int w);
  int splitReservedWidth() const { return mySplit; }
  void setLineTrims(int top, int bottom);
  void setColors(unsigned int line, unsigned int band);
};

class cVSplitterChild : public cSplitterCore {
 public:
  cVSplitterChild() : cSplitterCore(true) {}
  int splitReservedHeight() const { return 3; }
  void setColors(unsigned int line, unsigned int band) {
    myLine = line;
    myBand = band;
  }
};
