// The tree view: children read only when a node opens, signs and hidden
// subtrees, the key table with and without the sibling modifier, batches,
// and a level of very many rows.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "ciom/treeview.h"
#include "support/fixedcanvas.h"
#include "support/formplatform.h"
#include "support/testplatform.h"

namespace {

using cTV = cTreeViewChild;
using cNode = cTV::cTreeViewItem;

// Nodes whose association is non-null have children, made on first read.
class cLazyTree : public cTV {
 public:
  int reads = 0;
  bool isSub(cNode* n) override { return n && (n->child || n->association); }
  void processSubRead(cNode* n) override {
    ++reads;
    if (n->child || !n->association) return;
    for (int i = 0; i < 2; ++i) storeUnder(n, new cNode((std::string(n->text) + "." + std::to_string(i)).c_str(), nullptr));
  }
};

class cRecorder : public cChildElement {
 public:
  std::vector<std::pair<int, std::string>> heard;
  sPoint asked{-1, -1};
  bool onAction(cChildElement*, cChildAction* a) override {
    if (auto* t = dynamic_cast<cTV::cTreeItemAction*>(a)) heard.push_back({a->code, t->item()->text});
    if (auto* c = dynamic_cast<cTV::cTreeItemCtxAction*>(a)) asked = {c->x, c->y};
    return true;
  }
};

struct sTree {
  cTestRequestTarget window;
  cRecorder root;
  cLazyTree tree;
  cNode *a, *b, *c;
  sTree() {
    window.bind(&root, 1000, 1000);
    root.attach(&tree, 0, 0, 300, 300);
    a = new cNode("a", nullptr);
    b = new cNode("b", &window);  // lazy children
    c = new cNode("c", nullptr);
    tree.storeUnder(nullptr, a);
    tree.storeUnder(nullptr, b);
    tree.storeUnder(nullptr, c);
    tree.storeUnder(a, new cNode("a.0", nullptr));
    tree.storeUnder(a, new cNode("a.1", nullptr));
  }
  ~sTree() { root.dettach(&tree); }
  void settle() {
    while (window.drain()) {
    }
  }
  std::string selected() { return tree.selected() ? tree.selected()->text : "-"; }
  void key(int k, bool mod2 = false) {
    tree.processKey(k, false, mod2, false);
    settle();
  }
  void choose(cNode* n) {
    tree.select(n, true);
    settle();
    root.heard.clear();
  }
};

}  // namespace

TEST(TreeView, LazyChildrenSignsAndHiddenSubtrees) {
  sTree t;
  // The test window measures no text; the cell spacing gives rows a height.
  t.tree.setCellSpacing(10);
  EXPECT_EQ(t.a->control->kind(), cTreeViewControlElement::ckCollapsed);
  EXPECT_EQ(t.b->control->kind(), cTreeViewControlElement::ckCollapsed) << "children only promised";
  EXPECT_EQ(t.c->control->kind(), cTreeViewControlElement::ckEnd);
  EXPECT_FALSE(t.tree.rowElement(cTV::getUnderItm(t.a))->visible_child());
  EXPECT_FALSE(t.tree.expand(t.c, true)) << "a leaf";

  // A click on a collapsed expander reads, opens, selects and tells.
  t.b->control->onMouseButton(2, 2, cTV::mbLeft, true);
  t.settle();
  ASSERT_NE(t.b->child, nullptr);
  EXPECT_EQ(t.selected(), "b");
  EXPECT_EQ(t.b->control->kind(), cTreeViewControlElement::ckExpanded);
  auto* b0 = static_cast<cNode*>(t.b->child);
  EXPECT_EQ(b0->control->kind(), cTreeViewControlElement::ckLine);
  EXPECT_EQ(static_cast<cNode*>(b0->next)->control->kind(), cTreeViewControlElement::ckEnd);
  EXPECT_TRUE(t.tree.rowElement(b0)->visible_child());
  sRect rb, rb0, rc;
  t.tree.childRect(t.tree.rowElement(t.b), &rb);
  t.tree.childRect(t.tree.rowElement(b0), &rb0);
  t.tree.childRect(t.tree.rowElement(t.c), &rc);
  EXPECT_EQ(rb0.x - rb.x, t.tree.outline());
  EXPECT_GT(rc.y, rb0.y);
  EXPECT_EQ(t.root.heard, (std::vector<std::pair<int, std::string>>{{9, "b"}, {7, "b"}}));

  EXPECT_TRUE(t.tree.collapse(t.b, false));
  EXPECT_FALSE(t.tree.rowElement(b0)->visible_child());
  sRect collapsedC;
  t.tree.childRect(t.tree.rowElement(t.c), &collapsedC);
  EXPECT_LT(collapsedC.y, rc.y);

  // Inside a batch nothing is read or laid out until it ends.
  const int reads = t.tree.reads;
  t.tree.startChanges();
  EXPECT_TRUE(t.tree.expand(t.a, false));
  EXPECT_FALSE(t.tree.rowElement(cTV::getUnderItm(t.a))->visible_child());
  EXPECT_EQ(t.tree.reads, reads);
  t.tree.endChanges();
  EXPECT_TRUE(t.tree.rowElement(cTV::getUnderItm(t.a))->visible_child());

  EXPECT_EQ(t.tree.find(b0->association), t.a) << "pre-order: the first null association";
  EXPECT_EQ(t.tree.find(&t.window), t.b);
  EXPECT_EQ(t.tree.isChild(t.tree.rowElement(b0)), b0);
  EXPECT_EQ(t.tree.isCtl(b0->control), b0);
  EXPECT_TRUE(t.tree.remove(t.b));
  EXPECT_EQ(t.tree.isChild(t.tree.rowElement(t.c)), t.c);
  EXPECT_TRUE(t.tree.clear());
  EXPECT_FALSE(t.tree.clear());
}

