// The views painted on the real off-screen canvas: the list's selected row
// colours with and without the focus, full-line selection filling the gaps
// and the rest of the row, a check box's picture, the empty-list text; the
// tree's expander signs. The real-window tests take screenshots of them.
#include <gtest/gtest.h>

#include "ciom/listview.h"
#include "ciom/treeview.h"
#include "ciom/themeuse.h"
#include "sheettarget.h"
#include "support.h"

namespace {

constexpr int kW = 300, kH = 160;

struct sList {
  cSheetTarget target;
  cChildElement root;
  cListViewChild list;
  cCrbOffscreenCanvas canvas;
  sList() {
    root.setWinTarget(&target, 0, 0, kW, kH);
    root.attach(&list, 0, 0, kW, kH);
    list.setColumn(1, "Name", 100, cCanvas::eAlignLeft);
    list.setColumn(2, "Size", 80, cCanvas::eAlignRight);
  }
  ~sList() { root.dettach(&list); }
  void fill() {
    for (int r = 0; r < 3; ++r) {
      list.setItem(r, 1, "x", -1, nullptr);
      list.setItem(r, 2, "1", -1, nullptr);
    }
  }
  void paint() {
    canvas.close();
    ASSERT_TRUE(canvas.create(kW, kH));
    list.onPaintArea(&canvas);
  }
  // The screen row of a row's middle.
  int middle(int row) {
    int top = 0, bottom = 0;
    EXPECT_TRUE(list.itemRange(row, top, bottom));
    return 1 + (top + bottom) / 2;
  }
};

}  // namespace

// Only the row's first cell, which carries its selection, is framed; a later
// cell keeps the list's colours unless full-line selection colours the row.
TEST(ListViewPixels, SelectedRowsInTheThemeColours) {
  const int gap = 1 + 100 + 1, rest = 1 + 100 + 3 + 80 + 3 + 20, cellEnd = 1 + 100 - 4, second = 1 + 100 + 3 + 40;
  struct {
    const char* name;
    bool focus, fullLine;
    unsigned int cell, gap, second, secondLine, rest;
  } cases[] = {
      {"framed cell without the focus", false, false, themeColor(18), themeColor(14), themeColor(14), themeColor(14),
       themeColor(14)},
      {"framed cell with the focus", true, false, themeColor(16), themeColor(14), themeColor(14), themeColor(14),
       themeColor(14)},
      {"full line without the focus", false, true, themeColor(18), themeColor(18), themeColor(18), themeColor(18),
       themeColor(18)},
      {"full line with the focus", true, true, themeColor(16), themeColor(16), themeColor(16), themeColor(16),
       themeColor(16)},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(k.name);
    sList s;
    s.fill();
    s.list.setFullLineSelect(k.fullLine, false);
    s.list.select(1);
    // The sheet delivers no actions, so the focus is given directly.
    if (k.focus) s.root.processFocusDirect(&s.list);
    ASSERT_EQ(s.list.hasFocus(), k.focus);
    s.paint();
    const int y = s.middle(1);
    int top = 0, bottom = 0;
    ASSERT_TRUE(s.list.itemRange(1, top, bottom));
    EXPECT_EQ(pixelAt(s.canvas, cellEnd, y), k.cell);
    EXPECT_EQ(pixelAt(s.canvas, gap, y), k.gap);
    EXPECT_EQ(pixelAt(s.canvas, second, y), k.second) << "the second cell";
    EXPECT_EQ(pixelAt(s.canvas, second, 1 + top), k.secondLine) << "the second cell's top line";
    EXPECT_EQ(pixelAt(s.canvas, rest, y), k.rest);
    EXPECT_EQ(pixelAt(s.canvas, cellEnd, s.middle(0)), themeColor(14)) << "a row not selected";
    EXPECT_EQ(pixelAt(s.canvas, 0, y), themeColor(21)) << "the outline";
  }
}

// Each cell piece, an indent band too, has a top and a bottom line in the
// line colour, except that a row drawn below a selected one leaves its top
// line out; the cell's left line comes after the band; rows never paint past
// the client rectangle, under the scroll bar.
TEST(ListViewPixels, CellLinesAndTheClientClip) {
  sList s;
  for (int r = 0; r < 20; ++r) {
    s.list.setItem(r, 1, "x", -1, nullptr);
    s.list.setItem(r, 2, "1", -1, nullptr);
  }
  s.list.setMultiselect(true);
  s.list.setSelected(1, true, false);
  s.list.setSelected(2, true, false);
  const int indent = 8;
  s.list.setItemIdent(1, 1, indent);
  s.paint();
  const unsigned int line = themeColor(26), fill = themeColor(18);
  const int x = 1 + 60;
  int top1 = 0, bottom1 = 0, top2 = 0, bottom2 = 0;
  ASSERT_TRUE(s.list.itemRange(1, top1, bottom1));
  ASSERT_TRUE(s.list.itemRange(2, top2, bottom2));
  EXPECT_EQ(pixelAt(s.canvas, x, 1 + top1), line) << "top line below a plain row";
  EXPECT_EQ(pixelAt(s.canvas, x, 1 + top1 + 1), fill);
  EXPECT_EQ(pixelAt(s.canvas, x, bottom1), line) << "bottom line";
  EXPECT_EQ(pixelAt(s.canvas, x, 1 + top2), fill) << "no second line below a selected row";
  EXPECT_EQ(pixelAt(s.canvas, x, bottom2), line);
  const struct {
    int x, y;
    unsigned int colour;
    const char* what;
  } band[] = {{1 + indent / 2, 1 + top1, line, "band's top line"},
              {1 + indent / 2, bottom1, line, "band's bottom line"},
              {1, s.middle(1), themeColor(14), "no left line on the band"},
              {1 + indent / 2, s.middle(1), themeColor(14), "band in the list's background"},
              {1 + indent, s.middle(1), line, "left line after the band"}};
  for (const auto& b : band) EXPECT_EQ(pixelAt(s.canvas, b.x, b.y), b.colour) << b.what;

  s.list.setFullLineSelect(true, false);
  s.paint();
  ASSERT_TRUE(s.list.vbar().visible_child());
  const int barRoom = s.list.getVScrollRes();
  EXPECT_EQ(pixelAt(s.canvas, kW - 1 - barRoom - 2, s.middle(1)), themeColor(18)) << "the row up to the bar";
  EXPECT_EQ(pixelAt(s.canvas, kW - 1 - barRoom / 2, s.middle(1)), themeColor(14)) << "nothing under the bar";
  EXPECT_EQ(pixelAt(s.canvas, kW - 1, s.middle(1)), themeColor(21)) << "the outline";
}

