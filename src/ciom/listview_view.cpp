#include <algorithm>
#include <climits>
#include <cstring>
#include <utility>
#include <vector>

#include "base/casemap.h"
#include "base/textconv.h"
#include "ciom/fontobject.h"
#include "ciom/listview.h"
#include "ciom/pictureslist.h"
#include "ciom/themeuse.h"

namespace {

constexpr int kBaseRowHeight = 13;
constexpr int kCheckBox = 14;
constexpr unsigned int kNoColour = 0xFFFFFFFF;
constexpr unsigned int kTypeAheadPauseMs = 401;

}  // namespace

struct cListViewChild::sCellColours {
  unsigned int bg, text, line;
};

void cListViewChild::onInitData() {
  cScrollableElement::onInitData();
  const int hh = themeDim(23);
  if (!isDirectChild(&myHeader)) attach(&myHeader, 1, 1, std::max(width() - 2, 1), hh, cptFixedY);
  myHeader.setMinButtonsWidth(width() - 2);
  setQuantumSize(5, 1);
  setMinVisualHeight(hh);
  setPageSize(width(), height());
  myBatch = myPending = myRemeasure = false;
  myImages = myAltImages = mySelImages = nullptr;
  myBg = themeColor(14);
  myBorder = themeColor(21);
  myTextColor = themeColor(4);
  mySelBg[1] = themeColor(16);
  mySelText[1] = themeColor(9);
  mySelBorder[1] = themeColor(25);
  mySelBg[0] = themeColor(18);
  mySelText[0] = themeColor(4);
  mySelBorder[0] = themeColor(26);
  myFullLine = false;
  myFullBg[1] = themeColor(16);
  myFullBg[0] = themeColor(18);
  mySpacing = myChbSpacing = myTextPadding = 0;
  myMulti = false;
  mySortColumn = -1;
  myCheckMode = false;
  myTypedCount = 0;
  myTypedAt = 0;
  clearTrees();
}

namespace {

// Text of printable ASCII on one line comes from the font's own glyphs, so
// every such text measures the font's line height; only other text needs the
// platform's layout, which is costly enough to dominate a large list.
bool plainText(const char* text) {
  if (!*text) return false;
  for (; *text; ++text)
    if (*text < 0x20 || *text > 0x7E) return false;
  return true;
}

}  // namespace

unsigned short cListViewChild::measure(sListViewDataItem& cell, int& plain) {
  int h = 0;
  sSize s{};
  if (cell.text.ptr) {
    const bool cached = plainText(cell.text.ptr);
    if (cached && plain >= 0) {
      h = plain;
    } else if (sizeOf(cell.text.ptr, s, stdFont())) {
      h = s.cy;
      if (cached) plain = h;
    }
  }
  if (cell.image != -1) {
    if (myImages)
      if (cPicture* p = myImages->image(cell.image); p && p->height() > 0) h = std::max(h, p->height());
    for (cPicturesList* l : {myAltImages, mySelImages})
      if (cPicture* p = l ? l->image(cell.image) : nullptr) h = std::max(h, p->height());
  }
  return static_cast<unsigned short>(std::clamp(h + 4, 0, 0xFFFF));
}

void cListViewChild::build(bool remeasure) {
  int smallest = height();
  long long y = myHeader.visible_child() ? myHeader.height() : 0;
  {
    cSafeCriticalSectionAccess hold(&myLock);
    // This layout takes in every change a job left for the main thread.
    if (!myBatch) {
      remeasure |= myRemeasure;
      myPending = myRemeasure = false;
    }
    std::vector<std::pair<int, sItemYDs>> laidOut;
    std::vector<std::pair<int, int>> rowY;
    int plain = -1;
    const std::vector<cRow*>& rows = rowsInOrder();
    for (size_t i = 0; i < rows.size() && y < INT_MAX; ++i) {
      if (!myColumns.root) {
        y += kBaseRowHeight;
        continue;
      }
      prefetch(rows, i);
      cRow* row = rows[i];
      int h = kBaseRowHeight;
      for (auto* c = row->root ? row->leftmost(row->root) : nullptr; c; c = row->next(c)) {
        if (!myColumns.find(c->key)) continue;
        if (!c->value.height || remeasure) c->value.height = measure(c->value, plain);
        h = std::max<int>(h, c->value.height);
      }
      h += mySpacing;
      if (!row->root) continue;
      const int at = static_cast<int>(y);
      laidOut.emplace_back(at, sItemYDs{idOf(row), h});
      rowY.emplace_back(idOf(row), at);
      smallest = std::min(smallest, h);
      y += h;
    }
    // Row ids follow the display order only until a sort.
    std::sort(rowY.begin(), rowY.end());
    refill(myLaidOut, laidOut);
    refill(myRowY, rowY);
  }
  setQuantumSize(5, std::max(smallest, 1));
  setMinVisualHeight(static_cast<int>(std::min<long long>(y, INT_MAX)));
  repaint(nullptr);
}

