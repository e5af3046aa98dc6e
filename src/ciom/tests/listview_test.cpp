// The list view: its row operations and the actions they post, the key and
// mouse paths, type-ahead on a settable clock, sorting against a stable
// std::sort, and jobs filling the list, with and without a batch, while the
// main thread paints.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "base/utils.h"
#include "ciom/listview.h"
#include "ciom/pictureslist.h"
#include "support/fixedcanvas.h"
#include "support/formplatform.h"
#include "support/testplatform.h"

namespace {

using cLV = cListViewChild;
using tHeard = std::vector<std::pair<int, int>>;  // code, payload (-2: none)

class cRecordingRoot : public cChildElement {
 public:
  tHeard heard;
  bool onAction(cChildElement* sender, cChildAction* a) override {
    if (auto* item = dynamic_cast<cLV::cListViewItemAction*>(a))
      heard.push_back({a->code, item->value});
    else if (dynamic_cast<cLV*>(sender))
      heard.push_back({a->code, -2});
    return true;
  }
};

unsigned int gNow = 0;
unsigned int testClock() { return gNow; }

// A canvas whose off-screen canvases are counted, so painting can be checked
// to follow the visible rows.
class cCountingCanvas : public cFixedMetricCanvas {
 public:
  using cFixedMetricCanvas::cFixedMetricCanvas;
  std::atomic<int> pieces{0};
  cCanvas* offscreen(int w, int h, int, int) override {
    ++pieces;
    return new cFixedMetricCanvas(w, h);
  }
  bool draw(int, int, cCanvas*, int, int, int, int) override { return true; }
};

struct sList {
  cTestRequestTarget window;
  cRecordingRoot root;
  cLV list;
  explicit sList(int rows = 0, int w = 300, int h = 200) {
    cChildElement::clockMs = testClock;
    window.bind(&root, 2000, 2000);
    root.attach(&list, 0, 0, w, h);
    list.setColumn(1, const_cast<char*>("Name"), 100, cCanvas::eAlignLeft);
    list.setColumn(2, const_cast<char*>("Size"), 80, cCanvas::eAlignRight);
    for (int i = 0; i < rows; ++i) list.setItem(i, 1, ("row" + std::to_string(i)).c_str(), -1, nullptr);
    heard();
  }
  ~sList() {
    root.dettach(&list);
    cChildElement::clockMs = ticks_ms;
  }
  tHeard heard() {
    while (window.drain()) {
    }
    tHeard h;
    h.swap(root.heard);
    return h;
  }
  std::vector<int> order() {
    std::vector<int> o;
    for (int r = list.firstBySort(); r >= 0; r = list.nextBySort(r)) o.push_back(r);
    return o;
  }
  std::vector<int> selection() {
    std::vector<int> s;
    for (int r = list.nextSelected(-1); r >= 0; r = list.nextSelected(r)) s.push_back(r);
    return s;
  }
};

}  // namespace