TEST(ListViewPixels, CheckBoxAndEmptyText) {
  sList s;
  s.fill();
  s.list.setCheckMode(true);
  s.list.setChecked(2, true, false);
  s.paint();
  for (int row : {0, 2}) {
    cPicture* p = themePict(row == 2 ? 31 : 30);
    ASSERT_NE(p, nullptr);
    int top = 0, bottom = 0;
    ASSERT_TRUE(s.list.itemRange(row, top, bottom));
    const int px = p->width() / 2, py = p->height() / 2;
    const unsigned int v = p->raw()[py * p->width() + px];
    if (v >> 24 != 0xFF) continue;
    EXPECT_EQ(
        pixelAt(s.canvas, 1 + (14 - p->width()) / 2 + px, 1 + top + (bottom - top - p->height()) / 2 + py),
        colourOf(v))
        << "row " << row;
  }

  sList empty;
  empty.list.setText("Nothing to install", -1, false);
  empty.paint();
  int inTextColour = 0;
  const int top = empty.list.header().height() + 10;
  for (int y = top; y < top + 20; ++y)
    for (int x = 5; x < kW - 6; ++x) inTextColour += pixelAt(empty.canvas, x, y) == themeColor(5);
  EXPECT_GT(inTextColour, 10);
  EXPECT_EQ(pixelAt(empty.canvas, kW / 2, top + 40), themeColor(14));
}

namespace {

// Whether the picture shows somewhere inside r over the background of r's
// top left corner: its opaque pixels as they are, its clear ones as the
// background (one sign's strokes may be part of another's).
bool showsPicture(cCrbOffscreenCanvas& c, const sRect& r, cPicture* p) {
  cPicture shot;
  sRect area = r;
  if (!p || !c.snapshot(&shot, &area)) return false;
  const unsigned int bg = shot.raw()[0];
  const int pw = p->width(), ph = p->height();
  for (int dy = 0; dy + ph <= r.height; ++dy)
    for (int dx = 0; dx + pw <= r.width; ++dx) {
      bool all = true;
      for (int y = 0; y < ph && all; ++y)
        for (int x = 0; x < pw && all; ++x) {
          const unsigned int want = p->raw()[y * pw + x], alpha = want >> 24;
          const unsigned int got = shot.raw()[(dy + y) * r.width + dx + x];
          all = alpha == 0xFF ? ((got ^ want) & 0xFFFFFF) == 0 : alpha != 0 || ((got ^ bg) & 0xFFFFFF) == 0;
        }
      if (all) return true;
    }
  return false;
}

}  // namespace

TEST(TreeViewPixels, ExpanderSigns) {
  using cItem = cTreeViewChild::cTreeViewItem;
  cSheetTarget target;
  cChildElement root;
  root.setWinTarget(&target, 0, 0, 200, 140);
  cTreeViewChild tree;
  root.attach(&tree, 0, 0, 200, 140);
  auto* open = new cItem("Applications", nullptr);
  auto* closed = new cItem("Libraries", nullptr);
  auto* through = new cItem("Editors", nullptr);
  auto* end = new cItem("Games", nullptr);
  auto* last = new cItem("Tools", nullptr);
  tree.storeUnder(nullptr, open);
  tree.storeUnder(open, through);
  tree.storeUnder(open, end);
  tree.storeUnder(nullptr, closed);
  tree.storeUnder(closed, new cItem("hidden", nullptr));
  tree.storeUnder(nullptr, last);
  tree.expand(open, false);
  cCrbOffscreenCanvas canvas;
  makeWhite(canvas, 200, 140);
  root.processPaint(&canvas);

  const int signs[] = {68, 69, 70, 71};
  const struct {
    cItem* item;
    int picture;
  } cases[] = {{open, 69}, {closed, 68}, {through, 70}, {end, 71}, {last, 71}};
  for (const auto& k : cases) {
    SCOPED_TRACE(k.item->text);
    ASSERT_NE(k.item->control, nullptr);
    sPoint at{0, 0};
    ASSERT_TRUE(k.item->control->absPos(at));
    const sRect r{at.x, at.y, k.item->control->width(), k.item->control->height()};
    for (int sign : signs)
      EXPECT_EQ(showsPicture(canvas, r, themePict(sign)), sign == k.picture) << "picture " << sign;
  }
  root.dettach(&tree);
}