TEST(TreeView, Keys) {
  struct {
    const char* name;
    const char* from;  // "-" none
    int key;
    bool siblings;
    const char* to;
  } cases[] = {
      {"none selects the first", "-", cTV::kcDown, false, "a"},
      {"Down enters an expanded node", "a", cTV::kcDown, false, "a.0"},
      {"Down leaves the last child for the parent's sibling", "a.1", cTV::kcDown, false, "b"},
      {"Down on the last node keeps it", "c", cTV::kcDown, false, "c"},
      {"Up on the first child is the parent", "a.0", cTV::kcUp, false, "a"},
      {"Up descends into the expanded sibling", "b", cTV::kcUp, false, "a.1"},
      {"Left on a top-level node keeps it", "a", cTV::kcLeft, false, "a"},
      {"Left goes to the parent", "a.1", cTV::kcLeft, false, "a"},
      {"Right opens and enters", "b", cTV::kcRight, false, "b.0"},
      {"Control+Down skips the children", "a", cTV::kcDown, true, "b"},
      {"Control+Up skips the children", "b", cTV::kcUp, true, "a"},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(k.name);
    sTree t;
    t.tree.expand(t.a, false);
    if (std::string(k.from) != "-") {
      cNode* from = nullptr;
      for (cNode* n : {t.a, static_cast<cNode*>(t.a->child), static_cast<cNode*>(t.a->child->next), t.b, t.c})
        if (std::string(n->text) == k.from) from = n;
      ASSERT_NE(from, nullptr);
      t.choose(from);
    }
    t.key(k.key, k.siblings);
    EXPECT_EQ(t.selected(), k.to);
  }
}

TEST(TreeView, LeafExpanderAndContextRequests) {
  sTree t;
  t.tree.setCellSpacing(10);
  t.c->control->onMouseButton(2, 2, cTV::mbLeft, true);
  t.settle();
  EXPECT_TRUE(t.root.heard.empty()) << "a leaf's expander answers nothing";

  sRect r;
  t.tree.childRect(t.tree.rowElement(t.c), &r);
  cChildElement::cCtxRequestAction ask(3, 4, false, false, false);
  t.tree.onAction(t.tree.rowElement(t.c), &ask);
  t.settle();
  EXPECT_EQ(t.root.heard, (std::vector<std::pair<int, std::string>>{{8, "c"}}));
  EXPECT_EQ(t.root.asked.x, r.x + 3) << "the point in the view's coordinates";
  EXPECT_EQ(t.root.asked.y, r.y + 4);
}

