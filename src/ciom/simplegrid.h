// An abstract grid of equal cells in rows that wrap to the element's width,
// scrolling vertically, with one selected cell chosen by mouse or keys. A
// subclass supplies the cells' count, size and spacing and paints one cell;
// it calls notifyGridChanged whenever those change.
#pragma once

#include "ciom/scrollable.h"

class cSimpleGridChild : public cScrollableElement {
 public:
  class cCellAction : public cChildAction {
   public:
    int index;
    cCellAction(int code, int i) : cChildAction(code), index(i) {}
  };

  void notifyGridChanged(bool repaint);
  int hitCell(int x, int y);
  bool cellRect(int index, sRect& r);
  void selectCell(int index, bool notify);
  int selected() const { return mySelected; }
  int columns() const { return myColumns; }
  int rows() const { return myRows; }
  int hSpacing() const { return myHSpacing; }

  void onSizeChanged() override;
  void onMouseButton(int x, int y, int button, bool down) override;
  void onMouseDoubleClick(int x, int y) override;
  void onKey(int key, bool shift, bool mod2, bool mod3) override;
  bool onAction(cChildElement* sender, cChildAction* a) override;
  bool wantTabStop() override { return true; }
  bool wantCaptureArrows() override { return true; }
  void onInitData() override;
  void onPaintArea(cCanvas* c) override;

  virtual void paintElement(cCanvas* c, int index, bool selected) = 0;
  virtual int cellWidth() = 0;
  virtual int cellHeight() = 0;
  virtual int numCells() = 0;
  virtual int cellSpacing() = 0;
  virtual int maxSpacing() = 0;

 private:
  // A selection change by the user: told to the parent, repainted.
  void choose(int index);

  int myColumns = 0, myRows = 0, myCount = 0;
  int mySelected = -1;
  int myHSpacing = 0, myVSpacing = 0;
};
