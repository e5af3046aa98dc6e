// A press on the tree view selects the row that a layout of the whole tree
// puts under the pointer, whatever rows came, went, opened or scrolled
// before: rows laid out or placed at other times must not catch it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "ciom/treeview.h"
#include "support/formplatform.h"

namespace {

using cTV = cTreeViewChild;
using cNode = cTV::cTreeViewItem;

struct sBox {
  cNode* node;
  int x, y, w, h;  // the label; the expander lies left of it
};

class cRoot : public cChildElement {
 public:
  bool onAction(cChildElement*, cChildAction*) override { return true; }
};

// The view tries its children in the order of their addresses; labels made
// beforehand and handed out in a chosen order of addresses let a test have
// the rows made later tried first or last, whatever the heap does.
class cOrderedTree : public cTV {
 public:
  std::vector<std::unique_ptr<cTreeItemElement>> spare;
  void prepare(size_t count, bool laterFirst) {
    for (size_t k = 0; k < count; ++k) spare.push_back(std::make_unique<cTreeItemElement>());
    std::sort(spare.begin(), spare.end(), [&](const auto& a, const auto& b) {
      return laterFirst ? std::less<>()(a.get(), b.get()) : std::less<>()(b.get(), a.get());
    });
  }
  cTreeItemElement* newTreeItemElement(cNode* n) override {
    if (spare.empty()) return cTV::newTreeItemElement(n);
    cTreeItemElement* e = spare.back().release();
    spare.pop_back();
    return e;
  }
};

struct sView {
  static constexpr int kSize = 300;
  cFormTestTarget window;
  cRoot root;
  cOrderedTree tree;
  int id = 0, clicks = 0;
  sView() {
    window.bind(&root, 1000, 1000);
    root.attach(&tree, 0, 0, kSize, kSize);
    tree.setCellSpacing(4);
  }
  ~sView() { root.dettach(&tree); }
  // Some rows have no text; they are as high as the others.
  cNode* add(cNode* parent, bool beforeLast = false) {
    const int n = id++;
    char label[16] = "";
    if (n % 5 != 4) std::snprintf(label, sizeof label, "r%d", n);
    auto* row = new cNode(label, nullptr);
    tree.storeUnder(parent, row, beforeLast);
    return row;
  }
  std::vector<cNode*> all() {
    std::vector<cNode*> rows;
    for (cTreeItem* i = tree.root(); i; i = cTree::nextInOrder(i)) rows.push_back(static_cast<cNode*>(i));
    return rows;
  }

  // The shown rows in content coordinates, laid out from the top.
  void layOut(cNode* first, int depth, long long& y, std::vector<sBox>& out) {
    for (cNode* n = first; n; n = cTV::getNextUnderItm(n)) {
      sSize s{}, line{};
      tree.rowElement(n)->wantsSize(&s);
      tree.rowElement(tree.root())->wantsSize(&line);  // the first row has text
      const int x = 1 - tree.outline() + tree.structIndicatorWidth() + tree.outline() * depth;
      const int h = line.cy + tree.cellSpacing();
      out.push_back({n, x, static_cast<int>(y), s.cx + tree.cellSpacing(), h});
      y += h + tree.spacing();
      if (!n->collapsed && tree.isSub(n)) layOut(cTV::getUnderItm(n), depth + 1, y, out);
    }
  }
  std::vector<sBox> wholeLayout() {
    std::vector<sBox> out;
    long long y = 1;
    layOut(tree.root(), 1, y, out);
    return out;
  }