TEST(ListView, RowsIdsAndBatches) {
  sList l;
  EXPECT_EQ(l.list.addItem(1, "a", -1, nullptr), 0);
  EXPECT_EQ(l.list.addItem(1, "b", -1, nullptr), 1);
  EXPECT_EQ(l.list.addItem(1, "c", -1, nullptr), 2);
  EXPECT_TRUE(l.list.remove(2));
  EXPECT_EQ(l.list.addItem(1, "d", -1, nullptr), 2) << "the highest id is reused after its removal";
  EXPECT_FALSE(l.list.setItem(-1, 1, "x", -1, nullptr));
  EXPECT_FALSE(l.list.remove(7));

  // Gaps after a removal stay until the order is rebuilt.
  EXPECT_TRUE(l.list.remove(0));
  EXPECT_EQ(l.list.getRowCount(), 3);
  EXPECT_EQ(l.list.textBySortIdx(0, 1), nullptr);
  l.list.reorderByID();
  EXPECT_EQ(l.list.getRowCount(), 2);
  EXPECT_STREQ(l.list.textBySortIdx(0, 1), "b");

  // Within a batch nothing is laid out; a change with nothing new marks
  // nothing pending.
  l.list.startChanges();
  EXPECT_TRUE(l.list.setItem(1, 1, nullptr, -1, nullptr));
  EXPECT_FALSE(l.list.endChanges(false));
  l.list.startChanges();
  int y = 0;
  EXPECT_TRUE(l.list.setItem(9, 1, "new", -1, nullptr));
  EXPECT_FALSE(l.list.itemPos(9, y));
  EXPECT_TRUE(l.list.endChanges(false));
  EXPECT_TRUE(l.list.itemPos(9, y));
  EXPECT_FALSE(l.list.endChanges(false));

  int s = 0;
  void* tag = &s;
  l.list.setItem(1, 2, "7", -1, tag);
  EXPECT_EQ(l.list.find(2, tag), 1);
  EXPECT_EQ(l.list.association(1, 2), tag);
  EXPECT_EQ(l.list.find(1, tag), -1);
  EXPECT_TRUE(l.list.clear());
  EXPECT_EQ(l.list.getRowCount(), 0);
  EXPECT_EQ(l.list.first(), -1);
  EXPECT_EQ(l.list.selected(), -1);
}

TEST(ListView, LayoutHeights) {
  // Without text sizes from the test window, a plain cell measures 4 and the
  // row takes the 13-pixel floor; pictures and spacing add to it.
  sList l(3);
  cPicturesList images;
  std::vector<unsigned int> px(10 * 30, 0xFF000000);
  images.storeImage(0, px.data(), 10, 30, false);
  l.list.setImageLists(&images, nullptr, nullptr);
  l.list.setItem(1, 2, nullptr, 0, nullptr);
  int top = 0, bottom = 0;
  const int header = l.list.header().height();
  ASSERT_TRUE(l.list.itemRange(0, top, bottom));
  EXPECT_EQ(top, header);
  EXPECT_EQ(bottom - top, 13);
  ASSERT_TRUE(l.list.itemRange(1, top, bottom));
  EXPECT_EQ(bottom - top, 34);
  l.list.setSpacing(3);
  ASSERT_TRUE(l.list.itemRange(2, top, bottom));
  EXPECT_EQ(top, header + 16 + 37);
  EXPECT_EQ(bottom - top, 16);
  l.list.setImageLists(nullptr, nullptr, nullptr);
  l.list.setSpacing(0);
}

