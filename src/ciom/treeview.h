// A tree of nodes shown as indented rows of one height. A row is data until
// it is placed in view: only then is it a pair of elements, a selectable
// label and an expander left of it, and its text measured; a subclass may
// supply a node's children only when it is about to be expanded.
#pragma once

#include <map>
#include <memory>
#include <vector>

#include "base/btree.h"
#include "base/list.h"
#include "base/partialsums.h"
#include "ciom/scrollable.h"
#include "ciom/selectableelement.h"

class cPicturesList;

// The sign left of a label: nothing, a through line, an end line, or the
// expanded and collapsed marks that answer clicks.
class cTreeViewControlElement : public cStaticElement {
 public:
  enum eCtlKind : int { ckNone = 0, ckLine = 1, ckEnd = 2, ckExpanded = 3, ckCollapsed = 4 };
  void setKind(eCtlKind kind, bool repaint);
  eCtlKind kind() const { return myKind; }
  bool isActive() const { return myKind == ckExpanded || myKind == ckCollapsed; }
  void onMouseButton(int x, int y, int button, bool down) override;

 private:
  eCtlKind myKind = ckNone;
};

class cTreeItemElement : public cSelectableElement {
 public:
  enum { taExpand = 8, taCollapse = 9 };
  void onChar(unsigned short ch, bool f1, bool f2, bool f3) override;
  void onKey(int key, bool shift, bool mod2, bool mod3) override;
};

class cTreeViewChild : public cScrollableElement {
 public:
  enum { tvActivate = 6, tvSelection = 7, tvContext = 8, tvToggled = 9 };

  class cTreeViewItem;
  // The rows of one level as last laid out and the heights of their shown
  // subtrees: a row's place follows from its ancestors' levels alone.
  struct sLevel {
    std::vector<cTreeViewItem*> rows;
    cPartialSums sums;
  };

  class cTreeViewItem : public cTreeItem {
   public:
    cTreeItemElement* element = nullptr;
    cTreeViewControlElement* control = nullptr;
    void* association = nullptr;
    char* text = nullptr;
    int image = -1;
    bool collapsed = true;
    unsigned int textColor = 0xFFFFFFFF;
    size_t slot = 0;  // its place in its parent's level
    sLevel under;
    // The label's left edge and, once it has an element, its width; the
    // row has a rectangle only while placed, so that no press finds it
    // elsewhere.
    int left = 0, width = 0;
    bool visible = false;  // its ancestors are open
    bool placed = false;
    int tallied = -1;  // the right edge counted in the extents
    // Made when an action first names the row, and gone with it.
    std::shared_ptr<cTreeViewItem*> named;

    cTreeViewItem() = default;
    cTreeViewItem(const char* t, void* a, int img = -1);
    ~cTreeViewItem() override;
  };

  // A queued action outlives rows: rows cleared before it is handled, as a
  // level listed again by an action ahead of it in the same drain, are
  // gone for it.
  class cTreeItemAction : public cChildAction {
   public:
    cTreeItemAction(int code, cTreeViewItem* i);
    // Null once the row is gone.
    cTreeViewItem* item() const;

   private:
    std::weak_ptr<cTreeViewItem*> myRow;
  };
  class cTreeItemCtxAction : public cTreeItemAction {
   public:
    int x, y;
    cTreeItemCtxAction(cTreeViewItem* i, int px, int py) : cTreeItemAction(tvContext, i), x(px), y(py) {}
  };

  ~cTreeViewChild() override;

  virtual cTreeItemElement* newTreeItemElement(cTreeViewItem*) { return new cTreeItemElement; }
  virtual cTreeViewControlElement* newTreeViewControlElement(cTreeViewItem*) { return new cTreeViewControlElement; }
  virtual void onElementAttach(cTreeViewItem*, cTreeItemElement*) {}
  virtual bool isSub(cTreeViewItem* item) { return item && item->child; }
  virtual void processSubRead(cTreeViewItem*) {}

  // With `beforeLast` the item goes just before the level's last row, so
  // that rows coming in order can be put around one shown ahead of them.
  bool storeUnder(cTreeViewItem* parent, cTreeViewItem* item, bool beforeLast = false);
  bool remove(cTreeViewItem* item);
  bool remove_under(cTreeViewItem* item);
  bool clear();
  bool expand(cTreeViewItem* item, bool notify);
  bool collapse(cTreeViewItem* item, bool notify);
  bool select(cTreeViewItem* item, bool focus);
  cTreeViewItem* selected() { return mySelected; }
  cTreeViewItem* root() { return static_cast<cTreeViewItem*>(myTree.first); }
  static cTreeViewItem* parentItem(cTreeViewItem* i) { return i ? static_cast<cTreeViewItem*>(i->parent) : nullptr; }
  static cTreeViewItem* getUnderItm(cTreeViewItem* i) { return i ? static_cast<cTreeViewItem*>(i->child) : nullptr; }
  static cTreeViewItem* getNextUnderItm(cTreeViewItem* i) {
    return i ? static_cast<cTreeViewItem*>(i->next) : nullptr;
  }
  cTreeViewItem* find(void* association) { return find(root(), association); }
  cTreeViewItem* find(cTreeViewItem* from, void* association);
  cTreeViewItem* isChild(cChildElement* e);
  cTreeViewItem* isCtl(cChildElement* e);
  // The row's label, made when asked for; null for a row not laid out.
  cTreeItemElement* rowElement(cTreeViewItem* n);
  void selectRoot();
  void changeUnfocused(cTreeViewItem* item);

