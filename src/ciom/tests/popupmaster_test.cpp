// The popup menu on the test platform's 1024 by 768 desktop, bare or beside
// panels: where it opens and how tall, and the answers of its four endings.
#include <gtest/gtest.h>

#include <string>

#include "ciom/popupmaster.h"
#include "support/fixedcanvas.h"
#include "support/formplatform.h"

namespace {

class cSmallDesktop : public cFormTestTarget {
 public:
  sRect area;  // what panels leave of the desktop; none: all of it
  bool _rt_desktopsize(int& w, int& h) override {
    w = 1024;
    h = 768;
    return true;
  }
  // Framed windows may take the area's size, as on the real platform.
  bool _rt_maxwinsize(int& w, int& h) override {
    int x, y;
    return _rt_workarea(x, y, w, h);
  }
  bool _rt_workarea(int& x, int& y, int& w, int& h) override {
    if (!area.width) {
      x = y = 0;
      return _rt_desktopsize(w, h);
    }
    x = area.x;
    y = area.y;
    w = area.width;
    h = area.height;
    return true;
  }
};

struct sMenu {
  cSmallDesktop window;
  cChildElement root;
  cPopupMaster::tItems items;
  explicit sMenu(const sRect& area = {}) {
    cFormTestTarget::reset();
    window.area = area;
    window.bind(&root, 400, 300);
  }
  void add(int id, const char* text, int height = 0) {
    sActiveElementItem* item = items.insert(id);
    item->text.set(text);
    item->height = height;
  }
};

}  // namespace

// Where the menu opens on the bare desktop and beside panels on its top and
// left edges.
TEST(Popup, PlacementOnTheScreen) {
  const sRect whole{}, top{0, 100, 1024, 668}, left{64, 0, 960, 768};
  struct {
    const char* name;
    sRect area;
    int x, y, w, h;
    int runX, runY, runW, runH;
  } cases[] = {
      {"fits", whole, 100, 100, 80, 200, 100, 100, 80, 202},
      {"opens upwards when the room below is smaller", whole, 10, 700, 80, 300, 10, 398, 80, 302},
      {"stays below and scrolls", whole, 10, 300, 80, 600, 10, 300, 80, 468},
      {"pushed left at the right edge", whole, 1000, 10, 100, 50, 924, 10, 100, 52},
      {"wider than the screen starts at 0", whole, 50, 10, 2000, 50, 0, 10, 2000, 52},
      {"fits above the screen's foot", top, 50, 690, 80, 65, 50, 690, 80, 67},
      {"asked for over the top panel", top, 50, 0, 80, 65, 50, 100, 80, 67},
      {"opens upwards from the foot", top, 50, 740, 80, 65, 50, 673, 80, 67},
      {"fits only without its border", top, 50, 703, 80, 65, 50, 636, 80, 67},
      {"at the very foot", top, 50, 767, 80, 65, 50, 700, 80, 67},
      {"stays below and scrolls to the foot", top, 50, 300, 80, 900, 50, 300, 80, 468},
      {"opens upwards no higher than the panel", top, 50, 700, 80, 900, 50, 100, 80, 600},
      {"pushed left at the right edge of the area", left, 1000, 10, 100, 50, 924, 10, 100, 52},
      {"asked for over the left panel", left, 10, 10, 100, 50, 64, 10, 100, 52},
      {"wider than the area starts at its left", left, 500, 10, 2000, 50, 64, 10, 2000, 52},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(k.name);
    sMenu m(k.area);
    m.add(1, "One");
    EXPECT_EQ(cPopupMaster::runPopUp(&m.root, &m.items, nullptr, k.x, k.y, k.w, k.h, -1, 0xFFFFFF, 0,
                                     cPopupMaster::kNoColor, nullptr, cPopupMaster::kNoColor,
                                     cPopupMaster::kNoColor, cPopupMaster::kNoColor, cPopupMaster::kNoColor),
              0)
        << "a run nobody ends answers as closed";
    ASSERT_EQ(cFormTestTarget::runs.size(), 1u);
    const auto& r = cFormTestTarget::runs[0];
    EXPECT_EQ(r.x, k.runX);
    EXPECT_EQ(r.y, k.runY);
    EXPECT_EQ(r.w, k.runW);
    EXPECT_EQ(r.h, k.runH);
    const sRect in = k.area.width ? k.area : sRect{0, 0, 1024, 768};
    EXPECT_LE(r.y + r.h, in.y + in.height) << "ends below the area";
  }
  sMenu empty;
  EXPECT_EQ(cPopupMaster::simplePopup(&empty.root, &empty.items, 0, 0, nullptr), -1);
  EXPECT_TRUE(cFormTestTarget::runs.empty()) << "an empty map opens nothing";
}