bool cListViewChild::itemPos(int row, int& y) {
  cSafeCriticalSectionAccess hold(&myLock);
  int* at = myRowY.find(row);
  if (!at) return false;
  y = *at - shiftY();
  return true;
}

bool cListViewChild::itemRange(int row, int& top, int& bottom) {
  cSafeCriticalSectionAccess hold(&myLock);
  int* at = myRowY.find(row);
  sItemYDs* d = at ? myLaidOut.find(*at) : nullptr;
  if (!d) return false;
  top = *at - shiftY();
  bottom = top + d->height;
  return true;
}

bool cListViewChild::adjustScrollToItem(int row) {
  cSafeCriticalSectionAccess hold(&myLock);
  int* at = myRowY.find(row);
  sListViewDataItem* c = firstCell(rowOf(row));
  if (!at || !c) return false;
  sRect r{0, *at, 1, c->height};
  return adjustScrollTo(r, false, false);
}

bool cListViewChild::clientRect(sRect* r) {
  if (!cScrollableElement::clientRect(r)) return false;
  if (myHeader.visible_child()) {
    r->y += myHeader.height();
    r->height -= myHeader.height();
  }
  return true;
}

void cListViewChild::onSizeChanged() {
  sRect c;
  clientRect(&c);
  myHeader.setMinButtonsWidth(c.width);
  setMinVisualWidth(myHeader.width());
  setPageSize(c.width, c.height);
  cScrollableElement::onSizeChanged();
}

void cListViewChild::onSetFocus(bool f1, bool f2) {
  cScrollableElement::onSetFocus(f1, f2);
  repaint(nullptr);
}

void cListViewChild::onLooseFocus(bool f1, bool f2) {
  cScrollableElement::onLooseFocus(f1, f2);
  repaint(nullptr);
}

bool cListViewChild::onAction(cChildElement* sender, cChildAction* a) {
  if (sender == this && a && a->code == laLayout) {
    {
      cSafeCriticalSectionAccess hold(&myLock);
      myLayoutPosted = false;
      // A batch begun meanwhile lays the list out at its end.
      if (myBatch || !myPending) return true;
    }
    build(false);  // takes in the pending changes, a remeasure among them
    return true;
  }
  if (sender == &myHeader && a) {
    if (auto* r = dynamic_cast<cSplitterCore::cResizeRequestAction*>(a)) {
      sRect c;
      clientRect(&c);
      setMinVisualWidth(r->length);
      myHeader.setMinButtonsWidth(c.width);
      return true;
    }
    if (auto* click = dynamic_cast<cHeaderChild::cColumnClickAction*>(a)) {
      headerClick(click->column);
      return true;
    }
    if (a->code == acActivate) {
      build(false);
      return true;
    }
  }
  return cScrollableElement::onAction(sender, a);
}

// ---- selection by keys and mouse ----

void cListViewChild::selectRow(cRow* row, cRow* previous, bool add, bool range, bool mark) {
  {
    cSafeCriticalSectionAccess hold(&myLock);
    if (row != myCurrent) post(laSelection, idOf(row));
    myCurrent = row;
    if (!myMulti || (!add && !range)) {
      deselectAllBut(row);
    } else if (range && previous && previous != row) {
      int a = indexOf(previous), b = indexOf(row);
      if (a > b) std::swap(a, b);
      for (auto* it = myOrder.find_ge(a); it && it->key <= b; it = myOrder.next(it))
        markSelected(it->value, true);
    }
    if (mark) markSelected(row, true);
    adjustScrollToItem(idOf(row));
  }
  repaint(nullptr);
}