  void setOutline(int v);
  void setSpacing(int v);
  void setCellSpacing(int v);
  void setStructIndicatorWidth(int v);
  void setBgColor(unsigned int c);
  void setFrmColor(unsigned int c);
  void setImageLists(cPicturesList* normal, cPicturesList* second, cPicturesList* third);
  void setUnfocusedColors(unsigned int text, unsigned int bg, unsigned int border);
  int outline() const { return myOutline; }
  int spacing() const { return mySpacing; }
  int cellSpacing() const { return myCellSpacing; }
  int structIndicatorWidth() const { return myIndicator; }
  unsigned int bgColor() const { return myBg; }
  unsigned int frmColor() const { return myFrame; }

  void startChanges() { myBatch = true; }
  void endChanges();
  void update() { build(); }
  void build();

  bool processKey(int key, bool shift, bool mod2, bool mod3) override;
  void processFocus(int x, int y, int button, bool f1, bool f2) override;
  void processFocusLost(bool f1, bool f2) override;
  void onSetFocus(bool f1, bool f2) override;
  void onSizeChanged() override;
  bool onAction(cChildElement* sender, cChildAction* a) override;
  bool wantTabStop() override { return true; }
  bool wantCaptureArrows() override { return true; }
  int wantBorderWidth() override { return 1; }
  void onInitData() override;
  void onPaintArea(cCanvas* c) override;

 protected:
  bool childrenInView(std::vector<cChildElement*>& out) override;

 private:
  void changed();
  void layoutAppended();
  void layout(cTreeViewItem* first, int depth, bool visible, long long& y, const cTreeViewItem* stop = nullptr);
  // Lays out the rows of a level from `first` on, up to `stop`, which then
  // follows them, as rows came or their owner opened or closed, and sizes
  // the view; the rows after the level keep their places.
  void relay(cTreeViewItem* parent, cTreeViewItem* first, cTreeViewItem* stop);
  void forget(cTreeViewItem* item);
  // Whether `item` is `top` or hangs below it.
  static bool within(cTreeItem* item, cTreeItem* top, bool itself);
  void forgetUnder(cTreeViewItem* item);
  void focusNode(cTreeViewItem* item);
  void showUnfocused(cTreeViewItem* item);
  void restoreFocused();
  void toggled(cTreeViewItem* item);

  // A row gets its place only when it comes into view, is selected or acts:
  // placing every row after one that opened made each key cost the level.
  sLevel& levelOf(cTreeViewItem* parent) { return parent ? parent->under : myTop; }
  bool shown(cTreeViewItem* n) { return n && n->visible; }
  bool opened(cTreeViewItem* n) { return !n->collapsed && n->child && isSub(n); }
  bool laid(cTreeViewItem* n);
  int pitch(cTreeViewItem*) { return myRowHeight + mySpacing; }
  // The rows' one height, measured on a label like theirs: a row is
  // measured only once it is placed.
  void measureRowHeight();
  // Makes the row's pair of elements, then sets them as the row is laid.
  void make(cTreeViewItem* n);
  void dress(cTreeViewItem* n);
  cTreeViewControlElement::eCtlKind kindOf(cTreeViewItem* n);
  long long top(cTreeViewItem* n);
  cTreeViewItem* rowAt(long long y);
  cTreeViewItem* nextShown(cTreeViewItem* n);
  void place(cTreeViewItem* n, std::vector<cChildElement*>* out);
  // Places the rows in view and the selected row, and takes the rectangle
  // from every other row placed before.
  void placeView(std::vector<cChildElement*>* out);
  // Counts a shown row's measured right edge in or out of the extents.
  void tally(cTreeViewItem* n, bool in);

  cFasterTreeList<cChildElement*, cTreeViewItem*> myLabels;
  cFasterTreeList<cChildElement*, cTreeViewItem*> myControls;
  cTree myTree;
  int myOutline = 16, mySpacing = 0, myCellSpacing = 0, myIndicator = 16;
  cPicturesList* myLists[3] = {nullptr, nullptr, nullptr};
  unsigned int myBg = 0, myFrame = 0;
  cTreeViewItem* mySelected = nullptr;
  bool myBatch = false, myPending = false;
  // What a batch did when it only added rows at the end of one level, and
  // whether the levels hold the tree: not after rows went, until a layout.
  bool myAppendsOnly = false, myBuilt = false;
  cTreeViewItem* myAppendedFirst = nullptr;
  sLevel myTop;
  std::vector<cTreeViewItem*> myPlaced;
  std::map<int, int> myRights;
  int myRowHeight = 0;
  unsigned int mySaved[3] = {};
  unsigned int myUnfocused[3] = {};
  cTreeViewItem* myUnfocusedItem = nullptr;
};
