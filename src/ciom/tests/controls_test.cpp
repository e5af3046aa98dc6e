// The basic controls on the test platform: hint windows, picture zones, the
// button bar and the sizes that labels and buttons ask for.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ciom/button.h"
#include "ciom/genbutton.h"
#include "ciom/hintmaster.h"
#include "ciom/linkelement.h"
#include "ciom/pictureelement.h"
#include "ciom/selectableelement.h"
#include "ciom/staticelement.h"
#include "ciom/themeuse.h"
#include "ciom/toolbar.h"
#include "support/fixedcanvas.h"
#include "support/formplatform.h"

namespace {

constexpr int kLH = cFixedMetricCanvas::kLineHeight;

// Records the actions that reach it.
class cListener : public cChildElement {
 public:
  std::vector<std::pair<cChildElement*, int>> heard;
  std::vector<int> values;  // zone or button ids
  bool onAction(cChildElement* sender, cChildAction* a) override {
    heard.push_back({sender, a->code});
    if (auto* z = dynamic_cast<cPictureElement::cActiveZoneAction*>(a)) values.push_back(z->zone);
    if (auto* b = dynamic_cast<cToolBarChild::cTbButtonAction*>(a)) values.push_back(b->id);
    return cChildElement::onAction(sender, a);
  }
};

struct sWindow {
  cFormTestTarget window;
  cListener root;
  sWindow() {
    cFormTestTarget::reset();
    window.bind(&root, 300, 200);
  }
  ~sWindow() { cFormTestTarget::reset(); }
};

}  // namespace

TEST(Hints, HoverOpensOneWindowBelowTheElementSizedByItsLines) {
  const struct {
    const char* text;
    int w, h;
  } cases[] = {{"hello", 5 * 7 + 8, kLH + 4}, {"a\n", 7 + 8, 2 * kLH + 4}, {"ab\nabcd\n", 4 * 7 + 8, 3 * kLH + 4}};
  for (const auto& c : cases) {
    sWindow w;
    cChildElement item;
    w.root.attach(&item, 20, 30, 50, 10);
    item.setHint(c.text);
    w.window.move(25, 35);
    w.window.move(26, 36);
    ASSERT_EQ(cFormTestTarget::popups.size(), 1u) << c.text;
    const auto& p = cFormTestTarget::popups[0];
    // The test window sits at (100, 50) on the screen.
    EXPECT_EQ(p.x, 100 + 20 + 2);
    EXPECT_EQ(p.y, 50 + 30 + 10 + 2);
    EXPECT_EQ(p.w, c.w) << c.text;
    EXPECT_EQ(p.h, c.h) << c.text;
    EXPECT_EQ(cTestPopupHolder::alive, 1);
    w.window.move(200, 150);  // leaving
    EXPECT_EQ(cTestPopupHolder::alive, 0);
  }
}

TEST(Hints, SetHintRemovesTheWindowAndAFailedWindowLeavesNothingBehind) {
  sWindow w;
  cChildElement item;
  w.root.attach(&item, 20, 30, 50, 10);
  item.setHint("tip");
  w.window.move(25, 35);
  EXPECT_EQ(cTestPopupHolder::alive, 1);
  item.setHint("other");
  w.window.settle();
  EXPECT_EQ(cTestPopupHolder::alive, 0);

  // The pop-up is refused: the element deletes the hint it made, once.
  cFormTestTarget::failPopups = true;
  w.window.move(200, 150);
  w.window.move(25, 35);
  EXPECT_GT(cFormTestTarget::popups.size(), 1u);
  EXPECT_EQ(cTestPopupHolder::alive, 0);
}

TEST(Hints, ATextWithNothingToShowKeepsTheWindowShownBefore) {
  sWindow w;
  cHintMaster hint;
  ASSERT_TRUE(hint.show(&w.root, "shown", nullptr, 0xFF000000, 0));
  cWindowHolder* before = hint.window();
  ASSERT_TRUE(before);
  EXPECT_EQ(hint.winTarget(), before->target());
  EXPECT_FALSE(hint.show(&w.root, "", nullptr, 0xFF000000, 0xFF000000));
  EXPECT_FALSE(hint.show(nullptr, "x", nullptr, 0, 0));
  EXPECT_EQ(hint.window(), before);
  sPoint at{7, 9};
  ASSERT_TRUE(hint.show(&w.root, "again", &at, 0, 0));
  EXPECT_EQ(cFormTestTarget::popups.back().x, 7);
  EXPECT_EQ(cTestPopupHolder::alive, 1);
  EXPECT_TRUE(hint.hide());
  EXPECT_EQ(hint.winTarget(), nullptr);
  EXPECT_EQ(cTestPopupHolder::alive, 0);

  _guardchar<char> line;
  EXPECT_STREQ(cHintMaster::line("ab\ncd", line), "cd");
  EXPECT_STREQ(line.ptr, "ab");
  EXPECT_EQ(cHintMaster::line("cd", line), nullptr);
  EXPECT_STREQ(line.ptr, "cd");
}