  // Presses at a point of the view; whether the row then selected is the
  // one under it, or the one selected before when no row is.
  bool click(const std::vector<sBox>& layout, int px, int py) {
    const int cx = px + tree.shiftX(), cy = py + tree.shiftY();
    cNode* want = tree.selected();
    for (const sBox& b : layout)
      if (cy >= b.y && cy < b.y + b.h && cx >= b.x - tree.structIndicatorWidth() && cx < b.x + b.w)
        want = cx >= b.x ? b.node : nullptr;
    if (!want) return true;  // an expander, or nothing selected to keep
    ++clicks;
    root.processMouseBtn(px, py, cTV::mbLeft, true, false, false);
    root.processMouseBtn(px, py, cTV::mbLeft, false, false, false);
    window.settle();
    window.repaints.clear();
    return tree.selected() == want;
  }
  // Presses every row in view, and a point below them when there is one.
  int clickEveryRow() {
    sRect client;
    tree.clientRect(&client);
    const std::vector<sBox> layout = wholeLayout();
    int wrong = 0;
    for (const sBox& b : layout) {
      const int top = b.y - tree.shiftY();
      if (b.h > 0 && top + b.h > 0 && top < client.height) wrong += !click(layout, b.x + 1, std::max(top, 0));
    }
    if (!layout.empty() && layout.back().y + layout.back().h - tree.shiftY() < client.height - 1)
      wrong += !click(layout, 2, client.height - 1);
    return wrong;
  }
};

}  // namespace

// Rows shown at the bottom while the rows above them change, as a level
// fills above the view in the folder chooser: the rows that moved out of
// the view stay out of reach, and those that came into it are reached.
TEST(TreeViewClick, RowsThatLeftTheViewCatchNoPress) {
  const char* const cases[] = {"20 rows come above the view in one batch", "a row above the view opens"};
  for (int k = 0; k < 4; ++k) {
    const std::string c = cases[k % 2];
    const bool laterFirst = k >= 2;
    SCOPED_TRACE(c + (laterFirst ? ", rows made later tried first" : ""));
    sView v;
    v.tree.prepare(256, laterFirst);
    for (int r = 0; r < 100; ++r) v.add(nullptr);
    std::vector<cNode*> top = v.all();
    for (int r = 0; r < 30; ++r) v.add(top[10]);
    for (int r = 0; r < 50; ++r) v.add(top.back());
    v.tree.expand(top.back(), false);
    v.tree.vbar().setPos(v.tree.vbar().maxval(), true);
    v.window.settle();
    EXPECT_EQ(v.clickEveryRow(), 0) << "before";
    if (k % 2 == 0) {
      v.tree.startChanges();
      for (int r = 0; r < 20; ++r) v.add(nullptr, true);
      v.tree.endChanges();
    } else {
      v.tree.rowElement(top[10])->onChar('+', false, false, false);
    }
    v.window.settle();
    EXPECT_EQ(v.clickEveryRow(), 0) << "of " << v.clicks << " presses";
  }
}

// Random adds, batches, removals, clears, opens, closes and scrolls, each
// followed by presses on every row in view.
TEST(TreeViewClick, EveryPressSelectsTheRowAWholeLayoutPutsThere) {
  for (unsigned seed : {1u, 2u, 3u, 4u}) {
    SCOPED_TRACE(seed);
    sView v;
    std::mt19937 rnd(seed);
    auto pick = [&](size_t n) { return static_cast<size_t>(rnd() % n); };
    int wrong = 0;
    for (int round = 0; round < 200; ++round) {
      // Rows shown and with rows of their own are where the view changes.
      std::vector<cNode*> rows, shown, open;
      for (cNode* n : v.all()) {
        rows.push_back(n);
        if (v.tree.rowElement(n)->visible_child()) shown.push_back(n);
        if (n->child && v.tree.rowElement(n)->visible_child()) open.push_back(n);
      }
      auto any = [&](const std::vector<cNode*>& from) { return from.empty() ? nullptr : from[pick(from.size())]; };
      switch (rows.size() < 60 ? 0 : pick(rows.size() > 600 ? 10 : 9)) {
        case 0:
        case 1:
        case 2: {
          // A level filling in a batch, in order or around its last row.
          cNode* parent = pick(4) ? any(shown) : nullptr;
          const bool beforeLast = pick(2);
          v.tree.startChanges();
          for (size_t k = 1 + pick(30); k; --k) v.add(parent, beforeLast);
          v.tree.endChanges();
          break;
        }
        case 3:
        case 4:
          if (cNode* n = any(open)) v.tree.rowElement(n)->onChar(n->collapsed ? '+' : '-', false, false, false);
          break;
        case 5:
        case 6: v.tree.vbar().setPos(v.tree.vbar().maxval() * pick(101) / 100, true); break;
        case 7: v.add(any(shown)); break;
        case 8: v.tree.remove(any(rows)); break;
        default: pick(8) ? v.tree.remove_under(any(rows)) : v.tree.clear(); break;
      }
      v.window.settle();
      wrong += v.clickEveryRow();
    }
    EXPECT_EQ(wrong, 0) << "of " << v.clicks << " presses";
  }
}

