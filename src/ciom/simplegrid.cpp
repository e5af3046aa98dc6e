#include "ciom/simplegrid.h"

#include <algorithm>
#include <climits>
#include <vector>

#include "ciom/canvas.h"

namespace {

constexpr unsigned int kWhite = 0xFFFFFF;

int toInt(long long v) { return static_cast<int>(std::clamp<long long>(v, INT_MIN, INT_MAX)); }

}  // namespace

void cSimpleGridChild::onInitData() {
  cScrollableElement::onInitData();
  myColumns = myRows = myCount = myHSpacing = 0;
  mySelected = -1;
  myVSpacing = cellSpacing();
  setQuantumSize(cellSpacing(), cellHeight() + myVSpacing);
  setMinVisualWidth(cellWidth());
  notifyGridChanged(false);
}

void cSimpleGridChild::notifyGridChanged(bool repaint) {
  bool changed = false;
  const int n = std::max(numCells(), 0);
  if (n != myCount) {
    mySelected = -1;
    myCount = n;
    changed = true;
  }
  if (!n) {
    if (changed && repaint) this->repaint(nullptr);
    setMinVisualHeight(0);
    return;
  }
  const int cw = cellWidth(), ch = cellHeight(), sp = myVSpacing;
  sSize v;
  virtualSize(&v);
  // Cells with no width or height, or spacing that cancels them, make no
  // grid; nothing below may divide by their size.
  if (v.cx < cw || cw <= 0 || ch <= 0 || sp < 0) {
    myColumns = myRows = 0;
    mySelected = -1;
    return;
  }
  const int q = v.cx / (sp + cw);
  const int columns = (2LL * q + 1) * cw <= v.cx ? q + 1 : q;
  changed |= columns != myColumns;
  myColumns = std::max(columns, 1);
  const int hs = myColumns > 1 ? std::min(maxSpacing(), (v.cx - cw * myColumns) / (myColumns - 1)) : 0;
  changed |= hs != myHSpacing;
  myHSpacing = hs;
  const int rows = static_cast<int>((static_cast<long long>(n) + myColumns - 1) / myColumns);
  if (rows != myRows) {
    myRows = rows;
    changed = true;
    setMinVisualHeight(toInt(static_cast<long long>(rows - 1) * sp + static_cast<long long>(ch) * rows));
  }
  if (changed && repaint) this->repaint(nullptr);
}

void cSimpleGridChild::onSizeChanged() {
  cScrollableElement::onSizeChanged();
  notifyGridChanged(true);
}

int cSimpleGridChild::hitCell(int x, int y) {
  if (myColumns <= 0 || x < 0 || y < 0) return -1;
  const long long px = static_cast<long long>(x) + shiftX(), py = static_cast<long long>(y) + shiftY();
  const int cw = cellWidth(), ch = cellHeight();
  const long long colStep = myHSpacing + cw, rowStep = myVSpacing + ch;
  const long long column = px / colStep, row = py / rowStep;
  if (column >= myColumns || column >= myCount) return -1;
  if (px - column * colStep >= cw || py - row * rowStep >= ch) return -1;
  const long long index = row * myColumns + column;
  return index < myCount ? static_cast<int>(index) : -1;
}

bool cSimpleGridChild::cellRect(int index, sRect& r) {
  if (index < 0 || index >= myCount || myColumns <= 0) return false;
  const int cw = cellWidth(), ch = cellHeight();
  r = {toInt(static_cast<long long>(myHSpacing + cw) * (index % myColumns)),
       toInt(static_cast<long long>(ch + myVSpacing) * (index / myColumns)), cw, ch};
  return true;
}

void cSimpleGridChild::selectCell(int index, bool notify) {
  if (index < 0 || index >= myCount || index == mySelected) return;
  mySelected = index;
  if (notify) {
    notifyAction(new cCellAction(acChange, index));
  } else {
    sRect r;
    if (cellRect(index, r)) adjustScrollTo(r, false, false);
  }
  repaint(nullptr);
}