TEST(Popup, SizeAndButtons) {
  sMenu m;
  m.add(3, "Open");
  m.add(-2, "Delete all", 30);
  m.items.insert(9);  // no text, no picture: no button
  sSize size;
  ASSERT_TRUE(cPopupMaster::evalSize(&m.root, &m.items, nullptr, size, nullptr));
  EXPECT_EQ(size.cy, cFixedMetricCanvas::kLineHeight + 7 + 30);
  EXPECT_EQ(size.cx, cButtonChild::requiredWidth(&m.root, "Delete all", nullptr, cButtonChild::dsSideBySide,
                                                 m.root.stdFont()) +
                         2);
  std::vector<int> ids;
  cFormTestTarget::scripts.push_back([&](cFormTestTarget& w) {
    auto* popup = static_cast<cPopupMaster*>(w.form);
    for (cListItem* i = popup->buttons().head; i; i = i->next)
      ids.push_back(static_cast<cPopupMaster::cBtnListItem*>(i)->id);
  });
  cPopupMaster::simplePopup(&m.root, &m.items, 0, 0, nullptr);
  EXPECT_EQ(ids, (std::vector<int>{-2, 3}));
}

TEST(Popup, EndingsAnswerTheItemOrMinusOne) {
  struct {
    const char* name;
    cFormTestTarget::tScript script;
    int answer;
  } cases[] = {
      {"first item", [](cFormTestTarget& w) { w.click(5, 5); }, -7},
      {"second item", [](cFormTestTarget& w) { w.click(5, 1 + 20 + 5); }, 4},
      {"escape", [](cFormTestTarget& w) { w.key(cChildElement::kcEscape); }, -1},
      {"click outside", [](cFormTestTarget& w) { w.press(-5, 3, true); }, -1},
      {"focus lost",
       [](cFormTestTarget& w) {
         w.form->processFocusDirect(w.form);
         w.form->processFocusLost(false, false);
       },
       -1},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(k.name);
    sMenu m;
    m.add(-7, "Negative", 20);
    m.add(4, "Four", 20);
    cFormTestTarget::scripts.push_back(k.script);
    EXPECT_EQ(cPopupMaster::simplePopup(&m.root, &m.items, 10, 10, nullptr), k.answer);
  }
}

// Any int is an item id, the value a window's loop uses while it runs too.
TEST(Popup, AnItemWithTheLowestIdsIsAnswered) {
  for (int id : {-2147483647, static_cast<int>(0x80000000u), -1}) {
    SCOPED_TRACE(id);
    sMenu m;
    m.add(id, "Marker", 20);
    m.add(5, "Five", 20);
    cFormTestTarget::scripts.push_back([](cFormTestTarget& w) { w.click(5, 5); });
    EXPECT_EQ(cPopupMaster::simplePopup(&m.root, &m.items, 10, 10, nullptr), id);
  }
}

// A list taller than the room below: the bar sits inside the popup's border
// at its right edge, spans the popup, and stays put while the list scrolls.
TEST(Popup, ALongListScrollsUnderAFixedBarInsideThePopup) {
  sMenu m;
  for (int i = 0; i < 30; ++i) m.add(i, ("Item " + std::to_string(i)).c_str(), 20);
  bool checked = false;
  cFormTestTarget::scripts.push_back([&](cFormTestTarget& w) {
    auto* popup = static_cast<cPopupMaster*>(w.form);
    EXPECT_TRUE(popup->doubleBuffer());
    sRect bar;
    ASSERT_TRUE(popup->childRect(&popup->vbar(), &bar));
    EXPECT_TRUE(popup->vbar().visible_child());
    EXPECT_EQ(bar.x + bar.width, popup->width() - 1);
    EXPECT_EQ(bar.y, 1);
    EXPECT_EQ(bar.height, popup->height() - 2);
    const int barRoom = popup->getVScrollRes();
    EXPECT_GT(barRoom, 0);
    for (cListItem* i = popup->buttons().head; i; i = i->next)
      EXPECT_LE(static_cast<cPopupMaster::cBtnListItem*>(i)->button.width(), popup->width() - 2 - barRoom);
    for (int notch = 0; notch < 20; ++notch) popup->processMouseWheel(5, 5, false, false, 1);
    w.settle();
    EXPECT_GT(popup->shiftY(), 0);
    sRect after;
    popup->childRect(&popup->vbar(), &after);
    EXPECT_EQ(after.y, bar.y) << "the bar does not scroll with the items";
    EXPECT_EQ(after.height, bar.height);
    checked = true;
  });
  cPopupMaster::simplePopup(&m.root, &m.items, 10, 300, nullptr);
  EXPECT_TRUE(checked);
  ASSERT_EQ(cFormTestTarget::runs.size(), 1u);
  EXPECT_LT(cFormTestTarget::runs[0].h, 30 * 20);
}