namespace {

// A view whose window measures text as text is, so that each row has its
// own size, and counts the texts it measured.
class cMeasuringTarget : public cFormTestTarget {
 public:
  int measured = 0;
  bool _rt_textbox(cFontObject* font, const char* text, sSize& size) override {
    ++measured;
    return cFormTestTarget::_rt_textbox(font, text, size);
  }
};

// A label that counts the times it is placed.
class cPlacedLabel : public cTreeItemElement {
 public:
  static int placed;
  bool move(int x, int y, int w, int h) override {
    ++placed;
    return cTreeItemElement::move(x, y, w, h);
  }
};
int cPlacedLabel::placed = 0;

// Names what a paint or the pointer reaches.
class cShowingTree : public cTV {
 public:
  cTreeItemElement* newTreeItemElement(cNode*) override { return new cPlacedLabel; }
  std::vector<cChildElement*> inView() {
    std::vector<cChildElement*> children;
    reachableChildren(children);
    return children;
  }
};

struct sMeasuredView {
  cMeasuringTarget window;
  cRecorder root;
  cShowingTree tree;
  sMeasuredView() {
    window.bind(&root, 1000, 1000);
    root.attach(&tree, 0, 0, 300, 300);
  }
  ~sMeasuredView() { root.dettach(&tree); }
};

// An open top-level row to hold a level, and a row after it.
cNode* openLevel(cTV& tree) {
  cNode* level = new cNode("level", nullptr);
  level->collapsed = false;
  tree.storeUnder(nullptr, level);
  tree.storeUnder(nullptr, new cNode("after", nullptr));
  return level;
}

// Where every row shows as the view scrolls over all of them, its line or
// sign, and the view's size: what a layout leaves, for comparing two.
std::vector<std::string> laidOut(sMeasuredView& view) {
  cShowingTree& tree = view.tree;
  std::map<cChildElement*, sRect> seen;
  const unsigned long long last = tree.vbar().visible_child() ? tree.vbar().maxval() : 0;
  for (unsigned long long at = 0;; at += 100) {
    tree.vbar().setPos(std::min(at, last), true);
    view.window.settle();
    for (cChildElement* e : tree.inView()) tree.childRect(e, &seen[e]);
    if (at >= last) break;
  }
  std::vector<std::string> rows;
  for (cTreeItem* i = tree.root(); i; i = cTree::nextInOrder(i)) {
    auto* n = static_cast<cNode*>(i);
    const bool shown = tree.rowElement(n)->visible_child();
    std::string row = std::string(n->text) + " " + std::to_string(n->control->kind());
    if (shown) {
      EXPECT_TRUE(seen.count(n->element)) << n->text << " never shows";
      const sRect& r = seen[n->element];
      char place[64];
      std::snprintf(place, sizeof place, " %d,%d %dx%d", r.x, r.y, r.width, r.height);
      row += place;
    }
    rows.push_back(row);
  }
  rows.push_back("view " + std::to_string(tree.minVisualWidth()) + "x" + std::to_string(tree.minVisualHeight()));
  return rows;
}

}  // namespace

// A level filled in batches, as the folder chooser fills one, is laid out
// batch by batch; what it leaves must be what laying out the whole tree
// leaves, the rows after the level moved down included.
TEST(TreeView, RowsAddedInBatchesLieWhereAWholeLayoutPutsThem) {
  struct sCase {
    const char* name;
    int under;  // 0: the top level, 1: under "a", 2: under "a.1"
    bool collapsed;
    int batches, rows;
    bool beforeLast = false;  // around the level's last row, kept last
  } cases[] = {
      {"top", 0, false, 3, 4}, {"first level", 1, false, 4, 5}, {"deeper, rows after it", 2, false, 3, 7},
      {"collapsed", 2, true, 2, 3}, {"one row", 1, false, 1, 1},
      {"before the last of the first level", 1, false, 3, 4, true},
      {"before the last of the top level", 0, false, 2, 5, true},
  };
  for (const sCase& c : cases) {
    sMeasuredView view;
    cShowingTree& tree = view.tree;
    cNode* a = new cNode("a", nullptr);
    cNode* a1 = new cNode("a.1", nullptr);
    tree.storeUnder(nullptr, a);
    tree.storeUnder(a, new cNode("a.0", nullptr));
    tree.storeUnder(a, a1);
    tree.storeUnder(a1, new cNode("a.1.0", nullptr));
    tree.storeUnder(nullptr, new cNode("b", nullptr));
    cNode* parent = c.under == 0 ? nullptr : c.under == 1 ? a : a1;
    for (cNode* n : {a, a1}) n->collapsed = false;
    if (parent) parent->collapsed = c.collapsed;
    tree.update();
    for (int b = 0; b < c.batches; ++b) {
      tree.startChanges();
      for (int r = 0; r < c.rows; ++r)
        tree.storeUnder(parent, new cNode(("new " + std::to_string(b) + "." + std::to_string(r) +
                                             std::string(static_cast<size_t>(r % 3), 'w'))
                                                .c_str(),
                                            nullptr),
                       c.beforeLast);
      tree.endChanges();
    }
    const std::vector<std::string> batched = laidOut(view);
    tree.update();
    EXPECT_EQ(batched, laidOut(view)) << c.name;
  }
}