void cSimpleGridChild::choose(int index) {
  mySelected = index;
  notifyAction(new cCellAction(acChange, index));
  repaint(nullptr);
}

void cSimpleGridChild::onMouseButton(int x, int y, int button, bool down) {
  if (button != mbLeft || !down) return;
  const int i = hitCell(x, y);
  if (i != mySelected) choose(i);
}

void cSimpleGridChild::onMouseDoubleClick(int x, int y) {
  const int i = hitCell(x, y);
  if (i < 0) return;
  notifyAction(new cCellAction(acActivate, i));
  if (i != mySelected) {
    mySelected = i;
    repaint(nullptr);
  }
}

void cSimpleGridChild::onKey(int key, bool shift, bool mod2, bool mod3) {
  if (shift || mod2 || mod3 || myColumns <= 0 || myCount <= 0) return;
  const int s = mySelected, last = myCount - 1;
  switch (key) {
    case kcHome:
    case kcPageUp:
      if (s > 0) choose(0);
      break;
    case kcLeft:
      if (s >= 0 && s % myColumns) choose(s - 1);
      break;
    case kcUp:
      if (s >= myColumns) choose(s - myColumns);
      break;
    case kcRight:
      if (s < 0)
        choose(0);
      else if (s % myColumns != myColumns - 1 && s < last)
        choose(s + 1);
      break;
    case kcDown:
      if (s < 0)
        choose(0);
      else if (static_cast<long long>(s) + myColumns <= last)
        choose(s + myColumns);
      break;
    case kcEnd:
    case kcPageDown:
      if (s < last) choose(last);
      break;
    case kcEnter:
    case kcSpace:
      if (s >= 0) notifyAction(new cCellAction(acActivate, s));
      break;
    default: break;
  }
}

bool cSimpleGridChild::onAction(cChildElement* sender, cChildAction* a) {
  if (sender == this && a && a->code == acChange) {
    const auto* cell = dynamic_cast<cCellAction*>(a);
    sRect r;
    if (cell && cell->index >= 0 && cellRect(cell->index, r)) adjustScrollTo(r, false, false);
  }
  return cScrollableElement::onAction(sender, a);
}

void cSimpleGridChild::onPaintArea(cCanvas* c) {
  if (!c) return;
  sRect client;
  clientRect(&client);
  if (myCount <= 0 || myColumns <= 0) {
    c->drawRect(&client, kWhite, kWhite);
    return;
  }
  const int cw = cellWidth(), ch = cellHeight(), sp = myVSpacing, hs = myHSpacing;
  const long long rowStep = sp + ch, colStep = hs + cw;
  long long r0 = shiftY() / rowStep, c0 = shiftX() / colStep;
  if (sp * r0 + (r0 + 1) * ch <= shiftY()) ++r0;
  if (hs * c0 + (c0 + 1) * cw <= shiftX()) ++c0;
  // Visible cells as (index, x, y) on the canvas, row by row.
  struct sCell {
    int index, x, y;
  };
  std::vector<sCell> cells;
  for (long long row = r0; row * rowStep - shiftY() < client.height; ++row) {
    for (long long col = c0; col < myColumns && col * colStep - shiftX() < client.width; ++col) {
      const long long index = row * myColumns + col;
      if (index >= myCount) break;
      cells.push_back({static_cast<int>(index), toInt(col * colStep - shiftX()), toInt(row * rowStep - shiftY())});
    }
    if ((row + 1) * myColumns >= myCount) break;
  }
  for (const sCell& cell : cells) {
    sRect r{cell.x, cell.y, cw, ch};
    c->clip(&r);
  }
  c->select();
  c->drawRect(&client, kWhite, kWhite);
  c->unclip(&client);
  c->select();
  cCanvas* off = c->offscreen(cw, ch, -1, -1);
  if (!off) return;
  for (const sCell& cell : cells) {
    paintElement(off, cell.index, cell.index == mySelected);
    c->draw(cell.x, cell.y, off, 0, 0, -1, -1);
  }
  delete off;
}