TEST(ListView, SelectionAndChecksPost) {
  struct {
    const char* name;
    bool multi;
    std::vector<std::pair<int, bool>> steps;  // row, selected
    std::vector<int> selection;
    int current;
    tHeard heard;
  } cases[] = {
      {"single keeps one", false, {{1, true}, {3, true}}, {3}, 3, {{7, 1}, {7, 3}}},
      {"multi keeps all", true, {{1, true}, {3, true}}, {1, 3}, 3, {{7, 1}, {7, 3}}},
      {"deselect moves to a greater one first", true, {{1, true}, {3, true}, {0, true}, {0, false}}, {1, 3}, 1,
       {{7, 1}, {7, 3}, {7, 0}, {7, 1}}},
      {"deselect falls back to a smaller one", true, {{1, true}, {3, true}, {3, false}}, {1}, 1,
       {{7, 1}, {7, 3}, {7, 1}}},
      {"deselect a non-current row only clears", true, {{1, true}, {3, true}, {1, false}}, {3}, 3,
       {{7, 1}, {7, 3}}},
      {"the only selected row leaves nothing current", false, {{2, true}, {2, false}}, {}, -1, {{7, 2}, {7, -1}}},
      {"asking twice changes nothing", false, {{2, true}, {2, true}, {1, false}}, {2}, 2, {{7, 2}}},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(k.name);
    sList l(5);
    l.list.setMultiselect(k.multi);
    for (auto [row, on] : k.steps) EXPECT_TRUE(l.list.setSelected(row, on));
    EXPECT_EQ(l.selection(), k.selection);
    EXPECT_EQ(l.list.selected(), k.current);
    EXPECT_EQ(l.heard(), k.heard);
  }
  {
    // A removed row leaves the selection; a new first cell carries the
    // row's selection and check.
    sList m(5);
    m.list.setMultiselect(true);
    for (int row : {1, 2, 3}) m.list.setSelected(row, true);
    m.list.setChecked(2, true, false);
    EXPECT_TRUE(m.list.remove(1));
    m.list.setItem(2, 0, "first", -1, nullptr);
    EXPECT_EQ(m.selection(), (std::vector<int>{2, 3}));
    EXPECT_TRUE(m.list.checked(2));
    m.list.select(4);
    EXPECT_EQ(m.selection(), (std::vector<int>{4}));
  }
  sList l(3);
  EXPECT_FALSE(l.list.setSelected(8, true));
  EXPECT_TRUE(l.list.setChecked(1, true, true));
  EXPECT_TRUE(l.list.setChecked(1, true, true));
  EXPECT_TRUE(l.list.setChecked(2, true, false));
  EXPECT_TRUE(l.list.checked(1));
  EXPECT_FALSE(l.list.checked(0));
  EXPECT_EQ(l.heard(), (tHeard{{10, 1}}));
  l.list.select(2);
  EXPECT_TRUE(l.list.deselect());
  EXPECT_EQ(l.list.selected(), -1);
  EXPECT_EQ(l.heard(), (tHeard{{7, 2}})) << "deselect posts nothing";
}

TEST(ListView, Keys) {
  constexpr int kF5 = 450;
  struct {
    const char* name;
    int start;  // current row, -1 none
    int key;
    bool range, add;
    int current;
    std::vector<int> selection;
    tHeard heard;
  } cases[] = {
      {"Up at the top keeps the row", 0, cLV::kcUp, false, false, 0, {0}, {}},
      {"Down at the end keeps the row", 9, cLV::kcDown, false, false, 9, {9}, {}},
      {"Down with none takes the first", -1, cLV::kcDown, false, false, 0, {0}, {{7, 0}}},
      {"Up with none takes the first", -1, cLV::kcUp, false, false, 0, {0}, {{7, 0}}},
      {"Down moves", 4, cLV::kcDown, false, false, 5, {5}, {{7, 5}}},
      {"Shift+Down adds the range", 4, cLV::kcDown, true, false, 5, {4, 5}, {{7, 5}}},
      {"Shift+End selects to the end", 6, cLV::kcEnd, true, false, 9, {6, 7, 8, 9}, {{7, 9}}},
      {"Home", 6, cLV::kcHome, false, false, 0, {0}, {{7, 0}}},
      {"Control+A selects all", 3, 'A', false, true, 0, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9}, {{7, 0}}},
      {"Escape clears", 3, cLV::kcEscape, false, false, -1, {}, {{7, -1}}},
      {"Enter activates", 3, cLV::kcEnter, false, false, 3, {3}, {{6, 3}}},
      {"F5", 3, kF5, false, false, 3, {3}, {{8, -2}}},
      {"BackSpace", 3, cLV::kcBackspace, false, false, 3, {3}, {{9, -2}}},
      // Row heights 13, 34, 13, ...: row 1 carries a 30-pixel picture. The
      // client shows 200 - header - 2 lines.
      {"PageDown from the first reaches the last", 0, cLV::kcPageDown, false, false, 9, {9}, {{7, 9}}},
      {"PageUp with none takes the first", -1, cLV::kcPageUp, false, false, 0, {0}, {{7, 0}}},
      {"PageDown with none takes the last", -1, cLV::kcPageDown, false, false, 9, {9}, {{7, 9}}},
      {"PageUp at the first stays", 0, cLV::kcPageUp, false, false, 0, {0}, {}},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(k.name);
    sList l(10, 300, 200);
    l.list.setMultiselect(true);
    if (k.start >= 0) l.list.select(k.start);
    l.heard();
    l.list.onKey(k.key, k.range, k.add, false);
    EXPECT_EQ(l.list.selected(), k.current);
    EXPECT_EQ(l.selection(), k.selection);
    EXPECT_EQ(l.heard(), k.heard);
  }
}

