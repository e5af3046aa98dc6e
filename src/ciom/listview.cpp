#include "ciom/listview.h"

#include <algorithm>
#include <climits>
#include <vector>

#include "ciom/setters.h"
#include "ciom/themeuse.h"

namespace {

constexpr int kHeaderHeightDim = 23;

}  // namespace

// ---- header ----

cHeaderChild::~cHeaderChild() {
  // The buttons live in this element's own tree; they leave the splitter
  // before the tree that holds them goes.
  for (auto* it = myButtons.root ? myButtons.leftmost(myButtons.root) : nullptr; it; it = myButtons.next(it))
    cChildElement::dettach(&it->value);
  cChildElement::dettach(&myFiller);
}

bool cHeaderChild::setColumn(int id, const char* title, int width, cCanvas::eTextAlign align) {
  cButtonChild* b = myButtons.find(id);
  if (!b) {
    b = myButtons.insert(id);
    if (!attach(id, b, width)) {
      myButtons.dettach(id);
      return false;
    }
    b->setBorder(cButtonChild::bs3D, false);
    b->setAcceptFocus(false);
  }
  if (title) b->setText(title);
  if (b->align() != align) b->setAlign(align, true);
  resizeItem(id, width);
  return true;
}

int cHeaderChild::columnWidth(int id) {
  cButtonChild* b = myButtons.find(id);
  return b ? b->width() : 0;
}

cCanvas::eTextAlign cHeaderChild::columnAlign(int id) {
  cButtonChild* b = myButtons.find(id);
  return b ? b->align() : cCanvas::eAlignLeft;
}

void cHeaderChild::setMinButtonsWidth(int w) { setMinSplittingSize(w, &myFiller); }

bool cHeaderChild::onAction(cChildElement* sender, cChildAction* a) {
  if (a && a->code == acDefault && sender != this) {
    for (auto* it = myButtons.root ? myButtons.leftmost(myButtons.root) : nullptr; it; it = myButtons.next(it)) {
      if (&it->value == sender) {
        notifyAction(new cColumnClickAction(it->key));
        return true;
      }
    }
  }
  return cSplitterChild::onAction(sender, a);
}

void cHeaderChild::onInitData() {
  cSplitterChild::onInitData();
  const int h = themeDim(kHeaderHeightDim);
  setMinSize(1, h);
  setMaxSize(0x7FFFFFFF, h);
  setScalable(false);
  // A click on a title sorts or does nothing; the keys stay with the list.
  setAcceptFocus(false);
  cChildElement::attach(&myFiller, 0, 0, 1, 1, cptNormal);
  myFiller.setBorder(cButtonChild::bs3D, false);
  myFiller.disable(false);
}

// ---- sort providers ----

bool cListViewChild::cListViewNameSortProvider::init() {
  empty();
  return true;
}

bool cListViewChild::cListViewNameSortProvider::push(sListViewDataItem* cell) {
  if (!cell || !cell->text.ptr) return false;
  return store(cell, cell->text.ptr, -1);
}

bool cListViewChild::cListViewU64PramSortProvider::init() {
  empty();
  return myTransform != nullptr;
}

bool cListViewChild::cListViewU64PramSortProvider::push(sListViewDataItem* cell) {
  if (!cell || !myTransform) return false;
  return store(cell, myTransform(cell));
}

// ---- the list's data ----

cListViewChild::cListViewChild() {
  myColumns.depthLimit = myRows.depthLimit = myOrder.depthLimit = 512;
  myOrderRev.depthLimit = 1024;
  myLaidOut.depthLimit = myRowY.depthLimit = mySelected.depthLimit = 512;
}

cListViewChild::~cListViewChild() {
  cChildElement::dettach(&myHeader);
  clearTrees();
}

void cListViewChild::clearTrees() {
  cSafeCriticalSectionAccess hold(&myLock);
  cFasterTreeList<int, sItemYDs> a;
  myLaidOut.moveTo(a);
  cFasterTreeList<int, int> b;
  myRowY.moveTo(b);
  cFasterTreeList<int, cRow*> c;
  myOrder.moveTo(c);
  std::vector<cRow*>().swap(myOrderRows);
  myOrderRowsKept = false;
  cFasterTreeList<cRow*, int> d;
  myOrderRev.moveTo(d);
  cFasterTreeList<int, cRow*> f;
  mySelected.moveTo(f);
  cFasterTreeList<int, cRow> e;
  myRows.moveTo(e);
  myCurrent = nullptr;
}

