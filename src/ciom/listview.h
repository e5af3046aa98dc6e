// The multi-column list: rows of cells keyed by (row id, column id) under a
// column header, optional check boxes, single or multiple selection, sorting
// by a column through a provider the caller hands to it, and batched
// rebuilds. A job thread may fill it while the window paints: every
// operation that walks or changes the row trees holds the list's recursive
// lock.
#pragma once

#include <algorithm>
#include <climits>
#include <cstdint>
#include <deque>
#include <utility>
#include <vector>

#include "base/btree.h"
#include "base/guardchar.h"
#include "base/stringkey.h"
#include "base/sync.h"
#include "ciom/button.h"
#include "ciom/scrollable.h"
#include "ciom/splitter.h"

class cPicturesList;

// The column titles: one button per column on a horizontal splitter, and a
// disabled filler button taking what the columns leave.
class cHeaderChild : public cSplitterChild {
 public:
  enum { haColumnClick = 8 };
  class cColumnClickAction : public cChildAction {
   public:
    int column;
    explicit cColumnClickAction(int c) : cChildAction(haColumnClick), column(c) {}
  };

  ~cHeaderChild() override;
  bool setColumn(int id, const char* title, int width, cCanvas::eTextAlign align);
  int columnWidth(int id);
  cCanvas::eTextAlign columnAlign(int id);
  // The title button of a column, for a form that draws its titles its own
  // way; null for an absent column.
  cButtonChild* columnButton(int id) { return myButtons.find(id); }
  void setMinButtonsWidth(int w);
  int separatorWidth() const { return splitReservedWidth(); }

  bool onAction(cChildElement* sender, cChildAction* a) override;
  void onInitData() override;

 private:
  cFasterTreeList<int, cButtonChild> myButtons;
  cButtonChild myFiller;
};

class cListViewChild : public cScrollableElement {
 public:
  // Codes of the actions posted to the parents.
  enum { laActivate = 6, laSelection = 7, laRefresh = 8, laBack = 9, laCheck = 10, laSorted = 11 };
  // Posted to the list itself only: a job's changes wait for a layout.
  enum { laLayout = 12 };
  // Cell flags; selection and check live in the row's first cell.
  enum { cfSelected = 1, cfChecked = 2, cfAlternate = 4 };

  struct sListViewDataItem {
    void* association = nullptr;
    _guardchar<char> text;
    unsigned int textColor = 0xFFFFFFFF;
    int row = 0;
    short image = -1;
    unsigned short height = 0;
    unsigned short flags = 0;
    unsigned short indent = 0;
  };
  using cRow = cFasterTreeList<int, sListViewDataItem>;

  class cListViewSortProvider {
   public:
    virtual ~cListViewSortProvider() = default;
    virtual bool init() = 0;
    virtual bool push(sListViewDataItem* cell) = 0;
    virtual void* next(void* cursor, sListViewDataItem*& cell) = 0;
    virtual void* prev(void* cursor, sListViewDataItem*& cell) = 0;
  };

  // Equal keys keep the order of their pushes, whatever the key type. The
  // pushed cells are put in order once, when the first cursor is asked for:
  // one stable sort of their positions costs far less than a tree insertion
  // per row, and the list only ever walks the result from one end. Keys are
  // made in place and never moved, as text keys copy their words.
  template <typename K>
  class cKeyedSortProvider : public cListViewSortProvider {
   public:
    void* next(void* cursor, sListViewDataItem*& cell) override {
      order();
      const size_t at = cursor ? reinterpret_cast<uintptr_t>(cursor) : 0;
      return step(at < mySorted.size() ? at + 1 : 0, cell);
    }
    void* prev(void* cursor, sListViewDataItem*& cell) override {
      order();
      const size_t at = cursor ? reinterpret_cast<uintptr_t>(cursor) : mySorted.size() + 1;
      return step(at > 1 ? at - 1 : 0, cell);
    }