cListViewChild::cRow* cListViewChild::hitRow(int x, int y, bool& inCheckBox) {
  inCheckBox = false;
  const long long cy = static_cast<long long>(y) + shiftY();
  if (cy < INT_MIN || cy > INT_MAX) return nullptr;
  auto* it = myLaidOut.find_le(static_cast<int>(cy));
  if (!it || cy > static_cast<long long>(it->key) + it->value.height) return nullptr;
  const long long cx = static_cast<long long>(x) + shiftX();
  inCheckBox = myCheckMode && cx >= myChbSpacing / 2 && cx < myChbSpacing / 2 + kCheckBox;
  return rowOf(it->value.row);
}

void cListViewChild::toggleCheck(cRow* row) {
  sListViewDataItem* c = firstCell(row);
  c->flags ^= cfChecked;
  post(laCheck, c->row);
  repaint(nullptr);
}

void cListViewChild::processMouseBtn(int x, int y, int button, bool down, bool add, bool range) {
  // A double click found here pairs this press with the one before.
  cScrollableElement::processMouseBtn(x, y, button, down, add, range);
  if (button == mbLeft && down) myLastPressHeld = myRowsHeld;
  sRect client;
  clientRect(&client);
  if (!down || (button != mbLeft && button != mbRight) || myRowsHeld || x < client.x || y < client.y ||
      x >= client.x + client.width || y >= client.y + client.height)
    return;
  cSafeCriticalSectionAccess hold(&myLock);
  bool inBox = false;
  cRow* row = hitRow(x, y, inBox);
  // Only the row's first cell carries its state; a row whose first column
  // holds no cell is out of reach like empty space.
  sListViewDataItem* head = row ? firstCell(row) : nullptr;
  if (head && myColumns.root && head != row->find(myColumns.leftmost(myColumns.root)->key)) head = nullptr;
  if (!head) {
    if (button == mbLeft && myCurrent) {
      deselectAllBut(nullptr);
      myCurrent = nullptr;
      post(laSelection, -1);
      repaint(nullptr);
    }
    return;
  }
  if (button == mbLeft && inBox) {
    toggleCheck(row);
    return;
  }
  if (!(head->flags & cfSelected)) {
    selectRow(row, myCurrent, add, range, true);
  } else if (button == mbLeft) {
    if (add) {
      markSelected(row, false);
      if (myCurrent == row) myCurrent = nullptr;
    } else if (!range) {
      deselectAllBut(row);
      myCurrent = row;
    }
    repaint(nullptr);
  }
}

void cListViewChild::onMouseDoubleClick(int x, int y) {
  sRect client;
  clientRect(&client);
  // Half of it aimed at rows the screen did not show yet.
  if (myRowsHeld || myLastPressHeld) return;
  if (x < client.x || y < client.y || x >= client.x + client.width || y >= client.y + client.height) return;
  cSafeCriticalSectionAccess hold(&myLock);
  bool inBox = false;
  cRow* row = hitRow(x, y, inBox);
  sListViewDataItem* head = row ? firstCell(row) : nullptr;
  if (head && myColumns.root && head != row->find(myColumns.leftmost(myColumns.root)->key)) head = nullptr;
  if (head) {
    if (!inBox) post(laActivate, head->row);
  } else if (myCurrent) {
    deselectAllBut(nullptr);
    myCurrent = nullptr;
    post(laSelection, -1);
    repaint(nullptr);
  }
}