cListViewChild::cRow* cListViewChild::rowOf(int id) { return myRows.find(id); }

cListViewChild::sListViewDataItem* cListViewChild::cellOf(int row, int col) {
  cRow* r = rowOf(row);
  return r ? r->find(col) : nullptr;
}

cListViewChild::sListViewDataItem* cListViewChild::firstCell(cRow* row) {
  return row && row->root ? &cRow::leftmost(row->root)->value : nullptr;
}

int cListViewChild::idOf(cRow* row) {
  const sListViewDataItem* c = firstCell(row);
  return c ? c->row : -1;
}

cListViewChild::cRow* cListViewChild::rowAtIndex(int index) {
  cRow** r = myOrder.find(index);
  return r ? *r : nullptr;
}

int cListViewChild::indexOf(cRow* row) {
  int* i = row ? myOrderRev.find(row) : nullptr;
  return i ? *i : -1;
}

void cListViewChild::appendToOrder(cRow* row) {
  const int index = myOrder.root ? myOrder.rightmost(myOrder.root)->key + 1 : 0;
  *myOrder.insert(index) = row;
  myOrderRowsKept = false;
  *myOrderRev.insert(row) = index;
}

const std::vector<cListViewChild::cRow*>& cListViewChild::rowsInOrder() {
  if (!myOrderRowsKept) {
    myOrderRows.clear();
    for (auto* it = myOrder.root ? myOrder.leftmost(myOrder.root) : nullptr; it; it = myOrder.next(it))
      myOrderRows.push_back(it->value);
    myOrderRowsKept = true;
  }
  return myOrderRows;
}

void cListViewChild::setOrder(std::vector<cRow*> rows) {
  std::vector<std::pair<int, cRow*>> order;
  std::vector<std::pair<cRow*, int>> reverse;
  order.reserve(rows.size());
  reverse.reserve(rows.size());
  int index = 0;
  for (cRow* r : rows) {
    order.emplace_back(index, r);
    reverse.emplace_back(r, index++);
  }
  std::sort(reverse.begin(), reverse.end());
  refill(myOrder, order);
  refill(myOrderRev, reverse);
  myOrderRows = std::move(rows);
  myOrderRowsKept = true;
}

void cListViewChild::changed() {
  if (myBatch)
    myPending = true;
  else
    layout(false);
}

// Layout measures text through the platform's fonts, which only the main
// thread may use; a job filling the list leaves the layout to it.
void cListViewChild::layout(bool remeasure) {
  if (onMainThread()) {
    build(remeasure);
    return;
  }
  cSafeCriticalSectionAccess hold(&myLock);
  myPending = true;
  myRemeasure |= remeasure;
  if (myLayoutPosted) return;
  myLayoutPosted = true;
  // Without a window nobody would answer; the next layout on the main
  // thread takes the change in.
  if (!postAction(new cChildAction(laLayout))) myLayoutPosted = false;
}

void cListViewChild::post(int code, int value) { notifyAction(new cListViewItemAction(code, value)); }

bool cListViewChild::setColumn(int id, const char* title, int width, cCanvas::eTextAlign align) {
  if (!myHeader.setColumn(id, title, width, align)) return false;
  cSafeCriticalSectionAccess hold(&myLock);
  changed();
  myColumns.insert(id)->align = align;
  return true;
}

bool cListViewChild::setColumnWidth(int id, int width) { return myHeader.resizeItem(id, width); }

bool cListViewChild::setColumnFont(int id, cFontObject* font) {
  cSafeCriticalSectionAccess hold(&myLock);
  sListViewColumnData* c = myColumns.find(id);
  if (!c) return false;
  if (c->font != font) {
    c->font = font;
    changed();
  }
  return true;
}

bool cListViewChild::setColumnTextColor(int id, unsigned int colour, bool repaint) {
  sListViewColumnData* c = myColumns.find(id);
  if (!c) return false;
  c->textColor = colour;
  if (repaint) this->repaint(nullptr);
  return true;
}

