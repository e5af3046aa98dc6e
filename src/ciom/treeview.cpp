#include "ciom/treeview.h"

#include <algorithm>
#include <climits>
#include <cstring>

#include "ciom/canvas.h"
#include "ciom/pictureslist.h"
#include "ciom/themeuse.h"

namespace {

constexpr unsigned int kKeep = 0xFFFFFFFF;
constexpr int kKeypadPlus = 427, kKeypadMinus = 429;
// Theme pictures of the expander kinds 1 to 4.
constexpr int kKindPicture[] = {-1, 70, 71, 69, 68};

cTreeViewChild::cTreeViewItem* node(cTreeItem* i) { return static_cast<cTreeViewChild::cTreeViewItem*>(i); }

int clampInt(long long v) { return static_cast<int>(std::clamp<long long>(v, INT_MIN / 2, INT_MAX / 2)); }

}  // namespace

// ---- the two elements of a row ----

void cTreeViewControlElement::setKind(eCtlKind kind, bool repaint) {
  if (kind == myKind) return;
  myKind = kind;
  const int k = static_cast<int>(kind);
  setImage(k >= 1 && k <= 4 ? themePict(kKindPicture[k]) : nullptr, repaint);
  setPointer(isActive() ? static_cast<eMousePointerTypes>(3) : static_cast<eMousePointerTypes>(0));
}

void cTreeViewControlElement::onMouseButton(int, int, int button, bool down) {
  if (button == mbLeft && down && isActive()) notifyAction(new cChildAction(acDefault));
}

void cTreeItemElement::onChar(unsigned short ch, bool f1, bool f2, bool f3) {
  if (ch == '+' || ch == '-') {
    notifyAction(new cChildAction(ch == '+' ? taExpand : taCollapse));
    return;
  }
  cSelectableElement::onChar(ch, f1, f2, f3);
}

void cTreeItemElement::onKey(int key, bool shift, bool mod2, bool mod3) {
  if (key == kKeypadPlus || key == kKeypadMinus) {
    notifyAction(new cChildAction(key == kKeypadPlus ? taExpand : taCollapse));
    return;
  }
  cSelectableElement::onKey(key, shift, mod2, mod3);
}

// ---- nodes ----

cTreeViewChild::cTreeViewItem::cTreeViewItem(const char* t, void* a, int img) : association(a), image(img) {
  if (t) {
    const size_t n = std::strlen(t);
    text = new char[n + 1];
    std::memcpy(text, t, n + 1);
  }
}

cTreeViewChild::cTreeViewItem::~cTreeViewItem() {
  delete element;
  delete control;
  delete[] text;
}

cTreeViewChild::cTreeItemAction::cTreeItemAction(int code, cTreeViewItem* i) : cChildAction(code) {
  if (!i) return;
  if (!i->named) i->named = std::make_shared<cTreeViewItem*>(i);
  myRow = i->named;
}

cTreeViewChild::cTreeViewItem* cTreeViewChild::cTreeItemAction::item() const {
  const std::shared_ptr<cTreeViewItem*> row = myRow.lock();
  return row ? *row : nullptr;
}

// ---- the view ----

cTreeViewChild::~cTreeViewChild() {
  // The nodes own elements that are this view's children; they go while the
  // view is still whole.
  mySelected = myUnfocusedItem = nullptr;
  myTree.destroy();
}

void cTreeViewChild::onInitData() {
  cScrollableElement::onInitData();
  myBatch = myPending = myAppendsOnly = myBuilt = false;
  mySelected = myUnfocusedItem = nullptr;
  myTree.destroy();
  myTop = {};
  myPlaced.clear();
  myRights.clear();
  myRowHeight = 0;
  cFasterTreeList<cChildElement*, cTreeViewItem*> a, b;
  myLabels.moveTo(a);
  myControls.moveTo(b);
  setPageSize(width(), height());
  myOutline = 16;
  mySpacing = myCellSpacing = 0;
  myIndicator = 16;
  myLists[0] = myLists[1] = myLists[2] = nullptr;
  myBg = themeColor(14);
  myFrame = themeColor(21);
  myUnfocused[0] = themeColor(4);
  myUnfocused[1] = themeColor(18);
  myUnfocused[2] = themeColor(26);
}