TEST(ListView, PagingWalksMixedHeights) {
  // The walk spends the client height on each row's first-cell measure (34
  // with the picture, 4 without text metrics) and stops where what is left
  // fits in the row reached.
  sList l(40, 300, 150);
  cPicturesList images;
  std::vector<unsigned int> px(10 * 30, 0xFF000000);
  images.storeImage(0, px.data(), 10, 30, false);
  l.list.setImageLists(&images, nullptr, nullptr);
  for (int r = 0; r < 40; r += 3) l.list.setItem(r, 1, nullptr, 0, nullptr);
  auto heights = [](int row) { return row % 3 == 0 ? 34 : 4; };
  sRect client;
  l.list.clientRect(&client);
  auto expectWalk = [&](int from, bool down) {
    int left = client.height, row = down ? from + 1 : from - 1;
    while (true) {
      const int further = down ? row + 1 : row - 1;
      if (left <= heights(row) || further < 0 || further >= 40) break;
      left -= heights(row);
      row = further;
    }
    return row;
  };
  for (int from : {0, 5, 20, 38}) {
    SCOPED_TRACE(from);
    l.list.select(from);
    l.list.onKey(cLV::kcPageDown, false, false, false);
    EXPECT_EQ(l.list.selected(), expectWalk(from, true));
    EXPECT_GT(l.list.selected(), from);
  }
  for (int from : {39, 25, 3}) {
    SCOPED_TRACE(from);
    l.list.select(from);
    l.list.onKey(cLV::kcPageUp, false, false, false);
    EXPECT_EQ(l.list.selected(), expectWalk(from, false));
  }
  l.list.setImageLists(nullptr, nullptr, nullptr);
}

TEST(ListView, SpaceAndClicksOnCheckBoxes) {
  sList l(4);
  l.list.setCheckMode(true);
  l.list.select(1);
  l.heard();
  l.list.onKey(cLV::kcSpace, false, false, false);
  EXPECT_TRUE(l.list.checked(1));
  EXPECT_EQ(l.heard(), (tHeard{{10, 1}}));

  int top = 0, bottom = 0;
  ASSERT_TRUE(l.list.itemRange(2, top, bottom));
  // A press on the box toggles without selecting; a double click there posts
  // nothing; on the text it activates.
  l.list.processMouseBtn(7, top + 3, cLV::mbLeft, true, false, false);
  EXPECT_TRUE(l.list.checked(2));
  EXPECT_EQ(l.list.selected(), 1);
  EXPECT_EQ(l.heard(), (tHeard{{10, 2}}));
  l.list.onMouseDoubleClick(7, top + 3);
  EXPECT_EQ(l.heard(), tHeard{});
  l.list.onMouseDoubleClick(60, top + 3);
  EXPECT_EQ(l.heard(), (tHeard{{6, 2}}));

  l.list.processMouseBtn(60, top + 3, cLV::mbLeft, true, false, false);
  EXPECT_EQ(l.list.selected(), 2);
  EXPECT_EQ(l.heard(), (tHeard{{7, 2}}));
  l.list.processMouseBtn(60, 190, cLV::mbLeft, true, false, false);
  EXPECT_EQ(l.list.selected(), -1);
  EXPECT_EQ(l.heard(), (tHeard{{7, -1}}));
}