bool cListViewChild::setSortType(int id, cListViewSortProvider* provider) {
  cSafeCriticalSectionAccess hold(&myLock);
  sListViewColumnData* c = myColumns.find(id);
  if (!c) return false;
  if (c->sorter != provider) delete c->sorter;
  c->sorter = provider;
  if (id == mySortColumn) changed();
  return true;
}

bool cListViewChild::setSortDirection(int id, bool ascending) {
  sListViewColumnData* c = myColumns.find(id);
  if (!c) return false;
  if (c->ascending != ascending) {
    c->ascending = ascending;
    if (id == mySortColumn) changed();
  }
  return true;
}

bool cListViewChild::getSortDirection(int id, bool& ascending) {
  sListViewColumnData* c = myColumns.find(id);
  if (!c) return false;
  ascending = c->ascending;
  return true;
}

bool cListViewChild::showHeader(bool on) {
  if (on)
    myHeader.show(true);
  else
    myHeader.hide(true);
  if (!myBatch) rebuild();
  return true;
}

void cListViewChild::setHeaderHeight(int h) {
  if (h > 1) {
    cChildElement::dettach(&myHeader);
    attach(&myHeader, 1, 1, width() - 2, h, cptFixedY);
    myHeader.show(true);
  } else {
    myHeader.hide(true);
  }
}

bool cListViewChild::setItem(int row, int col, const char* text, int image, void* association) {
  if (row < 0) return false;
  cSafeCriticalSectionAccess hold(&myLock);
  bool created = false;
  cRow* r = rowOf(row);
  if (!r) {
    r = myRows.insert(row);
    r->depthLimit = 512;
    appendToOrder(r);
    created = true;
  }
  sListViewDataItem* cell = r->find(col);
  if (!cell) {
    sListViewDataItem* head = firstCell(r);
    cell = r->insert(col);
    cell->row = row;
    created = true;
    // The row's selection and check live in its first cell and move with it.
    if (head && firstCell(r) == cell) {
      cell->flags |= head->flags & (cfSelected | cfChecked);
      head->flags &= ~(cfSelected | cfChecked);
    }
  }
  if (association) cell->association = association;
  const bool imageChanged = cell->image != image;
  if (imageChanged) cell->image = static_cast<short>(image);
  if (text) cell->text.set(text);
  if (!created && !imageChanged && !text) return true;
  cell->height = 0;
  changed();
  return true;
}

int cListViewChild::addItem(int col, const char* text, int image, void* association) {
  cSafeCriticalSectionAccess hold(&myLock);
  long long id = myRows.root ? static_cast<long long>(myRows.rightmost(myRows.root)->key) + 1 : 0;
  if (id > INT_MAX) return -1;
  return setItem(static_cast<int>(id), col, text, image, association) ? static_cast<int>(id) : -1;
}

bool cListViewChild::remove(int row) {
  cSafeCriticalSectionAccess hold(&myLock);
  cRow* r = rowOf(row);
  if (!r) return false;
  if (myCurrent == r) myCurrent = nullptr;
  mySelected.dettach(row);
  if (int* i = myOrderRev.find(r)) {
    myOrder.dettach(*i);
    myOrderRowsKept = false;
    myOrderRev.dettach(r);
  }
  // The laid-out maps name the row by id; it must not be painted or hit
  // before the next layout.
  if (int* y = myRowY.find(row)) {
    myLaidOut.dettach(*y);
    myRowY.dettach(row);
  }
  myRows.dettach(row);
  changed();
  return true;
}

bool cListViewChild::clear() {
  cSafeCriticalSectionAccess hold(&myLock);
  clearTrees();
  changed();
  return true;
}

void cListViewChild::reorderByID() {
  cSafeCriticalSectionAccess hold(&myLock);
  cFasterTreeList<int, cRow*> a;
  myOrder.moveTo(a);
  myOrderRowsKept = false;
  cFasterTreeList<cRow*, int> b;
  myOrderRev.moveTo(b);
  for (auto* it = myRows.root ? myRows.leftmost(myRows.root) : nullptr; it; it = myRows.next(it))
    appendToOrder(&it->value);
  changed();
}

bool cListViewChild::setItemTextColor(int row, int col, unsigned int colour) {
  cSafeCriticalSectionAccess hold(&myLock);
  sListViewDataItem* c = cellOf(row, col);
  if (!c) return false;
  c->textColor = colour;
  return true;
}

