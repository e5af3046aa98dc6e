// The tree view as the folder chooser fills it: one level of 300,000 rows
// added in batches of 200, then painted at the top, middle and end of a
// 350 x 400 view, the pointer moved in the view and the focus moved from
// row to row; against the same view over a level of 1,000 rows in this
// run, since each should follow the rows in view and not the level. No
// display needed.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>

#include "ciom/treeview.h"
#include "ciplatform/crbcanvas.h"

namespace {

constexpr int kWidth = 350, kHeight = 400, kBatch = 200;

double millisSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

struct sTree {
  cChildElement root;
  cTreeViewChild tree;
  cTreeViewChild::cTreeViewItem* level = nullptr;
  explicit sTree(int rows) {
    root.processSizeChanges(kWidth, kHeight, true);
    root.attach(&tree, 0, 0, kWidth, kHeight);
    // No window measures the text here; the spacing gives rows their height.
    tree.setCellSpacing(18);
    level = new cTreeViewChild::cTreeViewItem("level", nullptr);
    level->collapsed = false;
    tree.storeUnder(nullptr, level);
    tree.storeUnder(nullptr, new cTreeViewChild::cTreeViewItem("after", nullptr));
    tree.update();
    const auto start = std::chrono::steady_clock::now();
    for (int r = 0; r < rows;) {
      tree.startChanges();
      for (const int end = std::min(rows, r + kBatch); r < end; ++r) {
        const unsigned int h = static_cast<unsigned int>(r) * 2654435761u;
        std::string name = "d";
        name += std::to_string(h % 1000003);
        tree.storeUnder(level, new cTreeViewChild::cTreeViewItem(name.c_str(), nullptr));
      }
      tree.endChanges();
    }
    if (rows > 1000) std::printf("%d rows added in batches of %d: %.1f ms\n", rows, kBatch, millisSince(start));
  }
  ~sTree() { root.dettach(&tree); }
};

// The worst, over the top, middle and end of the level, of the best of a
// few paints of the view, of a pointer move in it and of the focus moved
// from one row to another as a key moves it, in milliseconds.
void paintAndPoint(sTree& t, cCrbOffscreenCanvas& canvas, double& paint, double& point, double& focus) {
  paint = point = focus = 0;
  const unsigned long long bottom = t.tree.vbar().maxval();
  for (unsigned long long at : {0ULL, bottom / 2, bottom}) {
    t.tree.vbar().setPos(at, true);
    t.tree.onAction(&t.tree.vbar(), new cVScroll::cVScrollAction(at));
    double bestPaint = 1e300, bestPoint = 1e300, bestFocus = 1e300;
    for (int i = 0; i < 5; ++i) {
      auto start = std::chrono::steady_clock::now();
      t.tree.processPaint(&canvas);
      bestPaint = std::min(bestPaint, millisSince(start));
      start = std::chrono::steady_clock::now();
      t.tree.processMouseMove(kWidth / 2, kHeight / 2);
      bestPoint = std::min(bestPoint, millisSince(start));
      auto* row = static_cast<cTreeViewChild::cTreeViewItem*>(i % 2 ? t.level->child : t.level->lastChild);
      start = std::chrono::steady_clock::now();
      t.root.processFocusDirect(t.tree.rowElement(row));
      bestFocus = std::min(bestFocus, millisSince(start));
    }
    paint = std::max(paint, bestPaint);
    point = std::max(point, bestPoint);
    focus = std::max(focus, bestFocus);
  }
}

}  // namespace

int main() {
  cCrbOffscreenCanvas canvas;
  if (!canvas.create(kWidth, kHeight)) return 1;
  double bigPaint = 0, bigPoint = 0, bigFocus = 0, smallPaint = 0, smallPoint = 0, smallFocus = 0;
  {
    sTree big(300000);
    paintAndPoint(big, canvas, bigPaint, bigPoint, bigFocus);
  }
  {
    sTree small(1000);
    paintAndPoint(small, canvas, smallPaint, smallPoint, smallFocus);
  }
  std::printf("paint of the view: 300,000 rows %.3f ms, 1,000 rows %.3f ms\n", bigPaint, smallPaint);
  std::printf("pointer in the view: 300,000 rows %.3f ms, 1,000 rows %.3f ms\n", bigPoint, smallPoint);
  std::printf("focus from row to row: 300,000 rows %.3f ms, 1,000 rows %.3f ms\n", bigFocus, smallFocus);
  std::printf("ratio 300k/1k paint time: %.3f\n", bigPaint / smallPaint);
  return 0;
}