void cTreeViewChild::changed() {
  myAppendsOnly = false;
  if (myBatch)
    myPending = true;
  else
    build();
}

void cTreeViewChild::endChanges() {
  myBatch = false;
  if (!myPending) return;
  myPending = false;
  myAppendsOnly ? layoutAppended() : build();
}

bool cTreeViewChild::storeUnder(cTreeViewItem* parent, cTreeViewItem* item, bool beforeLast) {
  if (!item) return false;
  myTree.add(parent, item);
  if (beforeLast && item->prev) myTree.move_forward(item->prev);
  // A level filled in batches would otherwise lay out every row of the
  // tree once a batch, each row's text measured again: quadratic in rows.
  if (myBatch && !myPending && myBuilt) {
    myPending = myAppendsOnly = true;
    myAppendedFirst = item;
  } else if (!(myBatch && myAppendsOnly && parent == myAppendedFirst->parent)) {
    changed();
  }
  return true;
}

void cTreeViewChild::forget(cTreeViewItem* item) {
  tally(item, false);
  if (item->placed) myPlaced.erase(std::find(myPlaced.begin(), myPlaced.end(), item));
  if (item->element) {
    myLabels.dettach(item->element);
    cChildElement::dettach(item->element);
  }
  if (item->control) {
    myControls.dettach(item->control);
    cChildElement::dettach(item->control);
  }
}

void cTreeViewChild::forgetUnder(cTreeViewItem* item) {
  for (cTreeItem* i = item->child; i; i = cTree::nextInOrder(i, item)) forget(node(i));
}

bool cTreeViewChild::within(cTreeItem* item, cTreeItem* top, bool itself) {
  if (!item) return false;
  if (itself && item == top) return true;
  for (cTreeItem* p = item->parent; p; p = p->parent)
    if (p == top) return true;
  return false;
}

bool cTreeViewChild::remove(cTreeViewItem* item) {
  if (!item) return false;
  // The selection stays where its row stays: keys given while a level is
  // filled again move from it.
  if (within(myUnfocusedItem, item, true)) restoreFocused();
  if (within(mySelected, item, true)) mySelected = nullptr;
  myBuilt = false;
  forgetUnder(item);
  forget(item);
  myTree.remove(item);
  changed();
  return true;
}

bool cTreeViewChild::remove_under(cTreeViewItem* item) {
  if (!item) return clear();
  // A row the user moves to is listed again; with nothing under it no row
  // moves, and laying out the whole tree made each key cost the level.
  if (!item->child) return true;
  if (within(myUnfocusedItem, item, false)) restoreFocused();
  if (within(mySelected, item, false)) mySelected = nullptr;
  myBuilt = false;
  forgetUnder(item);
  myTree.destroy_sub(item);
  changed();
  return true;
}

bool cTreeViewChild::clear() {
  restoreFocused();
  mySelected = nullptr;
  myBuilt = false;
  if (!myTree.first) return false;
  for (cTreeItem* i = myTree.first; i; i = i->next) {
    forgetUnder(node(i));
    forget(node(i));
  }
  myTree.destroy();
  changed();
  return true;
}

bool cTreeViewChild::expand(cTreeViewItem* item, bool notify) {
  if (!item || !laid(item) || !item->collapsed || !isSub(item)) return false;
  item->collapsed = false;
  if (myBatch) {
    myPending = true;
    myAppendsOnly = false;
  } else {
    processSubRead(item);
    relay(item, getUnderItm(item), nullptr);
  }
  if (notify) notifyAction(new cTreeItemAction(tvToggled, item));
  return true;
}