// Rows held after a refill take no click, double click, row key or
// type-ahead until a paint has drawn them; F5 is not aimed at a row.
TEST(ListView, HeldRowsTakeInputOnlyOncePainted) {
  const struct {
    const char* name;
    std::function<void(cLV&, int y)> input;
    int selected;  // afterwards, once painted
    tHeard heard;
  } cases[] = {
      {"click", [](cLV& l, int y) { l.processMouseBtn(60, y, cLV::mbLeft, true, false, false); }, 2, {{7, 2}}},
      {"double click", [](cLV& l, int y) { l.onMouseDoubleClick(60, y); }, -1, {{6, 2}}},
      {"Down", [](cLV& l, int) { l.onKey(cLV::kcDown, false, false, false); }, 0, {{7, 0}}},
      {"End", [](cLV& l, int) { l.onKey(cLV::kcEnd, false, false, false); }, 3, {{7, 3}}},
      {"type-ahead", [](cLV& l, int) { l.onChar('r', false, false, false); }, 0, {{7, 0}}},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(k.name);
    sList l(4);
    int top = 0, bottom = 0;
    ASSERT_TRUE(l.list.itemRange(2, top, bottom));
    l.list.holdRowsUntilPainted();
    gNow += 1000;
    k.input(l.list, top + 3);
    EXPECT_EQ(l.list.selected(), -1);
    EXPECT_EQ(l.heard(), tHeard{});
    l.list.onKey(450, false, false, false);
    EXPECT_EQ(l.heard(), (tHeard{{8, -2}}));
    cFixedMetricCanvas canvas(300, 200);
    l.list.onPaintArea(&canvas);
    EXPECT_FALSE(l.list.rowsHeld());
    gNow += 1000;
    k.input(l.list, top + 3);
    EXPECT_EQ(l.list.selected(), k.selected);
    EXPECT_EQ(l.heard(), k.heard);
  }
  // Nor does a double click whose first press came while they were held.
  sList l(4);
  int top = 0, bottom = 0;
  ASSERT_TRUE(l.list.itemRange(2, top, bottom));
  l.list.holdRowsUntilPainted();
  gNow += 1000;
  l.list.processMouseBtn(60, top + 3, cLV::mbLeft, true, false, false);
  cFixedMetricCanvas canvas(300, 200);
  l.list.onPaintArea(&canvas);
  gNow += 100;
  l.list.processMouseBtn(60, top + 3, cLV::mbLeft, true, false, false);
  EXPECT_EQ(l.heard(), (tHeard{{7, 2}}));
}

TEST(ListView, TypeAhead) {
  const char* names[] = {"alpha", "Beta", "bETA two", "gamma", "beat", "Bet"};
  struct {
    const char* name;
    std::vector<std::pair<unsigned int, char>> typed;  // time, character
    int current;
  } cases[] = {
      {"one letter", {{1000, 'b'}}, 1},
      {"two letters within 400 ms", {{1000, 'b'}, {1400, 'E'}}, 1},
      {"four letters", {{1000, 'b'}, {1100, 'e'}, {1200, 'a'}}, 4},
      {"a pause of 401 ms starts after the current row", {{1000, 'b'}, {1401, 'b'}}, 2},
      {"clock at 0 is a pause from the start", {{0, 'g'}}, 3},
      {"no wrap-around", {{1000, 'g'}, {1500, 'a'}}, 3},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(k.name);
    sList l;
    for (int i = 0; i < 6; ++i) l.list.setItem(i, 1, names[i], -1, nullptr);
    for (auto [t, ch] : k.typed) {
      gNow = t;
      l.list.onChar(static_cast<unsigned short>(ch), false, false, false);
    }
    EXPECT_EQ(l.list.selected(), k.current);
  }
}

namespace {

unsigned long long bySize(cLV::sListViewDataItem* c) {
  return c->text.ptr ? std::stoull(c->text.ptr) : 0;
}

}  // namespace