// The folder chooser lists each row the user moves to: the row's old rows
// go, then its new ones come in a batch. In a large level that measures
// those of the new rows that come into view alone, and leaves what a whole
// layout leaves.
TEST(TreeView, ARowListedInALevelMeasuresItsOwnRowsAlone) {
  struct {
    int rows, at, children;
  } cases[] = {{20, 0, 0}, {20, 10, 3}, {20, 19, 2}, {5000, 0, 3}, {5000, 2500, 0}, {5000, 2500, 4}, {5000, 4999, 1}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.rows) + " rows, row " + std::to_string(c.at));
    sMeasuredView view;
    cShowingTree& tree = view.tree;
    cNode* level = openLevel(tree);
    tree.startChanges();
    cNode* row = nullptr;
    for (int r = 0; r < c.rows; ++r) {
      auto* n = new cNode(("row " + std::to_string(r)).c_str(), nullptr);
      n->collapsed = false;
      tree.storeUnder(level, n);
      if (r == c.at) row = n;
    }
    tree.endChanges();
    tree.select(row, true);
    view.window.settle();
    view.window.measured = 0;
    tree.startChanges();
    tree.remove_under(row);
    tree.endChanges();
    tree.startChanges();
    for (int k = 0; k < c.children; ++k)
      tree.storeUnder(row, new cNode(("child " + std::string(static_cast<size_t>(k), 'w')).c_str(), nullptr));
    tree.endChanges();
    // A row has an element once it was placed in view, and only then is it measured.
    const auto made = [](cNode* n) {
      int count = 0;
      for (cTreeItem* k = n->child; k; k = k->next) count += static_cast<cNode*>(k)->element != nullptr;
      return count;
    };
    EXPECT_EQ(view.window.measured, made(row));
    EXPECT_EQ(tree.selected(), row);
    const std::vector<std::string> listed = laidOut(view);
    tree.update();
    EXPECT_EQ(listed, laidOut(view));
    // Closed and opened again by its keys, and the level's last row too.
    for (cNode* n : {row, static_cast<cNode*>(level->lastChild)}) {
      tree.storeUnder(n, new cNode("the widest row of them all", nullptr));
      for (unsigned short key : {'-', '+'}) {
        view.window.measured = 0;
        tree.rowElement(n)->onChar(key, false, false, false);
        view.window.settle();
        EXPECT_EQ(view.window.measured, key == '-' ? 0 : made(n)) << key;
        const std::vector<std::string> toggled = laidOut(view);
        tree.update();
        EXPECT_EQ(toggled, laidOut(view)) << key;
      }
    }
  }
}

namespace {

class cCountedLabel : public cTreeItemElement {
 public:
  static int painted;
  void onPaint(cCanvas* c) override {
    ++painted;
    cTreeItemElement::onPaint(c);
  }
};
int cCountedLabel::painted = 0;

class cCountingTree : public cShowingTree {
 public:
  cTreeItemElement* newTreeItemElement(cNode*) override { return new cCountedLabel; }
};

// Hands every child a canvas of its own place, so that a paint goes down.
class cPaintThrough : public cFixedMetricCanvas {
 public:
  using cFixedMetricCanvas::cFixedMetricCanvas;
  bool canDrawAt(sRect*) override { return true; }
  cCanvas* subCanvas(sRect* r) override { return new cPaintThrough(r->width, r->height); }
};

}  // namespace