bool cTreeViewChild::collapse(cTreeViewItem* item, bool notify) {
  if (!item || !laid(item) || item->collapsed || !isSub(item)) return false;
  item->collapsed = true;
  myAppendsOnly = false;
  if (myBatch)
    myPending = true;
  else
    relay(item, getUnderItm(item), nullptr);
  if (notify) notifyAction(new cTreeItemAction(tvToggled, item));
  return true;
}

bool cTreeViewChild::select(cTreeViewItem* item, bool focus) {
  if (!item || !laid(item)) return false;
  make(item);
  mySelected = item;
  if (focus) {
    // The row shown as selected while the window was away is plain again.
    restoreFocused();
    item->element->select(true);
  } else {
    changeUnfocused(item);
  }
  return true;
}

cTreeViewChild::cTreeViewItem* cTreeViewChild::find(cTreeViewItem* from, void* association) {
  for (cTreeItem* i = from; i; i = cTree::nextInOrder(i))
    if (node(i)->association == association) return node(i);
  return nullptr;
}

cTreeViewChild::cTreeViewItem* cTreeViewChild::isChild(cChildElement* e) {
  cTreeViewItem** n = myLabels.find(e);
  return n ? *n : nullptr;
}

cTreeViewChild::cTreeViewItem* cTreeViewChild::isCtl(cChildElement* e) {
  cTreeViewItem** n = myControls.find(e);
  return n ? *n : nullptr;
}

cTreeItemElement* cTreeViewChild::rowElement(cTreeViewItem* n) {
  if (!n || !laid(n)) return nullptr;
  make(n);
  return n->element;
}

void cTreeViewChild::selectRoot() {
  if (cTreeItemElement* e = rowElement(root())) e->focus();
}

// ---- settings ----

namespace {

template <typename T>
bool store(T& field, T v) {
  if (field == v) return false;
  field = v;
  return true;
}

}  // namespace

void cTreeViewChild::setOutline(int v) {
  if (store(myOutline, v)) changed();
}
void cTreeViewChild::setSpacing(int v) {
  if (store(mySpacing, v)) changed();
}
void cTreeViewChild::setCellSpacing(int v) {
  if (!store(myCellSpacing, v)) return;
  myRowHeight = 0;
  changed();
}
void cTreeViewChild::setStructIndicatorWidth(int v) {
  if (store(myIndicator, v)) changed();
}
void cTreeViewChild::setBgColor(unsigned int c) {
  if (store(myBg, c)) changed();
}
void cTreeViewChild::setFrmColor(unsigned int c) {
  if (store(myFrame, c)) repaint(nullptr);
}
void cTreeViewChild::setImageLists(cPicturesList* normal, cPicturesList* second, cPicturesList* third) {
  const int any = int{store(myLists[0], normal)} + int{store(myLists[1], second)} + int{store(myLists[2], third)};
  if (!any) return;
  myRowHeight = 0;
  changed();
}
void cTreeViewChild::setUnfocusedColors(unsigned int text, unsigned int bg, unsigned int border) {
  myUnfocused[0] = text;
  myUnfocused[1] = bg;
  myUnfocused[2] = border;
}

// ---- layout ----

void cTreeViewChild::build() {
  myBuilt = true;
  myAppendsOnly = false;
  relay(nullptr, root(), nullptr);
}

void cTreeViewChild::layoutAppended() {
  myAppendsOnly = false;
  cTreeViewItem* first = myAppendedFirst;
  // Rows stored before the level's last come ahead of rows already laid
  // out; new rows on both sides of those take a whole layout.
  cTreeViewItem* stop = node(first->next);
  while (stop && !laid(stop)) stop = node(stop->next);
  const sLevel& level = levelOf(parentItem(first));
  const size_t kept = first->prev ? node(first->prev)->slot + 1 : 0;
  if (!myBuilt || (stop && stop->next) || kept + (stop ? 1 : 0) != level.rows.size() ||
      (kept && level.rows[kept - 1] != first->prev))
    return build();
  relay(parentItem(first), first, stop);
}