// Row ids close together and far apart (the list finds sorted rows by id
// in a table only for the former).
TEST(ListView, SortingMatchesStableSort) {
  for (const int stride : {1, 100000}) {
    SCOPED_TRACE(testing::Message() << "ids " << stride << " apart");
    std::mt19937 rng(22);
    sList l;
    struct sRow {
      int id;
      std::string name;
      unsigned long long size;
      bool hasName, hasSize;
    };
    std::vector<sRow> rows;
    l.list.startChanges();
    for (int i = 0; i < 1000; ++i) {
      sRow r{i * stride, std::string(1, static_cast<char>("aAbBc"[rng() % 5])) + std::to_string(rng() % 40),
             rng() % 50 * 0x100000000ULL, rng() % 10 != 0, rng() % 8 != 0};
      // Every row needs a cell somewhere to exist.
      l.list.setItem(r.id, 3, "x", -1, nullptr);
      if (r.hasName) l.list.setItem(r.id, 1, r.name.c_str(), -1, nullptr);
      if (r.hasSize) l.list.setItem(r.id, 2, std::to_string(r.size).c_str(), -1, nullptr);
      rows.push_back(r);
    }
    l.list.endChanges(false);
    EXPECT_FALSE(l.list.sort(1)) << "no provider";
    auto* sizes = new cLV::cListViewU64PramSortProvider;
    l.list.setSortType(2, sizes);
    EXPECT_FALSE(l.list.sort(2)) << "no transform";
    EXPECT_EQ(l.order().front(), 0);
    sizes->setTransformProc(bySize);
    l.list.setSortType(1, new cLV::cListViewNameSortProvider);

    std::vector<int> expected;
    for (const auto& r : rows) expected.push_back(r.id);
    struct {
      int col;
      bool ascending;
    } steps[] = {{1, true}, {2, false}, {1, false}, {2, true}, {1, true}};
    for (const auto& s : steps) {
      SCOPED_TRACE(testing::Message() << "column " << s.col << (s.ascending ? " up" : " down"));
      l.list.setSortDirection(s.col, s.ascending);
      ASSERT_TRUE(l.list.sort(s.col));
      auto row = [&](int id) -> const sRow& { return rows[static_cast<size_t>(id / stride)]; };
      auto has = [&](int id) { return s.col == 1 ? row(id).hasName : row(id).hasSize; };
      auto less = [&](int a, int b) { return s.col == 1 ? row(a).name < row(b).name : row(a).size < row(b).size; };
      std::vector<int> lacking, sorted;
      for (int id : expected) (has(id) ? sorted : lacking).push_back(id);
      std::stable_sort(sorted.begin(), sorted.end(), less);
      // Descending reads the ascending order backwards, equal keys included.
      if (!s.ascending) std::reverse(sorted.begin(), sorted.end());
      expected = s.ascending ? lacking : sorted;
      expected.insert(expected.end(), s.ascending ? sorted.begin() : lacking.begin(),
                      s.ascending ? sorted.end() : lacking.end());
      EXPECT_EQ(l.order(), expected);
      EXPECT_EQ(l.list.getRowCount(), 1000);
    }
  }
}

TEST(ListView, HeaderClicksFlipAndPost) {
  sList l(3);
  l.list.setItem(0, 1, "b", -1, nullptr);
  l.list.setItem(1, 1, "a", -1, nullptr);
  l.list.setItem(2, 1, "B", -1, nullptr);
  l.list.setSortType(1, new cLV::cListViewNameSortProvider);
  struct {
    int col;
    std::vector<int> order;
    tHeard heard;
  } clicks[] = {
            // Bytes decide: "B" before "a" before "b".
      {1, {2, 1, 0}, {{11, 1}}}, {1, {0, 1, 2}, {{11, 1}}}, {2, {0, 1, 2}, {}}, {1, {2, 1, 0}, {{11, 1}}},
  };
  for (const auto& k : clicks) {
    cHeaderChild::cColumnClickAction a(k.col);
    l.list.onAction(&l.list.header(), &a);
    EXPECT_EQ(l.order(), k.order);
    EXPECT_EQ(l.heard(), k.heard);
  }
}

