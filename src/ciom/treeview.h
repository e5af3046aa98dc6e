// A tree of nodes shown as indented rows. Every shown node is a real pair
// of elements, a selectable label and an expander left of it, made the first
// time the node is laid out; a subclass may supply a node's children only
// when it is about to be expanded.
#pragma once

#include <vector>

#include "base/btree.h"
#include "base/list.h"
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

  class cTreeViewItem : public cTreeItem {
   public:
    cTreeItemElement* element = nullptr;
    cTreeViewControlElement* control = nullptr;
    void* association = nullptr;
    char* text = nullptr;
    int image = -1;
    bool collapsed = true;
    unsigned int textColor = 0xFFFFFFFF;
    int rowEnd = 0;  // where the row shown below it starts, as last laid out
    size_t shownAt = 0;  // its place among the rows shown, as last laid out

    cTreeViewItem() = default;
    cTreeViewItem(const char* t, void* a, int img = -1);
    ~cTreeViewItem() override;
  };

  class cTreeItemAction : public cChildAction {
   public:
    cTreeViewItem* item;
    cTreeItemAction(int code, cTreeViewItem* i) : cChildAction(code), item(i) {}
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
  // Keeps what a layout left and sizes the view to it.
  void laidOut(int height, int widest, int smallest);
  void layout(cTreeViewItem* first, int depth, bool visible, int& y, int& widest, int& smallest,
              const cTreeViewItem* stop = nullptr);
  // Puts `rows`, shown before, back after the rows shown, `by` lower.
  void showMoved(const std::vector<cTreeViewItem*>& rows, int by);
  // Lays out the rows under `item` again once it opened or closed.
  void reshow(cTreeViewItem* item);
  void forget(cTreeViewItem* item);
  // Whether `item` is `top` or hangs below it.
  static bool within(cTreeItem* item, cTreeItem* top, bool itself);
  // Rows went: the shown ones are known again at the next layout.
  void dropShown();
  void forgetUnder(cTreeViewItem* item);
  void focusNode(cTreeViewItem* item);
  void showUnfocused(cTreeViewItem* item);
  void restoreFocused();
  void toggled(cTreeViewItem* item);

  cFasterTreeList<cChildElement*, cTreeViewItem*> myLabels;
  cFasterTreeList<cChildElement*, cTreeViewItem*> myControls;
  cTree myTree;
  int myOutline = 16, mySpacing = 0, myCellSpacing = 0, myIndicator = 16;
  cPicturesList* myLists[3] = {nullptr, nullptr, nullptr};
  unsigned int myBg = 0, myFrame = 0;
  cTreeViewItem* mySelected = nullptr;
  bool myBatch = false, myPending = false;
  // What a batch did when it only added rows at the end of one level, and
  // what the last layout left, so such a batch lays out its own rows alone.
  bool myAppendsOnly = false, myBuilt = false;
  cTreeViewItem* myAppendedUnder = nullptr;
  cTreeViewItem* myAppendedFirst = nullptr;
  int myBuiltHeight = 1, myWidest = 0, mySmallest = 0;
  // The rows shown, top to bottom, as last laid out; a paint or the pointer
  // looks only at those in view. Not known after rows went until the next
  // layout.
  std::vector<cTreeViewItem*> myShown;
  bool myShownKnown = false;
  unsigned int mySaved[3] = {};
  unsigned int myUnfocused[3] = {};
  cTreeViewItem* myUnfocusedItem = nullptr;
};