   protected:
    void empty() {
      std::deque<K>().swap(myKeys);
      std::vector<sListViewDataItem*>().swap(myCells);
      std::vector<unsigned int>().swap(mySorted);
    }
    template <typename... A>
    bool store(sListViewDataItem* cell, A&&... key) {
      if (myCells.size() >= UINT_MAX) return false;
      myKeys.emplace_back(std::forward<A>(key)...);
      myCells.push_back(cell);
      return true;
    }

   private:
    void order() {
      if (mySorted.size() == myCells.size()) return;
      mySorted.resize(myCells.size());
      for (size_t i = 0; i < mySorted.size(); ++i) mySorted[i] = static_cast<unsigned int>(i);
      std::stable_sort(mySorted.begin(), mySorted.end(),
                       [this](unsigned int a, unsigned int b) { return myKeys[a] < myKeys[b]; });
    }
    // Cursors are positions counted from 1, so that none is null.
    void* step(size_t at, sListViewDataItem*& cell) {
      cell = at ? myCells[mySorted[at - 1]] : nullptr;
      return at ? reinterpret_cast<void*>(static_cast<uintptr_t>(at)) : nullptr;
    }
    std::deque<K> myKeys;
    std::vector<sListViewDataItem*> myCells;
    std::vector<unsigned int> mySorted;  // positions in myKeys, once ordered
  };

  class cListViewNameSortProvider : public cKeyedSortProvider<cStringKey> {
   public:
    bool init() override;
    bool push(sListViewDataItem* cell) override;
  };

  class cListViewU64PramSortProvider : public cKeyedSortProvider<unsigned long long> {
   public:
    using tTransform = unsigned long long (*)(sListViewDataItem*);
    void setTransformProc(tTransform proc) { myTransform = proc; }
    bool init() override;
    bool push(sListViewDataItem* cell) override;

   private:
    tTransform myTransform = nullptr;
  };

  struct sListViewColumnData {
    cListViewSortProvider* sorter = nullptr;
    bool ascending = true;
    cCanvas::eTextAlign align = cCanvas::eTextAlign(0);
    cFontObject* font = nullptr;
    unsigned int textColor = 0xFFFFFFFF;
    ~sListViewColumnData() { delete sorter; }
  };

  struct sItemYDs {
    int row = 0;
    int height = 0;
  };

  class cListViewItemAction : public cChildAction {
   public:
    int value;
    cListViewItemAction(int code, int v) : cChildAction(code), value(v) {}
  };

  cListViewChild();
  ~cListViewChild() override;

  // Columns.
  bool setColumn(int id, const char* title, int width, cCanvas::eTextAlign align);
  bool setColumnWidth(int id, int width);
  bool setColumnFont(int id, cFontObject* font);
  bool setColumnTextColor(int id, unsigned int colour, bool repaint);
  bool setSortType(int id, cListViewSortProvider* provider);
  bool setSortDirection(int id, bool ascending);
  bool getSortDirection(int id, bool& ascending);
  bool showHeader(bool on);
  void setHeaderHeight(int h);
  cHeaderChild& header() { return myHeader; }
  int sortColumn() const { return mySortColumn; }

  // Rows and cells.
  bool setItem(int row, int col, const char* text, int image, void* association);
  int addItem(int col, const char* text, int image, void* association);
  bool remove(int row);
  bool clear();
  void reorderByID();
  bool setItemTextColor(int row, int col, unsigned int colour);
  bool setItemIdent(int row, int col, int indent);
  using cChildElement::text;
  const char* text(int row, int col);
  void* association(int row, int col);
  const char* textBySortIdx(int index, int col);
  void* associationBySortIdx(int index, int col);
  int getRowCount();
  int first();
  int next(int row);
  int firstBySort();
  int lastBySort();
  int nextBySort(int row);
  int prevBySort(int row);
  int find(int col, void* association);

  // Selection and checks.
  int selected();
  int nextSelected(int after);
  bool select(int row);
  bool select(int col, void* association);
  bool selectBySortIdx(int index);
  bool deselect();
  bool setSelected(int row, bool on, bool unused = false);
  void setMultiselect(bool on);
  bool multiselect() const { return myMulti; }
  void setCheckMode(bool on);
  bool checkMode() const { return myCheckMode; }
  bool checked(int row);
  bool setChecked(int row, bool on, bool notify);