// The tree scrolled by its bar away from the selected row while another
// control holds the focus: a press on a row's line, on its text or beside
// it, selects that row and leaves the view where it is.
TEST(TreeViewClick, APressAfterTheBarScrolledAwaySelectsTheRowThere) {
  const struct {
    const char* name;
    bool drag;   // the thumb dragged, else the bar's position set
    int beside;  // pixels right of the text's end, or on the text when 0
  } cases[] = {{"thumb dragged, on the text", true, 0},
               {"thumb dragged, beside the text", true, 30},
               {"position set, beside the text", false, 30}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    sView v;
    cSelectableElement field;
    v.root.attach(&field, sView::kSize + 10, 0, 80, 20);
    for (int r = 0; r < 100; ++r) v.add(nullptr);
    v.window.settle();
    sRect bar{}, client{};
    ASSERT_TRUE(v.tree.childRect(&v.tree.vbar(), &bar));
    v.tree.clientRect(&client);
    for (size_t row = 0;; ++row) {
      v.tree.vbar().setPos(0, true);
      v.window.settle();
      v.window.click(v.tree.root()->left + 1, 2);
      v.window.click(sView::kSize + 20, 5);
      ASSERT_TRUE(v.tree.selected() == v.tree.root() && field.selected());
      if (c.drag) {
        int at = 0;
        while (v.tree.vbar().hit(at) != cScrollBar::hrThumb) ++at;
        v.window.press(bar.x + 2, bar.y + at, true);
        v.window.move(bar.x + 2, bar.y + at + bar.height / 2);
        v.window.press(bar.x + 2, bar.y + at + bar.height / 2, false);
      } else {
        v.tree.vbar().setPos(v.tree.vbar().maxval() / 2, true);
        v.window.settle();
      }
      const int shift = v.tree.shiftY();
      ASSERT_GT(shift, client.height);
      const std::vector<sBox> layout = v.wholeLayout();
      auto b = std::find_if(layout.begin(), layout.end(), [&](const sBox& b) { return b.y >= shift; });
      if (static_cast<size_t>(layout.end() - b) <= row || b[row].y + b[row].h - shift > client.height) break;
      b += row;
      v.window.click(b->x + (c.beside ? b->w + c.beside : 1), b->y - shift + 1);
      EXPECT_EQ(v.tree.selected(), b->node) << "row " << row;
      EXPECT_EQ(v.tree.shiftY(), shift) << "row " << row;
    }
    v.root.dettach(&field);
  }
}

// Scrolled sideways past the text of the rows, a press on a row's line
// selects that row, wherever on the line it falls.
TEST(TreeViewClick, APressOnARowsLineScrolledPastItsTextSelectsIt) {
  sView v;
  for (int r = 0; r < 8; ++r) v.add(nullptr);
  v.tree.storeUnder(nullptr, new cNode(std::string(400, 'w').c_str(), nullptr));
  v.window.settle();
  const std::vector<sBox> layout = v.wholeLayout();
  for (size_t k = 0; k + 1 < layout.size(); ++k)
    for (int x : {2, sView::kSize / 2}) {
      v.tree.select(layout.back().node, true);
      v.window.settle();
      v.tree.hbar().setPos(v.tree.hbar().maxval());
      v.window.settle();
      ASSERT_GT(v.tree.shiftX(), layout[k].x + layout[k].w);
      for (bool down : {true, false})
        v.root.processMouseBtn(x, layout[k].y - v.tree.shiftY() + 1, cTV::mbLeft, down, false, false);
      v.window.settle();
      EXPECT_EQ(v.tree.selected(), layout[k].node) << "row " << k << " at " << x;
    }
}