bool cListViewChild::setItemIdent(int row, int col, int indent) {
  cSafeCriticalSectionAccess hold(&myLock);
  sListViewDataItem* c = cellOf(row, col);
  if (!c) return false;
  c->indent = static_cast<unsigned short>(indent < 0 ? 0 : indent > 0xFFFF ? 0xFFFF : indent);
  return true;
}

const char* cListViewChild::text(int row, int col) {
  cSafeCriticalSectionAccess hold(&myLock);
  sListViewDataItem* c = cellOf(row, col);
  return c ? c->text.ptr : nullptr;
}

void* cListViewChild::association(int row, int col) {
  cSafeCriticalSectionAccess hold(&myLock);
  sListViewDataItem* c = cellOf(row, col);
  return c ? c->association : nullptr;
}

const char* cListViewChild::textBySortIdx(int index, int col) {
  cSafeCriticalSectionAccess hold(&myLock);
  cRow* r = rowAtIndex(index);
  sListViewDataItem* c = r ? r->find(col) : nullptr;
  return c ? c->text.ptr : nullptr;
}

void* cListViewChild::associationBySortIdx(int index, int col) {
  cSafeCriticalSectionAccess hold(&myLock);
  cRow* r = rowAtIndex(index);
  sListViewDataItem* c = r ? r->find(col) : nullptr;
  return c ? c->association : nullptr;
}

int cListViewChild::getRowCount() {
  cSafeCriticalSectionAccess hold(&myLock);
  return myOrder.root ? myOrder.rightmost(myOrder.root)->key + 1 : 0;
}

int cListViewChild::first() {
  cSafeCriticalSectionAccess hold(&myLock);
  return myRows.root ? myRows.leftmost(myRows.root)->key : -1;
}

int cListViewChild::next(int row) {
  cSafeCriticalSectionAccess hold(&myLock);
  auto* it = myRows.find_item(row);
  it = it ? myRows.next(it) : nullptr;
  return it ? it->key : -1;
}

int cListViewChild::firstBySort() {
  cSafeCriticalSectionAccess hold(&myLock);
  return myOrder.root ? idOf(myOrder.leftmost(myOrder.root)->value) : -1;
}

int cListViewChild::lastBySort() {
  cSafeCriticalSectionAccess hold(&myLock);
  return myOrder.root ? idOf(myOrder.rightmost(myOrder.root)->value) : -1;
}

int cListViewChild::nextBySort(int row) {
  cSafeCriticalSectionAccess hold(&myLock);
  auto* it = myOrder.find_item(indexOf(rowOf(row)));
  it = it ? myOrder.next(it) : nullptr;
  return it ? idOf(it->value) : -1;
}

int cListViewChild::prevBySort(int row) {
  cSafeCriticalSectionAccess hold(&myLock);
  auto* it = myOrder.find_item(indexOf(rowOf(row)));
  it = it ? myOrder.prev(it) : nullptr;
  return it ? idOf(it->value) : -1;
}

int cListViewChild::find(int col, void* association) {
  cSafeCriticalSectionAccess hold(&myLock);
  for (auto* it = myRows.root ? myRows.leftmost(myRows.root) : nullptr; it; it = myRows.next(it)) {
    sListViewDataItem* c = it->value.find(col);
    if (c && c->association == association) return it->key;
  }
  return -1;
}

// ---- selection and checks ----

int cListViewChild::selected() {
  cSafeCriticalSectionAccess hold(&myLock);
  return idOf(myCurrent);
}

int cListViewChild::nextSelected(int after) {
  cSafeCriticalSectionAccess hold(&myLock);
  auto* it = after < 0 ? (mySelected.root ? mySelected.leftmost(mySelected.root) : nullptr)
                       : mySelected.find_ge(after + 1);
  return it ? it->key : -1;
}

void cListViewChild::markSelected(cRow* row, bool on) {
  sListViewDataItem* c = firstCell(row);
  if (!c) return;
  if (on) {
    c->flags |= cfSelected;
    *mySelected.insert(c->row) = row;
  } else {
    c->flags &= ~cfSelected;
    mySelected.dettach(c->row);
  }
}

