// The simple grid: its column count and gaps for given widths, keys and
// clicks, and a million-cell column that End reaches and that paints only
// the cells in view.
#include <gtest/gtest.h>

#include <vector>

#include "ciom/simplegrid.h"
#include "support/fixedcanvas.h"
#include "support/testplatform.h"

namespace {

class cCells : public cSimpleGridChild {
 public:
  int cw = 30, ch = 20, spacing = 5, maxSp = 100, count = 7;
  std::vector<int> painted;
  std::vector<std::pair<int, int>> heard;  // code, index
  void paintElement(cCanvas*, int index, bool) override { painted.push_back(index); }
  int cellWidth() override { return cw; }
  int cellHeight() override { return ch; }
  int numCells() override { return count; }
  int cellSpacing() override { return spacing; }
  int maxSpacing() override { return maxSp; }
  bool onAction(cChildElement* sender, cChildAction* a) override {
    if (auto* cell = dynamic_cast<cCellAction*>(a)) heard.push_back({a->code, cell->index});
    return cSimpleGridChild::onAction(sender, a);
  }
};

// A canvas whose off-screen canvases are fixed-metric ones as well.
class cLayeredCanvas : public cFixedMetricCanvas {
 public:
  using cFixedMetricCanvas::cFixedMetricCanvas;
  std::vector<sPoint> drawnAt;
  cCanvas* offscreen(int w, int h, int, int) override { return new cFixedMetricCanvas(w, h); }
  bool draw(int x, int y, cCanvas*, int, int, int, int) override {
    drawnAt.push_back({x, y});
    return true;
  }
};

struct sGrid {
  cTestRequestTarget window;
  cChildElement root;
  cCells grid;
  sGrid(int w, int h, int cw, int ch, int spacing, int count, int maxSp = 100) {
    grid.cw = cw;
    grid.ch = ch;
    grid.spacing = spacing;
    grid.count = count;
    grid.maxSp = maxSp;
    window.bind(&root, 2000, 2000);
    root.attach(&grid, 0, 0, w, h);
  }
  ~sGrid() { root.dettach(&grid); }
  std::vector<std::pair<int, int>> heard() {
    while (window.drain()) {
    }
    auto h = grid.heard;
    grid.heard.clear();
    return h;
  }
};

}  // namespace

TEST(Grid, ColumnsAndGapsFollowTheWidth) {
  struct {
    int w, cw, ch, sp, maxSp;
    int columns, gap;
  } cases[] = {
      {100, 30, 20, 5, 100, 2, 40}, {100, 30, 20, 5, 12, 2, 12}, {90, 10, 10, 20, 100, 4, 16},
      // Narrower than a cell: the content keeps a cell's width and scrolls.
      {90, 10, 10, 20, 3, 4, 3},    {29, 30, 20, 5, 100, 1, 0},  {30, 30, 20, 5, 100, 1, 0},
      // Cells without width or height make no grid rather than divide by 0.
      {100, 0, 20, 0, 100, 0, 0},   {100, 30, 0, 0, 100, 0, 0},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(testing::Message() << k.w << " wide, cells " << k.cw << "x" << k.ch << " spacing " << k.sp);
    sGrid g(k.w, 500, k.cw, k.ch, k.sp, 7, k.maxSp);
    EXPECT_EQ(g.grid.columns(), k.columns);
    if (k.columns > 1) {
      EXPECT_EQ(g.grid.hSpacing(), k.gap);
    }
    if (!k.columns) {
      g.grid.onKey(cChildElement::kcRight, false, false, false);
      EXPECT_EQ(g.grid.selected(), -1);
      EXPECT_EQ(g.grid.hitCell(1, 1), -1);
      cLayeredCanvas canvas(k.w, 500);
      g.grid.onPaintArea(&canvas);
      EXPECT_TRUE(g.grid.painted.empty());
    }
  }
  // Widening a grid that was too narrow lays it out again.
  sGrid g(29, 500, 30, 20, 5, 7);
  g.root.anchor(&g.grid, 0, 0, 100, 500);
  EXPECT_EQ(g.grid.columns(), 2);
}