void cTreeViewChild::relay(cTreeViewItem* parent, cTreeViewItem* first, cTreeViewItem* stop) {
  if (!myBuilt) return build();
  // Rows laid before the height was known have none.
  if (!myRowHeight) {
    measureRowHeight();
    if (myRowHeight && (parent || first != root())) return build();
  }
  int depth = 1;
  for (cTreeViewItem* a = parent; a; a = parentItem(a)) ++depth;
  const bool placed = !parent || shown(parent), visible = placed && !(parent && parent->collapsed);
  sLevel& level = levelOf(parent);
  const long long before = level.sums.total(), last = stop ? level.sums.at(stop->slot) : 0;
  cTreeViewItem* prev = first ? node(first->prev) : nullptr;
  const size_t kept = prev ? prev->slot + 1 : 0;
  level.rows.resize(kept);
  level.sums.truncate(kept);
  long long y = visible ? (parent ? top(parent) + pitch(parent) : 1) + level.sums.total() : 0;
  layout(first, depth, visible, y, stop);
  if (stop) {
    stop->slot = level.rows.size();
    level.rows.push_back(stop);
    level.sums.append(last);
  }
  // The row before them goes on to them; the level's owner has rows.
  for (cTreeViewItem* n : {prev, parent})
    if (n && n->control) n->control->setKind(kindOf(n), false);
  // The subtrees holding the level grew or shrank by as much.
  const long long by = level.sums.total() - before;
  for (cTreeViewItem* n = placed ? parent : nullptr; n; n = parentItem(n)) levelOf(parentItem(n)).sums.add(n->slot, by);
  setMinVisualHeight(clampInt(1 + myTop.sums.total()));
  setMinVisualWidth(myRights.empty() ? 0 : myRights.rbegin()->first);
  setQuantumSize(5, std::max(mySpacing + (myRowHeight ? myRowHeight : height()), 1));
  placeView(nullptr);
  repaint(nullptr);
}

void cTreeViewChild::layout(cTreeViewItem* first, int depth, bool visible, long long& y, const cTreeViewItem* stop) {
  if (!first) return;
  sLevel& level = levelOf(parentItem(first));
  const int left = clampInt(1LL - myOutline + myIndicator + static_cast<long long>(myOutline) * depth);
  // Depth follows the tree's own nesting; each level is a loop, and the
  // recursion is bounded by what the caller built.
  for (cTreeViewItem* n = first; n && n != stop; n = node(n->next)) {
    n->visible = visible;
    n->left = left;
    const long long from = y;
    if (visible) y += pitch(n);
    n->slot = level.rows.size();
    level.rows.push_back(n);
    n->under = {};
    if (isSub(n)) layout(node(n->child), depth + 1, visible && !n->collapsed, y);
    // Only rows placed before have elements to follow the layout.
    if (n->element) dress(n);
    level.sums.append(y - from);
  }
}

cTreeViewControlElement::eCtlKind cTreeViewChild::kindOf(cTreeViewItem* n) {
  if (isSub(n)) return n->collapsed ? cTreeViewControlElement::ckCollapsed : cTreeViewControlElement::ckExpanded;
  return n->next ? cTreeViewControlElement::ckLine : cTreeViewControlElement::ckEnd;
}

bool cTreeViewChild::laid(cTreeViewItem* n) {
  const sLevel& level = levelOf(parentItem(n));
  return myBuilt && n->slot < level.rows.size() && level.rows[n->slot] == n;
}