// A level of very many rows, filled in batches as the folder chooser fills
// one: a paint, a click or a move of the focus looks at the rows in view
// alone, and each finds what a look at every row finds.
TEST(TreeView, APaintClickOrFocusLooksOnlyAtTheRowsInView) {
  constexpr int kView = 300, kRowHeight = 10;
  for (int rows : {1000, 100000}) {
    SCOPED_TRACE(rows);
    cTestRequestTarget window;
    cRecorder root;
    cCountingTree tree;
    window.bind(&root, 1000, 1000);
    root.attach(&tree, 0, 0, kView, kView);
    tree.setCellSpacing(kRowHeight);
    cNode* level = openLevel(tree);
    tree.update();
    for (int r = 0; r < rows;) {
      tree.startChanges();
      for (int end = std::min(rows, r + 200); r < end; ++r)
        tree.storeUnder(level, new cNode(("row " + std::to_string(r)).c_str(), nullptr));
      tree.endChanges();
    }
    const unsigned long long bottom = tree.vbar().maxval();
    for (unsigned long long at : {0ULL, bottom / 2 + 3, bottom}) {
      tree.vbar().setPos(at, true);
      while (window.drain()) {
      }
      ASSERT_EQ(tree.shiftY(), static_cast<int>(at));
      // What a look at every row finds: the rows that show in the view,
      // each a row's height below the one above it.
      sRect client;
      tree.clientRect(&client);
      int inView = 0;
      cNode* hit = nullptr;
      std::vector<cNode*> all{level};
      for (cTreeItem* i = level->child; i; i = i->next) all.push_back(static_cast<cNode*>(i));
      all.push_back(static_cast<cNode*>(level->next));
      for (size_t k = 0; k < all.size(); ++k) {
        const int top = 1 + static_cast<int>(k) * kRowHeight - tree.shiftY();
        if (top < client.height && top + kRowHeight > 0) ++inView;
        if (top <= kView / 2 && top + kRowHeight > kView / 2) hit = all[k];
      }
      cCountedLabel::painted = 0;
      cPaintThrough canvas(kView, kView);
      tree.processPaint(&canvas);
      EXPECT_GT(inView, kView / kRowHeight - 2) << at;
      EXPECT_EQ(cCountedLabel::painted, inView) << at;
      EXPECT_LE(tree.inView().size(), static_cast<size_t>(2 * inView + 4)) << at;
      // A click in the middle of the view selects the row there.
      ASSERT_NE(hit, nullptr);
      sRect r;
      tree.childRect(tree.rowElement(hit), &r);
      root.processMouseBtn(r.x + 2, kView / 2, cTV::mbLeft, true, false, false);
      root.processMouseBtn(r.x + 2, kView / 2, cTV::mbLeft, false, false, false);
      while (window.drain()) {
      }
      EXPECT_EQ(tree.selected(), hit) << at;
    }
    // The focus moves between rows out of view, as keys move it, and only
    // one row ever holds it.
    for (cTreeItem* to : {level->child, level->lastChild, level->child}) {
      root.processFocusDirect(tree.rowElement(static_cast<cNode*>(to)));
      int focused = 0;
      for (cTreeItem* i = level; i; i = cTree::nextInOrder(i)) focused += tree.rowElement(static_cast<cNode*>(i))->focused();
      EXPECT_EQ(focused, 1);
      EXPECT_TRUE(tree.rowElement(static_cast<cNode*>(to))->focused());
    }
    // The level filled again keeps its selected row, and a row that goes
    // takes the selection with it.
    tree.select(level, true);
    while (window.drain()) {
    }
    tree.startChanges();
    tree.remove_under(level);
    tree.storeUnder(level, new cNode("again", nullptr));
    tree.endChanges();
    EXPECT_EQ(tree.selected(), level);
    tree.processKey(cTV::kcDown, false, false, false);
    while (window.drain()) {
    }
    ASSERT_NE(tree.selected(), nullptr);
    EXPECT_STREQ(tree.selected()->text, "again");
    tree.remove_under(level);
    EXPECT_EQ(tree.selected(), nullptr);
    root.dettach(&tree);
  }
}