void cListViewChild::deselectAllBut(cRow* keep) {
  cFasterTreeList<int, cRow*> was;
  mySelected.moveTo(was);
  for (auto* it = was.root ? was.leftmost(was.root) : nullptr; it; it = was.next(it))
    markSelected(it->value, it->value == keep);
}

bool cListViewChild::select(int row) {
  cSafeCriticalSectionAccess hold(&myLock);
  return selectAlone(rowOf(row));
}

bool cListViewChild::selectAlone(cRow* row) {
  if (!row) return false;
  selectRow(row, myCurrent, false, false, true);
  return true;
}

bool cListViewChild::select(int col, void* association) {
  const int row = find(col, association);
  return row >= 0 && select(row);
}

bool cListViewChild::selectBySortIdx(int index) {
  cSafeCriticalSectionAccess hold(&myLock);
  return selectAlone(rowAtIndex(index));
}

bool cListViewChild::deselect() {
  {
    cSafeCriticalSectionAccess hold(&myLock);
    deselectAllBut(nullptr);
    myCurrent = nullptr;
  }
  repaint(nullptr);
  return true;
}

bool cListViewChild::setSelected(int row, bool on, bool) {
  cSafeCriticalSectionAccess hold(&myLock);
  cRow* r = rowOf(row);
  sListViewDataItem* c = firstCell(r);
  if (!c) return false;
  if (((c->flags & cfSelected) != 0) == on) return true;
  if (on) {
    if (myCurrent != r) {
      post(laSelection, row);
      myCurrent = r;
    }
    if (!myMulti) deselectAllBut(r);
    markSelected(r, true);
  } else {
    auto* self = mySelected.find_item(row);
    auto* near = self ? mySelected.next(self) : nullptr;
    if (!near && self) near = mySelected.prev(self);
    cRow* other = near ? near->value : nullptr;
    // Without another selected row nothing stays current, and the parent
    // hears of it as of any other cleared selection.
    if (myCurrent != other) {
      myCurrent = other;
      post(laSelection, idOf(other));
    }
    markSelected(r, false);
  }
  if (!myBatch) repaint(nullptr);
  return true;
}

void cListViewChild::setMultiselect(bool on) {
  if (myMulti == on) return;
  myMulti = on;
  deselect();
}

void cListViewChild::setCheckMode(bool on) {
  if (myCheckMode == on) return;
  myCheckMode = on;
  repaint(nullptr);
}

bool cListViewChild::checked(int row) {
  cSafeCriticalSectionAccess hold(&myLock);
  const sListViewDataItem* c = firstCell(rowOf(row));
  return c && (c->flags & cfChecked);
}

bool cListViewChild::setChecked(int row, bool on, bool notify) {
  cSafeCriticalSectionAccess hold(&myLock);
  sListViewDataItem* c = firstCell(rowOf(row));
  if (!c) return false;
  if (((c->flags & cfChecked) != 0) == on) return true;
  c->flags ^= cfChecked;
  if (notify) post(laCheck, row);
  if (!myBatch) repaint(nullptr);
  return true;
}

// ---- appearance ----

void cListViewChild::setBgColor(unsigned int c, bool repaint) { storeChanged(this, myBg, c, repaint); }
void cListViewChild::setBorderColor(unsigned int c, bool repaint) { storeChanged(this, myBorder, c, repaint); }
void cListViewChild::setTextColor(unsigned int c, bool repaint) { storeChanged(this, myTextColor, c, repaint); }

void cListViewChild::setColorSchema(unsigned int text, unsigned int bg, unsigned int border, bool repaint) {
  storeChanged(this, myTextColor, text, repaint);
  storeChanged(this, myBg, bg, repaint);
  storeChanged(this, myBorder, border, repaint);
}

void cListViewChild::setSelectedSchema(int focused, unsigned int text, unsigned int bg, unsigned int border,
                                       bool repaint) {
  storeChanged(this, mySelText[focused], text, repaint);
  storeChanged(this, mySelBg[focused], bg, repaint);
  storeChanged(this, mySelBorder[focused], border, repaint);
}

void cListViewChild::setFullLineSelect(bool on, bool repaint) { storeChanged(this, myFullLine, on, repaint); }