void cTreeViewChild::measureRowHeight() {
  if (myRowHeight || !root()) return;
  cTreeItemElement probe;
  attach(&probe, 0, 0, 0, 0, cptNormal);
  probe.hide(false);
  probe.setText("Ag", cCanvas::eAlignLeft, false);
  cTreeViewItem* first = root();
  if (first && first->image >= 0 && myLists[0]) probe.setImages(myLists[0]->image(first->image), nullptr, nullptr, false);
  sSize s{};
  probe.wantsSize(&s);
  myRowHeight = std::max(s.cy + myCellSpacing, 0);
  cChildElement::dettach(&probe);
}

void cTreeViewChild::make(cTreeViewItem* n) {
  if (n->element) return;
  n->element = newTreeItemElement(n);
  attach(n->element, 0, 0, 0, 0, cptNormal);
  n->element->setArrowTabStop(true);
  n->element->setDoubleBuffer(true);
  *myLabels.insert(n->element) = n;
  delete n->control;
  n->control = newTreeViewControlElement(n);
  attach(n->control, 0, 0, 0, 0, cptNormal);
  n->control->setDoubleBuffer(true);
  *myControls.insert(n->control) = n;
  onElementAttach(n, n->element);
  dress(n);
  // A row measured now may widen the view, before any scroll brings it
  // into view: a row selected far right must find the view that wide.
  setMinVisualWidth(myRights.empty() ? 0 : myRights.rbegin()->first);
}

void cTreeViewChild::dress(cTreeViewItem* n) {
  n->element->setText(n->text, cCanvas::eAlignLeft, false);
  if (n->image >= 0) {
    cPicture* p[3];
    for (int i = 0; i < 3; ++i) p[i] = myLists[i] ? myLists[i]->image(n->image) : nullptr;
    n->element->setImages(p[0], p[1], p[2], false);
  }
  n->control->setKind(kindOf(n), false);
  if (!n->visible) {
    tally(n, false);
    n->element->hide(false);
    n->control->hide(false);
    return;
  }
  sSize s{};
  n->element->wantsSize(&s);
  n->width = s.cx + myCellSpacing;
  n->control->setTextMargin(myCellSpacing / 2);
  n->element->setBgColorStd(n == myUnfocusedItem ? myUnfocused[1] : myBg);
  n->control->setBgColor(myBg);
  n->control->setFrameColor(myBg);
  if (n->textColor != kKeep) n->element->setTxtColorStd(n->textColor);
  n->element->show(false);
  n->control->show(false);
  tally(n, true);
}

void cTreeViewChild::tally(cTreeViewItem* n, bool in) {
  if (n->tallied >= 0 && --myRights[n->tallied] == 0) myRights.erase(n->tallied);
  n->tallied = in ? n->left + n->width : -1;
  if (in) ++myRights[n->tallied];
}

long long cTreeViewChild::top(cTreeViewItem* n) {
  long long y = 1;
  for (cTreeViewItem* p = parentItem(n); n; n = p, p = parentItem(p))
    y += levelOf(p).sums.sumTo(n->slot) + (p ? pitch(p) : 0);
  return y;
}

cTreeViewChild::cTreeViewItem* cTreeViewChild::rowAt(long long y) {
  sLevel* level = &myTop;
  for (long long rest = y - 1;;) {
    const size_t i = level->sums.countWithin(rest);
    if (i >= level->rows.size()) return nullptr;
    cTreeViewItem* n = level->rows[i];
    if (rest < pitch(n) || !opened(n)) return n;
    rest -= pitch(n);
    level = &n->under;
  }
}

cTreeViewChild::cTreeViewItem* cTreeViewChild::nextShown(cTreeViewItem* n) {
  if (opened(n)) return node(n->child);
  for (; n; n = parentItem(n))
    if (n->next) return node(n->next);
  return nullptr;
}

void cTreeViewChild::place(cTreeViewItem* n, std::vector<cChildElement*>* out) {
  if (!myBuilt || !shown(n)) return;
  make(n);
  const int y = clampInt(top(n));
  n->element->move(n->left, y, n->width, myRowHeight);
  n->control->move(n->left - myIndicator, y, myIndicator, myRowHeight);
  if (out) out->insert(out->end(), {n->element, n->control});
  if (!n->placed) myPlaced.push_back(n);
  n->placed = true;
}