// Closing, opening, moving to and listing a row of a level costs the rows
// in view and the row's own: as much in a level of 50,000 rows as in one of
// 1,000.
TEST(TreeView, ARowOpenedClosedOrListedPlacesTheRowsInViewAlone) {
  const char* const actions[] = {"-", "+", "Down", "list"};
  auto work = [&](int rows) {
    sMeasuredView view;
    cShowingTree& tree = view.tree;
    cNode* level = openLevel(tree);
    std::vector<cNode*> row;
    for (int r = 0; r < rows;) {
      tree.startChanges();
      for (int end = std::min(rows, r + 5000); r < end; ++r) {
        row.push_back(new cNode(("row " + std::to_string(r)).c_str(), nullptr));
        row.back()->collapsed = false;
        tree.storeUnder(level, row.back());
      }
      tree.endChanges();
    }
    for (int k = 0; k < 3; ++k) tree.storeUnder(row[2], new cNode(("child " + std::to_string(k)).c_str(), nullptr));
    tree.select(row[2], true);
    view.window.settle();
    std::vector<std::string> spent;
    for (std::string a : actions) {
      cPlacedLabel::placed = view.window.measured = 0;
      if (a == "Down") {
        tree.select(row[4], true);
        view.window.settle();
        cPlacedLabel::placed = 0;
        tree.processKey(cTV::kcDown, false, false, false);
      } else if (a == "list") {
        tree.startChanges();
        for (int k = 0; k < 3; ++k) tree.storeUnder(row[5], new cNode("new", nullptr));
        tree.endChanges();
      } else {
        tree.rowElement(row[2])->onChar(static_cast<unsigned short>(a[0]), false, false, false);
      }
      view.window.settle();
      spent.push_back(a + ": placed " + std::to_string(cPlacedLabel::placed) + ", measured " +
                      std::to_string(view.window.measured));
    }
    EXPECT_EQ(tree.selected(), row[5]);
    return spent;
  };
  EXPECT_EQ(work(1000), work(50000));
}

// A tree costs what its view shows: rows filled in batches into an open
// level, a closed one or around a row shown ahead, then opened, scrolled
// and cleared, make elements and measure texts for the rows placed in view
// alone, never for the rest.
TEST(TreeView, RowsOutOfViewAreDataWithoutElementsOrMeasuredText) {
  constexpr int kRows = 20000;
  const struct {
    const char* name;
    bool open, beforeLast;
  } cases[] = {{"into an open level", true, false}, {"into a closed level", false, false},
               {"around a row shown ahead", true, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    sMeasuredView view;
    cShowingTree& tree = view.tree;
    cNode* level = openLevel(tree);
    level->collapsed = !c.open;
    if (c.beforeLast) tree.storeUnder(level, new cNode("ahead", nullptr));
    tree.update();
    view.window.settle();
    const auto made = [&] {
      int count = 0;
      for (cTreeItem* i = tree.root(); i; i = cTree::nextInOrder(i)) count += static_cast<cNode*>(i)->element != nullptr;
      return count;
    };
    for (int r = 0; r < kRows;) {
      tree.startChanges();
      for (int end = std::min(kRows, r + 500); r < end; ++r)
        tree.storeUnder(level, new cNode(("row " + std::to_string(r)).c_str(), nullptr), c.beforeLast);
      tree.endChanges();
      view.window.settle();
    }
    // A view of 300 pixels holds a few dozen rows; each is measured and made
    // once, however many come.
    const int inView = static_cast<int>(tree.inView().size());
    EXPECT_LE(view.window.measured, inView + 8);
    EXPECT_LE(made(), inView + 8);
    if (!c.open) tree.expand(level, false);
    for (unsigned long long at : {tree.vbar().maxval() / 2, tree.vbar().maxval()}) {
      view.window.measured = 0;
      tree.vbar().setPos(at, true);
      view.window.settle();
      EXPECT_LE(view.window.measured, static_cast<int>(tree.inView().size()) + 8) << at;
    }
    EXPECT_LE(made(), 3 * (static_cast<int>(tree.inView().size()) + 8));
    view.window.measured = 0;
    tree.remove_under(level);
    view.window.settle();
    EXPECT_LE(view.window.measured, 8);
  }
}