TEST(ListView, JobFillsWhileMainThreadPaints) {
  sList l(0, 500, 350);
  cCountingCanvas canvas(500, 350);
  std::atomic<bool> done{false};
  l.list.startChanges();
  std::thread job([&] {
    for (int round = 0; round < 3; ++round) {
      l.list.clear();
      for (int i = 0; i < 10000; ++i) {
        l.list.setItem(i, 1, "package", -1, nullptr);
        l.list.setItem(i, 2, "1.0", -1, nullptr);
      }
    }
    done = true;
  });
  int paints = 0;
  while (!done) {
    l.list.onPaintArea(&canvas);
    ++paints;
  }
  job.join();
  EXPECT_TRUE(l.list.endChanges(false));
  EXPECT_EQ(l.list.getRowCount(), 10000);
  canvas.pieces = 0;
  l.list.onPaintArea(&canvas);
  // Two text pieces per visible row: a few dozen rows, never ten thousand.
  EXPECT_GT(canvas.pieces.load(), 0);
  EXPECT_LT(canvas.pieces.load(), 2 * (350 / 13 + 2));
  EXPECT_GT(paints, 0);
}

// A window whose text measures count the threads that ask for them.
class cMeasuringWindow : public cFormTestTarget {
 public:
  std::atomic<int> onMain{0}, elsewhere{0};
  bool _rt_textbox(cFontObject* font, const char* text, sSize& size) override {
    ++(cChildElement::onMainThread() ? onMain : elsewhere);
    return cFormTestTarget::_rt_textbox(font, text, size);
  }
};

TEST(ListView, AJobFillingWithoutABatchLeavesTheLayoutToTheMainThread) {
  cMeasuringWindow window;
  cRecordingRoot root;
  cLV list;
  window.bind(&root, 2000, 2000);
  root.attach(&list, 0, 0, 500, 350);
  list.setColumn(1, "Name", 100, cCanvas::eAlignLeft);
  constexpr int kRows = 20000;
  std::atomic<bool> done{false};
  std::thread job([&] {
    for (int i = 0; i < kRows; ++i) list.setItem(i, 1, "package", -1, nullptr);
    done = true;
  });
  cCountingCanvas canvas(500, 350);
  while (!done) {
    window.drain();
    list.onPaintArea(&canvas);
  }
  job.join();
  window.drain();
  EXPECT_EQ(window.elsewhere.load(), 0);
  EXPECT_GT(window.onMain.load(), 0);
  int top = -1, bottom = -1;
  EXPECT_TRUE(list.itemRange(kRows - 1, top, bottom)) << "the last row is laid out";
  EXPECT_GT(bottom, top);
  root.dettach(&list);
}

// The titles take no focus: after a click on one, sorting or not, enabled or
// not, the keys still walk the rows.
TEST(ListView, AHeaderClickLeavesTheKeysWithTheList) {
  const struct {
    const char* name;
    int x;
    bool disabled;
  } cases[] = {{"a sorting title", 50, false}, {"a disabled title", 50, true}, {"the filler", 250, false}};
  for (const auto& k : cases) {
    SCOPED_TRACE(k.name);
    sList l(5);
    l.list.setSortType(1, new cLV::cListViewNameSortProvider);
    if (k.disabled) l.list.header().columnButton(1)->disable(false);
    l.root.processFocusDirect(&l.list);
    l.list.select(2);
    l.root.processMouseBtn(k.x, 5, cLV::mbLeft, true, false, false);
    l.root.processMouseBtn(k.x, 5, cLV::mbLeft, false, false, false);
    l.heard();
    EXPECT_EQ(l.root.getFocused(), &l.list);
    l.root.processKey(cLV::kcEnd, false, false, false);
    EXPECT_EQ(l.list.selected(), l.list.lastBySort());
    l.root.processKey(cLV::kcUp, false, false, false);
    EXPECT_EQ(l.list.selected(), l.list.prevBySort(l.list.lastBySort()));
  }
}
