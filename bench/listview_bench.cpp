// The list view with 100,000 rows of four columns filled in one batch, laid
// out, sorted by each column, paged down and painted at the top, middle and
// end of a 500 x 350 view; against the same view of a 100-row list in this
// run, since painting should follow the visible rows and not the list.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>

#include "ciom/listview.h"
#include "ciplatform/crbcanvas.h"

namespace {

constexpr int kWidth = 500, kHeight = 350;

double millisSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

unsigned long long sizeOf(cListViewChild::sListViewDataItem* c) {
  return c->text.ptr ? std::stoull(c->text.ptr) : 0;
}

struct sList {
  cChildElement root;
  cListViewChild list;
  explicit sList(int rows) {
    root.processSizeChanges(kWidth, kHeight, true);
    root.attach(&list, 0, 0, kWidth, kHeight);
    for (int c = 0; c < 4; ++c) list.setColumn(c, "Column", 120, cCanvas::eAlignLeft);
    list.setSortType(0, new cListViewChild::cListViewNameSortProvider);
    list.setSortType(1, new cListViewChild::cListViewNameSortProvider);
    auto* sizes = new cListViewChild::cListViewU64PramSortProvider;
    sizes->setTransformProc(sizeOf);
    list.setSortType(2, sizes);
    list.setSortType(3, new cListViewChild::cListViewNameSortProvider);
    auto start = std::chrono::steady_clock::now();
    list.startChanges();
    for (int r = 0; r < rows; ++r) {
      const unsigned int h = static_cast<unsigned int>(r) * 2654435761u;
      list.setItem(r, 0, ("package " + std::to_string(h % 100000)).c_str(), -1, nullptr);
      list.setItem(r, 1, ("vendor " + std::to_string(h % 997)).c_str(), -1, nullptr);
      list.setItem(r, 2, std::to_string(h % 1000000007u).c_str(), -1, nullptr);
      list.setItem(r, 3, ("1." + std::to_string(h % 31)).c_str(), -1, nullptr);
    }
    const double filled = millisSince(start);
    start = std::chrono::steady_clock::now();
    list.endChanges(true);
    if (rows > 1000) std::printf("%d rows: fill %.1f ms, layout %.1f ms\n", rows, filled, millisSince(start));
  }
  ~sList() { root.dettach(&list); }
};

// The best of a few paints of the view scrolled to `row`, in milliseconds.
double paintAt(sList& l, cCrbOffscreenCanvas& canvas, int row) {
  l.list.select(row);
  double best = 1e300;
  for (int i = 0; i < 5; ++i) {
    auto start = std::chrono::steady_clock::now();
    l.list.onPaintArea(&canvas);
    best = std::min(best, millisSince(start));
  }
  return best;
}

}  // namespace

int main() {
  cCrbOffscreenCanvas canvas;
  canvas.create(kWidth, kHeight);
  sList big(100000);
  for (int c = 0; c < 4; ++c) {
    auto start = std::chrono::steady_clock::now();
    big.list.sort(c);
    std::printf("sort column %d: %.1f ms\n", c, millisSince(start));
  }
  auto start = std::chrono::steady_clock::now();
  big.list.select(big.list.firstBySort());
  int pages = 0;
  for (int last = -1; big.list.selected() != last; ++pages) {
    last = big.list.selected();
    big.list.onKey(cChildElement::kcPageDown, false, false, false);
  }
  std::printf("paged down %d pages: %.1f ms\n", pages, millisSince(start));
  double bigPaint = 0;
  for (int index : {0, 50000, 99999}) {
    const double ms = paintAt(big, canvas, big.list.textBySortIdx(index, 0) ? index : 0);
    std::printf("paint at row %d: %.3f ms\n", index, ms);
    bigPaint = std::max(bigPaint, ms);
  }
  sList small(100);
  double smallPaint = 0;
  for (int index : {0, 50, 99}) smallPaint = std::max(smallPaint, paintAt(small, canvas, index));
  std::printf("100 rows paint: %.3f ms\n", smallPaint);
  std::printf("ratio 100k/100 paint time: %.3f\n", bigPaint / smallPaint);
  return 0;
}