void cListViewChild::onKey(int key, bool range, bool add, bool third) {
  if (myRowsHeld) {
    static constexpr int kRowKeys[] = {kcEnter, kcSpace, 'A', kcEscape, kcHome, kcEnd, kcUp, kcDown, kcPageUp, kcPageDown};
    if (std::find(std::begin(kRowKeys), std::end(kRowKeys), key) != std::end(kRowKeys)) return;
  }
  cSafeCriticalSectionAccess hold(&myLock);
  auto* firstIt = myOrder.root ? myOrder.leftmost(myOrder.root) : nullptr;
  auto* lastIt = myOrder.root ? myOrder.rightmost(myOrder.root) : nullptr;
  auto* curIt = myCurrent ? myOrder.find_item(indexOf(myCurrent)) : nullptr;
  cRow* target = nullptr;
  bool passAdd = false;
  switch (key) {
    case 450: notifyAction(new cChildAction(laRefresh)); return;
    case kcEnter:
      if (myCurrent) post(laActivate, idOf(myCurrent));
      return;
    case kcSpace: {
      sListViewDataItem* head = firstCell(myCurrent);
      if (myCheckMode && head && myColumns.root && head == myCurrent->find(myColumns.leftmost(myColumns.root)->key))
        toggleCheck(myCurrent);
      return;
    }
    case 'A':
      if (add && myMulti && firstIt) {
        selectRow(firstIt->value, lastIt->value, false, true, true);
        return;
      }
      break;
    case kcEscape:
      if (myCurrent) {
        deselectAllBut(nullptr);
        myCurrent = nullptr;
        post(laSelection, -1);
        repaint(nullptr);
      }
      return;
    case kcBackspace: notifyAction(new cChildAction(laBack)); return;
    case kcHome: target = firstIt ? firstIt->value : nullptr; break;
    case kcEnd: target = lastIt ? lastIt->value : nullptr; break;
    case kcUp:
    case kcDown: {
      passAdd = add;
      auto* to = curIt ? (key == kcUp ? myOrder.prev(curIt) : myOrder.next(curIt)) : firstIt;
      target = to ? to->value : myCurrent;
      break;
    }
    case kcPageUp:
    case kcPageDown: {
      const bool down = key == kcPageDown;
      auto* edge = down ? lastIt : firstIt;
      if (!curIt || curIt == edge) {
        target = edge ? edge->value : nullptr;
        break;
      }
      sRect client;
      clientRect(&client);
      long long left = client.height;
      auto* it = down ? myOrder.next(curIt) : myOrder.prev(curIt);
      for (;;) {
        const sListViewDataItem* c = firstCell(it->value);
        const int h = c ? c->height : 0;
        auto* further = down ? myOrder.next(it) : myOrder.prev(it);
        if (left <= h || !further) break;
        left -= h;
        it = further;
      }
      target = it->value;
      break;
    }
    default: break;
  }
  if (target) {
    selectRow(target, myCurrent, passAdd, range, true);
    return;
  }
  cScrollableElement::onKey(key, range, add, third);
}

void cListViewChild::onChar(unsigned short ch, bool f1, bool f2, bool f3) {
  const unsigned int now = clockMs();
  const bool pause = now - myTypedAt >= kTypeAheadPauseMs;
  if (pause) myTypedCount = 0;
  if (myTypedCount < 10) myTyped[myTypedCount++] = ch;
  if (!myRowsHeld) {
    cSafeCriticalSectionAccess hold(&myLock);
    const int from = myCurrent ? indexOf(myCurrent) : 0;
    auto* it = myOrder.find_ge(from);
    if (it && pause && myCurrent && it->key == from) it = myOrder.next(it);
    for (; it; it = myOrder.next(it)) {
      const sListViewDataItem* c = firstCell(it->value);
      unsigned short units[10] = {};
      if (!c || !c->text.ptr) continue;
      // Ten characters take at most forty bytes; the rest is never compared.
      utf82w(c->text.ptr, static_cast<long long>(strnlen(c->text.ptr, 40)), units, 10, nullptr);
      bool match = true;
      for (int i = 0; i < myTypedCount && match; ++i) match = units[i] && __acp_lower(units[i]) == __acp_lower(myTyped[i]);
      if (match) {
        selectRow(it->value, myCurrent, false, false, true);
        break;
      }
    }
  }
  myTypedAt = now;
  cScrollableElement::onChar(ch, f1, f2, f3);
}

// ---- painting ----