void cTreeViewChild::placeView(std::vector<cChildElement*>* out) {
  if (!myBuilt) return;
  std::vector<cTreeViewItem*> before;
  before.swap(myPlaced);
  for (cTreeViewItem* n : before) n->placed = false;
  // Rows that may overlap are not in order of place: all of them are.
  const bool all = mySpacing < 0 || myCellSpacing < 0;
  const int bottom = shiftY() + height();
  for (cTreeViewItem* n = all ? root() : rowAt(shiftY()); shown(n) && (all || top(n) < bottom); n = nextShown(n))
    place(n, out);
  // A caller may bring the selected row into view by its place.
  place(mySelected, nullptr);
  // A row that left the view keeps no rectangle: rows laid out since may
  // lie at its old one, and a walk over every child would find it there.
  for (cTreeViewItem* n : before)
    if (!n->placed)
      for (cChildElement* e : {static_cast<cChildElement*>(n->element), static_cast<cChildElement*>(n->control)})
        e->move(0, 0, 0, 0);
}

void cTreeViewChild::onSizeChanged() {
  setPageSize(width(), height());
  cScrollableElement::onSizeChanged();
  placeView(nullptr);
}

bool cTreeViewChild::childrenInView(std::vector<cChildElement*>& out) {
  placeView(&out);
  if (!myBuilt || mySpacing < 0 || myCellSpacing < 0) return false;
  out.push_back(&vbar());
  out.push_back(&hbar());
  return true;
}

void cTreeViewChild::onPaintArea(cCanvas* c) {
  if (!c) return;
  sRect all{0, 0, width(), height()};
  c->drawRect(&all, myBg, myFrame);
}

// ---- actions, keys and focus ----

void cTreeViewChild::toggled(cTreeViewItem* item) {
  relay(item, getUnderItm(item), nullptr);
  notifyAction(new cTreeItemAction(tvToggled, item));
}

bool cTreeViewChild::onAction(cChildElement* sender, cChildAction* a) {
  if (!a) return cScrollableElement::onAction(sender, a);
  // A row that acts, as one that takes the focus, is where it is shown.
  place(isChild(sender) ? isChild(sender) : isCtl(sender), nullptr);
  if (cTreeViewItem* n = isChild(sender)) {
    switch (a->code) {
      case acContextRequest: {
        auto* ctx = static_cast<cCtxRequestAction*>(a);
        sRect r;
        childRect(sender, &r);
        notifyAction(new cTreeItemCtxAction(n, ctx->x + r.x - shiftX(), ctx->y + r.y - shiftY()));
        return true;
      }
      case acChange:
        if (n != mySelected) {
          mySelected = n;
          notifyAction(new cTreeItemAction(tvSelection, n));
        }
        return true;
      case acActivate: notifyAction(new cTreeItemAction(tvActivate, n)); return true;
      case cTreeItemElement::taExpand:
        if (n->collapsed && isSub(n)) {
          n->collapsed = false;
          processSubRead(n);
          toggled(n);
        }
        return true;
      case cTreeItemElement::taCollapse:
        if (!n->collapsed && isSub(n)) {
          n->collapsed = true;
          toggled(n);
        }
        return true;
      default: break;
    }
  } else if (cTreeViewItem* n = isCtl(sender)) {
    processSubRead(n);
    if (!n->child) return true;
    n->collapsed = !n->collapsed;
    if (n->element) n->element->select(true);
    toggled(n);
    return true;
  }
  // A scroll brings other rows into view.
  const bool done = cScrollableElement::onAction(sender, a);
  placeView(nullptr);
  return done;
}

void cTreeViewChild::focusNode(cTreeViewItem* item) {
  if (cTreeItemElement* e = rowElement(item)) e->select(true);
}