  // Appearance.
  void setBgColor(unsigned int c, bool repaint);
  void setBorderColor(unsigned int c, bool repaint);
  void setTextColor(unsigned int c, bool repaint);
  unsigned int bgColor() const { return myBg; }
  unsigned int borderColor() const { return myBorder; }
  unsigned int textColor() const { return myTextColor; }
  void setColorSchema(unsigned int text, unsigned int bg, unsigned int border, bool repaint);
  void setColorSchemaFocusedActive(unsigned int text, unsigned int bg, unsigned int border, bool repaint) {
    setSelectedSchema(1, text, bg, border, repaint);
  }
  void setColorSchemaFocusedInactive(unsigned int text, unsigned int bg, unsigned int border, bool repaint) {
    setSelectedSchema(0, text, bg, border, repaint);
  }
  void setFullLineSelect(bool on, bool repaint);
  void setFullLineSelectColors(unsigned int focused, unsigned int unfocused, bool repaint);
  void setImageLists(cPicturesList* normal, cPicturesList* alternate, cPicturesList* selected);
  void setSpacing(int s);
  int spacing() const { return mySpacing; }
  void setChbSpacing(int s, bool repaint);
  void setChkImages(cPicture* checked, cPicture* unchecked, bool repaint);
  void setTextPadding(int p, bool repaint);
  void setText(const char* text, long long len, bool repaint) override;

  // Rows filled in anew take no input until a paint has drawn them: a click
  // or key queued while the window was busy was aimed at what the screen
  // showed before, and must not land on whatever now sits at its place.
  void holdRowsUntilPainted() { myRowsHeld = true; }
  bool rowsHeld() const { return myRowsHeld; }

  // Batches.
  void startChanges();
  bool endChanges(bool remeasure);

  bool sort(int col);

  // Layout.
  void build(bool remeasure);
  bool itemPos(int row, int& y);
  bool itemRange(int row, int& top, int& bottom);
  bool adjustScrollToItem(int row);

  bool clientRect(sRect* r) override;
  void onSizeChanged() override;
  void processMouseBtn(int x, int y, int button, bool down, bool add, bool range) override;
  void onMouseDoubleClick(int x, int y) override;
  void onKey(int key, bool range, bool add, bool third) override;
  void onChar(unsigned short ch, bool f1, bool f2, bool f3) override;
  void onSetFocus(bool f1, bool f2) override;
  void onLooseFocus(bool f1, bool f2) override;
  bool onAction(cChildElement* sender, cChildAction* a) override;
  bool wantTabStop() override { return true; }
  bool wantCaptureArrows() override { return true; }
  int wantBorderWidth() override { return 1; }
  void onInitData() override;
  void onPaintArea(cCanvas* c) override;