int cListViewChild::paintCell(cCanvas* c, sListViewDataItem* cell, int col, bool firstCol, bool topLine, int x,
                              int top, int width, int h, const sCellColours& k) {
  const sListViewColumnData* column = myColumns.find(col);
  int used = 0;
  bool firstPiece = true;
  // Each piece is drawn apart and copied, so that nothing of one piece
  // spills into its neighbour.
  // The indent band takes the row's lines but not the cell's left line,
  // which goes to the first piece after it.
  auto piece = [&](int w, bool rightLine, auto&& draw, bool band = false) {
    w = std::min(w, width - used);
    if (w <= 0) return;
    cCanvas* off = c->offscreen(w, h, -1, -1);
    if (!off) return;
    sRect all{0, 0, w, h};
    off->drawRect(&all, k.bg, k.bg);
    draw(off, w);
    off->setLineMode(k.line, 1);
    sPoint a{0, h - 1}, b{w - 1, h - 1};
    off->drawLine(&a, &b);
    // Below a row drawn selected, that row's bottom line stays the border.
    if (topLine) {
      sPoint p{0, 0}, q{w - 1, 0};
      off->drawLine(&p, &q);
    }
    if (firstPiece && !band) {
      sPoint p{0, 0}, q{0, h - 1};
      off->drawLine(&p, &q);
    }
    if (rightLine) {
      sPoint p{w - 1, 0}, q{w - 1, h - 1};
      off->drawLine(&p, &q);
    }
    c->draw(x + used, top, off, 0, 0, -1, -1);
    delete off;
    used += w;
    firstPiece = firstPiece && band;
  };
  if (cell->indent) {
    const unsigned int bandBg = myFullLine ? k.bg : myBg;
    piece(
        cell->indent, false,
        [&](cCanvas* off, int w) {
          sRect all{0, 0, w, h};
          off->drawRect(&all, bandBg, bandBg);
        },
        true);
  }
  if (myCheckMode && firstCol) {
    if (!myChecked) myChecked = themePict(31);
    if (!myUnchecked) myUnchecked = themePict(30);
    cPicture* p = (firstCell(rowOf(cell->row))->flags & cfChecked) ? myChecked : myUnchecked;
    piece(myChbSpacing + kCheckBox, false, [&](cCanvas* off, int w) {
      if (!p) return;
      sPoint at{(w - p->width()) / 2, (h - p->height()) / 2};
      off->drawTransparent(&at, p, nullptr);
    });
  }
  if (cell->image != -1) {
    cPicture* p = myImages ? myImages->image(cell->image) : nullptr;
    cPicturesList* other = (cell->flags & cfSelected)    ? mySelImages
                           : (cell->flags & cfAlternate) ? myAltImages
                                                         : nullptr;
    if (cPicture* q = other ? other->image(cell->image) : nullptr) p = q;
    if (p)
      piece(p->width() + 4, false, [&](cCanvas* off, int) {
        sPoint at{2, (h - p->height()) / 2};
        off->drawTransparent(&at, p, nullptr);
      });
  }
  const unsigned int colour = cell->textColor != kNoColour                 ? cell->textColor
                              : column && column->textColor != kNoColour ? column->textColor
                                                                          : k.text;
  piece(width - used, true, [&](cCanvas* off, int w) {
    if (!cell->text.ptr) return;
    if (column && column->font)
      off->setTextMode(column->font);
    else
      off->setTextMode(stdFont());
    off->setTextColors(colour, k.bg);
    off->drawTextLimited(myTextPadding, 0, w - myTextPadding, h, column ? column->align : cCanvas::eAlignLeft, true,
                         2, 0, cell->text.ptr, -1, nullptr, false);
  });
  return used;
}