TEST(PictureZones, ClicksNotifyTheFirstZoneHoldingThePoint) {
  sWindow w;
  cPictureElement pict;
  w.root.attach(&pict, 0, 0, 100, 100);
  pict.setActive(2, 5, 5, 30, 30);
  pict.setActive(1, 10, 10, 5, 5);
  pict.setActive(3, 60, 60, 10, 10);
  const struct {
    int x, y, zone;
  } cases[] = {{12, 12, 1}, {10, 10, 1}, {14, 14, 1}, {15, 15, 2}, {5, 5, 2}, {4, 4, -1}, {69, 69, 3}, {70, 70, -1}};
  for (const auto& c : cases) {
    w.root.values.clear();
    w.window.click(c.x, c.y);
    EXPECT_EQ(pict.currentZone(), c.zone) << c.x << "," << c.y;
    EXPECT_EQ(w.root.values, c.zone < 0 ? std::vector<int>{} : std::vector<int>{c.zone}) << c.x << "," << c.y;
  }
  // Replacing the zone under the pointer forgets it.
  w.window.move(12, 12);
  EXPECT_EQ(pict.currentZone(), 1);
  pict.setActive(1, 0, 0, 1, 1);
  EXPECT_EQ(pict.currentZone(), -1);
}

TEST(PictureZones, ZoneHintsFollowThePointerAndPicturesAreCheckedFirst) {
  sWindow w;
  cPictureElement pict;
  w.root.attach(&pict, 10, 20, 100, 100);
  pict.setHint(1, 0, 0, 50, 50, "left");
  pict.setHint(2, 50, 0, 50, 50, "right");
  w.window.move(15, 25);
  w.window.move(16, 26);
  ASSERT_EQ(cFormTestTarget::popups.size(), 1u);
  EXPECT_EQ(cFormTestTarget::popups[0].x, 100 + 10 + 0 + 2);
  EXPECT_EQ(cFormTestTarget::popups[0].y, 50 + 20 + 49 + 2);
  w.window.move(75, 25);
  EXPECT_EQ(cFormTestTarget::popups.size(), 2u);
  EXPECT_EQ(cTestPopupHolder::alive, 1);
  EXPECT_TRUE(pict.setHint(2, "changed"));
  EXPECT_EQ(cTestPopupHolder::alive, 0);
  EXPECT_FALSE(pict.setHint(9, "absent"));
  w.window.move(75, 90);
  EXPECT_EQ(pict.hintInView(), nullptr);

  const unsigned int px[4] = {1, 2, 3, 4};
  ASSERT_TRUE(pict.setPict(px, 2, 2));
  cPicture empty;
  EXPECT_FALSE(pict.refPict(&empty));
  EXPECT_NE(pict.picture(), nullptr);
  const unsigned char eight[8] = {2, 0, 0, 0, 2, 0, 0, 0};
  EXPECT_FALSE(pict.setPict(eight, sizeof eight));
  EXPECT_EQ(pict.picture(), nullptr);
}

TEST(ButtonBar, ButtonsAreKeyedByIdAndReportTheirId) {
  sWindow w;
  cToolBarChild bar;
  w.root.attach(&bar, 0, 0, 200, 24);
  EXPECT_FALSE(bar.setButton(5, nullptr, -1));
  ASSERT_TRUE(bar.setButton(2, "No", -1));
  ASSERT_TRUE(bar.setButton(1, "Yes", -1));
  const int yes = cButtonChild::requiredWidth(&bar, "Yes", nullptr, cButtonChild::dsSideBySide, nullptr);
  const int no = cButtonChild::requiredWidth(&bar, "No", nullptr, cButtonChild::dsSideBySide, nullptr);
  EXPECT_EQ(bar.wantsWidth(), yes + no);
  sRect r;
  bar.childRect(bar.findButton(2), &r);
  EXPECT_EQ(r.x, yes);  // id order, not the order of creation
  EXPECT_EQ(r.height, 24);

  w.window.click(yes + 3, 5);
  EXPECT_EQ(w.root.values, std::vector<int>{2});
  EXPECT_TRUE(bar.setEnabled(2, false));
  EXPECT_FALSE(bar.isEnabled(2));
  EXPECT_FALSE(bar.setEnabled(7, false));
  w.window.click(yes + 3, 5);
  EXPECT_EQ(w.root.values, std::vector<int>{2});

  EXPECT_TRUE(bar.setButton(2, nullptr, -1));
  EXPECT_EQ(bar.findButton(2), nullptr);
  EXPECT_EQ(bar.wantsWidth(), yes);
  bar.removeAll(false);
  EXPECT_EQ(bar.findButton(1), nullptr);
  EXPECT_EQ(bar.wantsWidth(), 0);
}