bool cTreeViewChild::processKey(int key, bool shift, bool mod2, bool mod3) {
  const bool plain = !shift && !mod2 && !mod3, siblings = !shift && mod2 && !mod3;
  if ((plain || siblings) && key >= kcLeft && key <= kcDown) {
    cTreeViewItem* s = mySelected;
    if (!s) {
      focusNode(root());
      return true;
    }
    cTreeViewItem* to = nullptr;
    if (siblings && key == kcUp)
      to = node(s->prev);
    else if (siblings && key == kcDown)
      to = node(s->next);
    else if (siblings)
      return cScrollableElement::processKey(key, shift, mod2, mod3);
    else if (key == kcLeft)
      to = parentItem(s);
    else if (key == kcRight) {
      if (isSub(s)) {
        expand(s, false);
        to = getUnderItm(s);
      }
    } else if (key == kcUp) {
      if (s->prev) {
        to = node(s->prev);
        while (!to->collapsed && to->child) to = node(myTree.subLast(to));
      } else {
        to = parentItem(s);
      }
    } else {
      to = nextShown(s);
    }
    focusNode(to);
    return true;
  }
  return cScrollableElement::processKey(key, shift, mod2, mod3);
}

void cTreeViewChild::showUnfocused(cTreeViewItem* item) {
  if (!rowElement(item)) return;
  item->element->getStdColorSchema(mySaved[0], mySaved[1], mySaved[2]);
  unsigned int k[3];
  for (int i = 0; i < 3; ++i) k[i] = myUnfocused[i] == kKeep ? mySaved[i] : myUnfocused[i];
  item->element->setStdColorSchema(k[0], k[1], k[2]);
  myUnfocusedItem = item;
}

void cTreeViewChild::restoreFocused() {
  if (myUnfocusedItem && myUnfocusedItem->element)
    myUnfocusedItem->element->setStdColorSchema(mySaved[0], mySaved[1], mySaved[2]);
  myUnfocusedItem = nullptr;
}

void cTreeViewChild::changeUnfocused(cTreeViewItem* item) {
  restoreFocused();
  showUnfocused(item);
  place(item, nullptr);
  // A row that is not shown has no place to scroll to.
  if (item && item->placed) scrollToChild(item->element);
}

void cTreeViewChild::processFocus(int x, int y, int button, bool f1, bool f2) {
  // A press on a row's line beside its text meets that row: else the view
  // took the focus itself and handed it to the selected row, scrolling the
  // view back to it and selecting nothing.
  sRect c;
  cTreeViewItem* n = button != -1 && myBuilt && clientRect(&c) && x >= c.x && x < c.x + c.width && y >= c.y &&
                             y < c.y + c.height
                         ? rowAt(static_cast<long long>(y) + shiftY())
                         : nullptr;
  if (shown(n)) {
    place(n, nullptr);
    const int from = n->left - shiftX(), a = std::max(from, c.x), b = std::min(from + n->width - 1, c.x + c.width - 1);
    // Scrolled sideways past the text, the line still shows the row.
    if (a > b) {
      focusNode(n);
      return;
    }
    x = std::clamp(x, a, b);
    const int rowTop = clampInt(top(n) - shiftY()), lo = std::max(rowTop, c.y),
              hi = std::min(rowTop + myRowHeight - 1, c.y + c.height - 1);
    if (lo <= hi) y = std::clamp(y, lo, hi);
  }
  cScrollableElement::processFocus(x, y, button, f1, f2);
}

void cTreeViewChild::processFocusLost(bool f1, bool f2) {
  cScrollableElement::processFocusLost(f1, f2);
  restoreFocused();
  showUnfocused(mySelected);
}

void cTreeViewChild::onSetFocus(bool f1, bool f2) {
  cScrollableElement::onSetFocus(f1, f2);
  restoreFocused();
  if (cTreeItemElement* e = rowElement(mySelected))
    e->focus();
  else
    selectRoot();
}