bool cListViewChild::paintRow(cCanvas* c, cRow* row, int top, int h, int w, bool belowSelected) {
  const bool focus = hasFocus();
  const sCellColours plain{myBg, myTextColor, myBg};
  const sCellColours full{myFullBg[focus], mySelText[focus], myFullBg[focus]};
  const sCellColours framed{mySelBg[focus], mySelText[focus], mySelBorder[focus]};
  // Only the cell that carries the row's selection is framed; with full-line
  // selection the colour runs on from it to the row's end.
  bool marked = false;
  auto restBg = [&] { return marked && myFullLine ? full.bg : myBg; };
  const int gap = myHeader.separatorWidth();
  long long x = 1 - static_cast<long long>(shiftX());
  bool firstCol = true;
  for (auto* col = myColumns.root ? myColumns.leftmost(myColumns.root) : nullptr; col; col = myColumns.next(col)) {
    const int cw = myHeader.columnWidth(col->key);
    const bool isFirst = firstCol;
    firstCol = false;
    sListViewDataItem* cell = row->find(col->key);
    const bool selectedCell = cell && (cell->flags & cfSelected);
    marked = marked || selectedCell;
    if (cw >= 1 && x + cw >= 1 && x < w) {
      if (cell) {
        const sCellColours& k = selectedCell ? (myFullLine ? full : framed) : marked && myFullLine ? full : plain;
        paintCell(c, cell, col->key, isFirst, !belowSelected, static_cast<int>(x), top, cw, h, k);
      } else {
        sRect r{static_cast<int>(x), top, cw, h};
        c->drawRect(&r, restBg(), restBg());
      }
    }
    if (gap > 0 && x + cw < w) {
      sRect r{static_cast<int>(x + cw), top, gap, h};
      c->drawRect(&r, restBg(), restBg());
    }
    x += static_cast<long long>(cw) + gap;
  }
  if (x < w - 1) {
    sRect r{static_cast<int>(std::max<long long>(x, 1)), top, static_cast<int>(w - 1 - std::max<long long>(x, 1)), h};
    c->drawRect(&r, restBg(), restBg());
  }
  return marked;
}

void cListViewChild::onPaintArea(cCanvas* c) {
  if (!c) return;
  const int w = width(), h = height();
  sRect all{0, 0, w, h};
  c->drawRect(&all, myBg, myBg);
  // Rows stay off the border, the header and the bars: only the client
  // rectangle inside the border is drawable while they are painted.
  sRect client;
  clientRect(&client);
  const int b = myBorderWidth;
  const sRect in{client.x + b, client.y + b, std::max(client.width - 2 * b, 0), std::max(client.height - 2 * b, 0)};
  sRect around[4] = {{0, 0, w, in.y},
                     {0, in.y + in.height, w, h - in.y - in.height},
                     {0, in.y, in.x, in.height},
                     {in.x + in.width, in.y, w - in.x - in.width, in.height}};
  for (sRect& r : around)
    if (r.width > 0 && r.height > 0) c->clip(&r);
  c->select();
  bool drewAny = false;
  {
    cSafeCriticalSectionAccess hold(&myLock);
    const int visibleTop = 1 + shiftY();
    auto* it = myLaidOut.find_le(visibleTop);
    if (!it && myLaidOut.root) it = myLaidOut.leftmost(myLaidOut.root);
    if (it && static_cast<long long>(it->key) + it->value.height <= visibleTop) it = nullptr;
    bool aboveSelected = false;
    for (; it; it = myLaidOut.next(it)) {
      const long long top = static_cast<long long>(it->key) - shiftY() + 1;
      if (top >= h - 1) break;
      if (cRow* row = rowOf(it->value.row)) {
        aboveSelected = paintRow(c, row, static_cast<int>(top), it->value.height, w, aboveSelected);
        drewAny = true;
        myRowsHeld = false;
      }
    }
  }
  if (!drewAny && myText.ptr && *myText.ptr) {
    c->setTextMode(stdFont());
    c->setTextColors(themeColor(5), myBg);
    const int y = myHeader.visible_child() ? myHeader.height() + 10 : 10;
    c->drawTextLimited(5, y, w - 11, 20, cCanvas::eAlignCenter, true, 0, 0, myText.ptr, -1, nullptr, false);
  }
  for (sRect& r : around)
    if (r.width > 0 && r.height > 0) c->unclip(&r);
  c->select();
  c->setLineMode(myBorder, 1);
  sPoint corners[4] = {{0, 0}, {w - 1, 0}, {w - 1, h - 1}, {0, h - 1}};
  for (int i = 0; i < 4; ++i) c->drawLine(&corners[i], &corners[(i + 1) % 4]);
}