 private:
  struct sCellColours;
  void setSelectedSchema(int focused, unsigned int text, unsigned int bg, unsigned int border, bool repaint);
  cRow* rowOf(int id);
  sListViewDataItem* cellOf(int row, int col);
  static sListViewDataItem* firstCell(cRow* row);
  static int idOf(cRow* row);
  cRow* rowAtIndex(int index);
  int indexOf(cRow* row);
  void appendToOrder(cRow* row);
  // The rows in display order, kept from the last walk or sort until the
  // order changes. Walks over them touch a few scattered items per row;
  // `prefetch` asks for those of a row some steps ahead, so the walk does
  // not wait on memory row by row.
  const std::vector<cRow*>& rowsInOrder();
  static void prefetch(const std::vector<cRow*>& rows, size_t i) {
    constexpr size_t kRowAhead = 16, kCellsAhead = 8;
    if (i + kRowAhead < rows.size()) __builtin_prefetch(rows[i + kRowAhead]);
    if (i + kCellsAhead < rows.size()) __builtin_prefetch(rows[i + kCellsAhead]->root);
  }
  // Both order trees anew from the rows in display order.
  void setOrder(std::vector<cRow*> rows);
  // Gives `tree` exactly the pairs of `sorted` (ascending keys). A tree that
  // already holds those keys, as after a sort or a layout of the same rows,
  // only takes the new values: no item is freed or made.
  template <typename K, typename V>
  static void refill(cFasterTreeList<K, V>& tree, const std::vector<std::pair<K, V>>& sorted);
  void changed();
  // Lays the list out now on the main thread, else has the main thread do it.
  void layout(bool remeasure);
  void post(int code, int value);
  // Every selection change goes through these two, so that the selected
  // rows are known without walking the list.
  void markSelected(cRow* row, bool on);
  void deselectAllBut(cRow* keep);
  // The common selection of keys, clicks and the select operations.
  void selectRow(cRow* row, cRow* previous, bool add, bool range, bool mark);
  // The row alone selected and current, as the select operations ask.
  bool selectAlone(cRow* row);
  cRow* hitRow(int x, int y, bool& inCheckBox);
  void toggleCheck(cRow* row);
  void headerClick(int col);
  // `plain` carries, within one layout, the height measured for a text of
  // printable ASCII on one line (-1 until one was measured).
  unsigned short measure(sListViewDataItem& cell, int& plain);
  // Answers whether the row was drawn selected.
  bool paintRow(cCanvas* c, cRow* row, int top, int h, int w, bool belowSelected);
  int paintCell(cCanvas* c, sListViewDataItem* cell, int col, bool firstCol, bool topLine, int x, int top, int width,
                int h, const sCellColours& k);
  void clearTrees();

  cCriticalSection myLock;
  cFasterTreeList<int, sListViewColumnData> myColumns;
  cFasterTreeList<int, cRow> myRows;
  cFasterTreeList<int, cRow*> myOrder;
  cFasterTreeList<cRow*, int> myOrderRev;
  std::vector<cRow*> myOrderRows;
  bool myOrderRowsKept = false;
  cFasterTreeList<int, sItemYDs> myLaidOut;
  cFasterTreeList<int, int> myRowY;
  cFasterTreeList<int, cRow*> mySelected;  // by row id
  cHeaderChild myHeader;
  int mySortColumn = -1;
  cPicturesList* myImages = nullptr;
  cPicturesList* myAltImages = nullptr;
  cPicturesList* mySelImages = nullptr;
  unsigned int myBg = 0, myBorder = 0, myTextColor = 0;
  unsigned int mySelBg[2] = {}, mySelText[2] = {}, mySelBorder[2] = {};  // [1]: focused
  unsigned int myFullBg[2] = {};
  bool myMulti = false, myBatch = false, myPending = false, myCheckMode = false, myFullLine = false;
  // A layout asked for by another thread waits for the main thread: one
  // action is on its way while this is set.
  bool myLayoutPosted = false, myRemeasure = false;
  bool myRowsHeld = false, myLastPressHeld = false;
  int mySpacing = 0, myChbSpacing = 0, myTextPadding = 0;
  unsigned short myTyped[10] = {};
  int myTypedCount = 0;
  unsigned int myTypedAt = 0;
  cPicture* myChecked = nullptr;
  cPicture* myUnchecked = nullptr;
  cRow* myCurrent = nullptr;
};

template <typename K, typename V>
void cListViewChild::refill(cFasterTreeList<K, V>& tree, const std::vector<std::pair<K, V>>& sorted) {
  using tree_t = cFasterTreeList<K, V>;
  auto* it = tree.root ? tree_t::leftmost(tree.root) : nullptr;
  size_t i = 0;
  for (; it && i < sorted.size() && it->key == sorted[i].first; it = tree_t::next(it)) it->value = sorted[i++].second;
  if (!it && i == sorted.size()) return;
  tree_t old;
  tree.moveTo(old);
  tree.depthLimit = old.depthLimit;
  // Keys inserted in ascending order keep the tree shallow.
  for (const auto& [key, value] : sorted) *tree.insert(key) = value;
}