TEST(ControlSizes, ButtonsAndLabelsAskForTheirContent) {
  sWindow w;
  cPicture p16;
  p16.create(0xFF0000FF, 16, 12);
  const struct {
    const char* text;
    cPicture* pict;
    cButtonChild::eDispStyle style;
    int w, h;
  } buttons[] = {
      {"", &p16, cButtonChild::dsSideBySide, 27, 18},
      {"ab", &p16, cButtonChild::dsSideBySide, 16 + 11 + 14 + 5, kLH + 6},
      {"ab", nullptr, cButtonChild::dsSideBySide, 5 + 14 + 5, kLH + 6},
      {"ab", &p16, cButtonChild::dsStacked, 5 + 14 + 5, kLH + 12 + 6 + 2},
      {"", &p16, cButtonChild::dsStacked, 22, 12 + 6},
      {"ab", nullptr, static_cast<cButtonChild::eDispStyle>(5), 24, 0},
  };
  for (const auto& b : buttons) {
    EXPECT_EQ(cButtonChild::requiredWidth(&w.root, b.text, b.pict, b.style, nullptr), b.w) << b.text << b.style;
    EXPECT_EQ(cButtonChild::requiredHeight(&w.root, b.text, b.pict, b.style, nullptr), b.h) << b.text << b.style;
  }

  cStaticElement label;
  w.root.attach(&label, 0, 0, 100, 20);
  sSize s;
  ASSERT_TRUE(label.wantsSize(&s));
  EXPECT_EQ(s.cx, 6);
  EXPECT_EQ(s.cy, 0);
  label.setTextMargin(4);
  label.setImage(&p16, false);
  label.setText("abc", cCanvas::eAlignLeft, false);
  ASSERT_TRUE(label.wantsSize(&s));
  EXPECT_EQ(s.cx, 16 + 11 + 21 + 4);
  EXPECT_EQ(s.cy, 16);
  EXPECT_FALSE(label.wantsSize(nullptr));

  const struct {
    double add, factor;
  } spacing[] = {{-0.5, 1.2}, {0, 1.0}, {0.5, 1.5}, {-1, 1.5}};
  for (const auto& sp : spacing) {
    label.setYWrapAddSpacing(sp.add);
    EXPECT_DOUBLE_EQ(label.lineFactor(), sp.factor);
  }
}

TEST(Selectable, DirectFocusSelectsSilentlyAndOtherFocusNotifies) {
  sWindow w;
  cSelectableElement a, b;
  w.root.attach(&a, 0, 0, 100, 20);
  w.root.attach(&b, 0, 30, 100, 20);
  unsigned int text, bg, frame;
  a.getStdColorSchema(text, bg, frame);
  EXPECT_EQ(a.bgColor(), bg);

  w.root.processFocusDirect(&a);
  w.window.settle();
  EXPECT_TRUE(a.selected());
  EXPECT_EQ(a.bgColor(), themeColor(16));
  for (const auto& h : w.root.heard) EXPECT_NE(h.second, cChildElement::acChange);

  w.window.click(50, 40);  // a pointer focus on b
  EXPECT_FALSE(a.selected());
  EXPECT_TRUE(b.selected());
  int selections = 0;
  for (const auto& h : w.root.heard) selections += h.first == &b && h.second == cChildElement::acChange;
  EXPECT_EQ(selections, 1);

  // Hovering an unselected one shows the hover schema; going inactive clears it.
  w.window.move(50, 10);
  EXPECT_EQ(a.bgColor(), themeColor(15));
  a.setActive(false);
  EXPECT_EQ(a.bgColor(), bg);
}

TEST(Clicks, LinksClickOnReleaseAndActivatedButtonsNotAtAll) {
  sWindow w;
  cLinkElement link;
  cGenButtonChild own;
  w.root.attach(&link, 0, 0, 100, 20);
  w.root.attach(&own, 0, 30, 100, 20);
  EXPECT_EQ(link.defaultPointer(), cChildElement::mptHand);
  auto clicks = [&](cChildElement* from) {
    int n = 0;
    for (const auto& h : w.root.heard) n += h.first == from && h.second == cChildElement::acDefault;
    return n;
  };
  w.window.press(10, 10, true);
  EXPECT_EQ(clicks(&link), 0);
  w.window.press(10, 10, false);
  EXPECT_EQ(clicks(&link), 1);

  w.window.click(10, 40);
  EXPECT_EQ(clicks(&own), 1);
  own.setActivated(true, false);
  w.window.click(10, 40);
  own.onKey(cChildElement::kcSpace, false, false, false);
  w.window.settle();
  EXPECT_EQ(clicks(&own), 1);
}

// Zone ids are any int: negative zones notify and show the hand like others.
TEST(PictureZones, NegativeIdsAreZonesLikeAnyOther) {
  sWindow w;
  cPictureElement pict;
  w.root.attach(&pict, 0, 0, 100, 100);
  pict.setActive(-1, 0, 0, 10, 10);
  pict.setActive(-2147483647 - 1, 20, 20, 10, 10);
  const struct {
    int x, y;
    bool inZone;
    int zone;
  } cases[] = {{5, 5, true, -1}, {25, 25, true, -2147483647 - 1}, {50, 50, false, -1}};
  for (const auto& c : cases) {
    w.root.values.clear();
    w.window.move(c.x, c.y);
    EXPECT_EQ(w.window.pointer, c.inZone ? cChildElement::mptHand : cChildElement::mptArrow) << c.x;
    w.window.click(c.x, c.y);
    EXPECT_EQ(w.root.values, c.inZone ? std::vector<int>{c.zone} : std::vector<int>{}) << c.x;
  }
}