TEST(Grid, KeysMoveTheSelectionWithinRowsAndColumns) {
  constexpr int L = cChildElement::kcLeft, R = cChildElement::kcRight, U = cChildElement::kcUp,
                D = cChildElement::kcDown;
  // Three columns (110 wide, cells 30, spacing 5), seven cells: rows 0-2, 3-5, 6.
  struct {
    int start, key;
    int selected;
  } cases[] = {
      {-1, R, 0}, {-1, D, 0}, {-1, L, -1}, {0, L, 0},  {1, L, 0},  {2, R, 2}, {1, R, 2},
      {5, D, 5},  {3, D, 6},  {6, D, 6},   {6, U, 3},  {1, U, 1},  {6, R, 6}, {3, cChildElement::kcEnd, 6},
      {3, cChildElement::kcPageUp, 0},     {0, cChildElement::kcHome, 0},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(testing::Message() << k.start << " key " << k.key);
    sGrid g(110, 500, 30, 20, 5, 7);
    ASSERT_EQ(g.grid.columns(), 3);
    g.grid.selectCell(k.start, false);
    g.grid.onKey(k.key, false, false, false);
    EXPECT_EQ(g.grid.selected(), k.selected);
    const auto heard = g.heard();
    if (k.selected != k.start) {
      EXPECT_EQ(heard, (std::vector<std::pair<int, int>>{{cChildElement::acChange, k.selected}}));
    } else {
      EXPECT_TRUE(heard.empty());
    }
  }
}

TEST(Grid, ClicksGapsAndActivation) {
  // Three columns 40 apart (cells 30, gaps 10), rows 25 apart.
  sGrid g(110, 500, 30, 20, 5, 7);
  g.grid.onKey(cChildElement::kcEnter, false, false, false);
  EXPECT_TRUE(g.heard().empty()) << "Enter without a selection";
  g.grid.onMouseButton(45, 30, cChildElement::mbLeft, true);
  EXPECT_EQ(g.grid.selected(), 4);
  g.grid.onMouseButton(45, 30, cChildElement::mbLeft, true);
  g.grid.onMouseButton(32, 5, cChildElement::mbLeft, true);  // the gap after the first cell
  g.grid.onMouseDoubleClick(85, 5);
  g.grid.onKey(cChildElement::kcSpace, false, false, false);
  EXPECT_EQ(g.heard(), (std::vector<std::pair<int, int>>{{cChildElement::acChange, 4},
                                                          {cChildElement::acChange, -1},
                                                          {cChildElement::acActivate, 2},
                                                          {cChildElement::acActivate, 2}}));
  g.grid.count = 3;
  g.grid.notifyGridChanged(true);
  EXPECT_EQ(g.grid.selected(), -1) << "a new cell count clears the selection";
}

TEST(Grid, AMillionCellColumnReachesItsLastCellWithEnd) {
  const int h = 200, ch = 20, sp = 2, n = 1000000;
  sGrid g(60, h, 30, ch, sp, n);
  ASSERT_EQ(g.grid.columns(), 1);
  g.grid.onKey(cChildElement::kcEnd, false, false, false);
  g.heard();
  EXPECT_EQ(g.grid.selected(), n - 1);
  sRect last;
  ASSERT_TRUE(g.grid.cellRect(n - 1, last));
  cLayeredCanvas canvas(60, h);
  g.grid.onPaintArea(&canvas);
  ASSERT_FALSE(g.grid.painted.empty());
  EXPECT_EQ(g.grid.painted.back(), n - 1);
  EXPECT_LE(g.grid.painted.size(), static_cast<size_t>(h / (ch + sp) + 2));
  // The last cell sits at the bottom of the view.
  EXPECT_EQ(canvas.drawnAt.back().y + ch, h);
}