void cListViewChild::setFullLineSelectColors(unsigned int focused, unsigned int unfocused, bool repaint) {
  storeChanged(this, myFullBg[1], focused, repaint);
  storeChanged(this, myFullBg[0], unfocused, repaint);
}

void cListViewChild::setImageLists(cPicturesList* normal, cPicturesList* alternate, cPicturesList* selected) {
  myImages = normal;
  myAltImages = alternate;
  mySelImages = selected;
  build(true);
}

void cListViewChild::setSpacing(int s) {
  mySpacing = s < 0 ? 0 : s;
  build(true);
}

void cListViewChild::setChbSpacing(int s, bool repaint) {
  storeChanged(this, myChbSpacing, s < 0 ? 0 : s, repaint && myCheckMode);
}

void cListViewChild::setChkImages(cPicture* checked, cPicture* unchecked, bool repaint) {
  storeChanged(this, myChecked, checked, repaint && myCheckMode);
  storeChanged(this, myUnchecked, unchecked, repaint && myCheckMode);
}

void cListViewChild::setTextPadding(int p, bool repaint) { storeChanged(this, myTextPadding, p < 0 ? 0 : p, repaint); }

void cListViewChild::setText(const char* text, long long len, bool repaint) {
  cScrollableElement::setText(text, len, repaint);
}

// ---- batches and sorting ----

void cListViewChild::startChanges() {
  cSafeCriticalSectionAccess hold(&myLock);
  myBatch = true;
}

bool cListViewChild::endChanges(bool remeasure) {
  {
    cSafeCriticalSectionAccess hold(&myLock);
    if (!myBatch) return false;
    myBatch = false;
    if (!myPending) return false;
    myPending = false;
  }
  layout(remeasure);
  return true;
}

bool cListViewChild::sort(int col) {
  cSafeCriticalSectionAccess hold(&myLock);
  sListViewColumnData* column = myColumns.find(col);
  if (!column || !column->sorter || !column->sorter->init()) return false;
  cListViewSortProvider* p = column->sorter;
  std::vector<cRow*> unsortable, rows;
  // Row ids are mostly dense: a table by id finds the row of each sorted
  // cell at once, where a search of the row tree would wait on memory.
  const long long lo = myRows.root ? myRows.leftmost(myRows.root)->key : 0;
  const long long hi = myRows.root ? myRows.rightmost(myRows.root)->key : -1;
  const std::vector<cRow*>& previous = rowsInOrder();
  const bool dense = hi - lo < 4 * static_cast<long long>(previous.size()) + 1024;
  std::vector<cRow*> byId(dense ? static_cast<size_t>(hi - lo + 1) : 0);
  for (size_t i = 0; i < previous.size(); ++i) {
    prefetch(previous, i);
    sListViewDataItem* cell = previous[i]->find(col);
    if (!cell || !p->push(cell))
      unsortable.push_back(previous[i]);
    else if (dense)
      byId[static_cast<size_t>(cell->row - lo)] = previous[i];
  }
  rows.reserve(previous.size());
  auto rowOfSorted = [&](const sListViewDataItem* cell) {
    if (!cell) return static_cast<cRow*>(nullptr);
    return dense && cell->row >= lo && cell->row <= hi ? byId[static_cast<size_t>(cell->row - lo)] : rowOf(cell->row);
  };
  auto appendSorted = [&](bool forward) {
    sListViewDataItem* cell = nullptr;
    for (void* cur = forward ? p->next(nullptr, cell) : p->prev(nullptr, cell); cur;
         cur = forward ? p->next(cur, cell) : p->prev(cur, cell))
      if (cRow* r = rowOfSorted(cell)) rows.push_back(r);
  };
  if (column->ascending) {
    rows.insert(rows.end(), unsortable.begin(), unsortable.end());
    appendSorted(true);
  } else {
    appendSorted(false);
    rows.insert(rows.end(), unsortable.begin(), unsortable.end());
  }
  setOrder(std::move(rows));
  p->init();
  mySortColumn = col;
  changed();
  return true;
}

void cListViewChild::headerClick(int col) {
  sListViewColumnData* c = myColumns.find(col);
  if (!c || !c->sorter) return;
  c->ascending = col == mySortColumn ? !c->ascending : true;
  sort(col);
  post(laSorted, col);
}
