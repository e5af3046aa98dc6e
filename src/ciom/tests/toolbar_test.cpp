// The toolbar's layout when the row is narrower than its buttons: cut,
// gathered after the last button that fits, or gathered from a hide-from id
// with the last buttons kept beside the drop-down; hidden buttons and
// separators; the overflow menu's place and size.
#include <gtest/gtest.h>

#include <vector>

#include "ciom/toolbar.h"
#include "support/fixedcanvas.h"
#include "support/testplatform.h"

namespace {

constexpr int kButton = 40;

struct sBar {
  cTestRequestTarget window;
  cChildElement root;
  cToolBarChild bar;
  sBar(int w, int buttons) {
    window.bind(&root, 2000, 100);
    root.attach(&bar, 0, 0, w, 24);
    bar.setFixedButtonWidth(kButton);
    for (int i = 0; i < buttons; ++i) bar.setButton(i, "b", -1);
  }
  ~sBar() { root.dettach(&bar); }
  // x of each shown button, -1 for a hidden one.
  std::vector<int> places() {
    std::vector<int> xs;
    for (int i = 0; bar.findButton(i); ++i) {
      cButtonChild* b = bar.findButton(i);
      sRect r;
      bar.childRect(b, &r);
      xs.push_back(b->visible_child() ? r.x : -1);
    }
    return xs;
  }
  std::vector<int> overflow() {
    std::vector<int> ids;
    auto& o = bar.overflowItems();
    for (auto* i = o.root ? o.leftmost(o.root) : nullptr; i; i = o.next(i)) ids.push_back(i->key);
    return ids;
  }
  int dropDownX() {
    sRect r;
    bar.childRect(&bar.dropDown(), &r);
    return bar.dropDown().visible_child() ? r.x : -1;
  }
};

}  // namespace

TEST(ToolBar, NarrowRows) {
  struct {
    const char* name;
    cToolBarChild::eSmallerSizeBehavior behaviour;
    int hideFrom;
    int widthAfterDropDown;  // the bar's width minus the drop-down's
    std::vector<int> disabled, hidden;
    std::vector<int> places;  // in units of the drop-down's width d when negative below -1: see below
    std::vector<int> overflow;
    int dropDownAt;  // in buttons before it; -1 none
  } cases[] = {
      {"cut keeps full widths", cToolBarChild::ssbCut, 0, 100, {}, {}, {0, 40, 80, 120, 160}, {}, -1},
      {"drop-down after the last that fits", cToolBarChild::ssbDropDown, 0, 100, {}, {}, {0, 40, -1, -1, -1},
       {2, 3, 4}, 2},
      {"disabled ones are not listed", cToolBarChild::ssbDropDown, 0, 100, {3}, {}, {0, 40, -1, -1, -1}, {2, 4}, 2},
      {"hidden ones take no room", cToolBarChild::ssbDropDown, 0, 100, {}, {1}, {0, -1, 40, -1, -1}, {3, 4}, 2},
      {"hide-from keeps the last beside it", cToolBarChild::ssbHideFrom, 1, 100, {}, {}, {0, -1, -1, -1, 0},
       {1, 2, 3}, 1},
      {"a disabled gathered button is hidden too", cToolBarChild::ssbHideFrom, 1, 100, {2}, {}, {0, -1, -1, -1, 0},
       {1, 3}, 1},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(k.name);
    sBar probe(2000, 1);
    probe.bar.setSmallerSizeBehavior(cToolBarChild::ssbDropDown);
    probe.bar.move(0, 0, 10, 24);
    const int d = probe.bar.dropDown().width();
    ASSERT_GT(d, 0);

    sBar b(k.widthAfterDropDown + d, 5);
    for (int id : k.disabled) b.bar.setEnabled(id, false);
    for (int id : k.hidden) b.bar.setVisible(id, false);
    b.bar.setHideFrom(k.hideFrom);
    b.bar.setSmallerSizeBehavior(k.behaviour);
    std::vector<int> expected = k.places;
    // Buttons kept right of the drop-down sit after it.
    for (size_t i = k.hideFrom ? 1 : expected.size(); i < expected.size(); ++i)
      if (expected[i] >= 0) expected[i] += kButton * k.dropDownAt + d;
    EXPECT_EQ(b.places(), expected);
    EXPECT_EQ(b.overflow(), k.overflow);
    EXPECT_EQ(b.dropDownX(), k.dropDownAt < 0 ? -1 : kButton * k.dropDownAt);
  }
}

TEST(ToolBar, ButtonsSeparatorsAndMenuSize) {
  sBar b(1000, 3);
  EXPECT_EQ(b.bar.wantsWidth(), 3 * kButton);
  EXPECT_TRUE(b.bar.setButton(1, nullptr, -1));
  EXPECT_FALSE(b.bar.setButton(1, nullptr, -1)) << "an absent id";
  EXPECT_EQ(b.bar.findButton(1), nullptr);
  EXPECT_TRUE(b.bar.setSeparator(5));
  EXPECT_FALSE(b.bar.isEnabled(5));
  EXPECT_TRUE(b.bar.setVisible(5, false));
  EXPECT_EQ(b.bar.wantsWidth(), 2 * kButton);
  EXPECT_FALSE(b.bar.setVisible(9, true));
  b.bar.removeAll(false);
  EXPECT_EQ(b.bar.wantsWidth(), 0);

  // Ten gathered items of the bar's height: taller than the 200-pixel
  // default, so the menu is 16 pixels wider before the factor.
  sBar m(60, 11);
  m.bar.setMaxDDHeight(10);
  m.bar.setSmallerSizeBehavior(cToolBarChild::ssbDropDown);
  const sRect tall = m.bar.overflowMenuRect();
  EXPECT_EQ(tall.height, 200) << "a maximum below 17 is ignored";
  m.bar.setMaxDDHeight(24 * 11);
  const sRect fits = m.bar.overflowMenuRect();
  EXPECT_EQ(fits.height, 24 * static_cast<int>(m.overflow().size()));
  EXPECT_GT(tall.width, fits.width);
  sPoint at{0, 0};
  m.bar.dropDown().absPos(at);
  EXPECT_EQ(fits.y, at.y + m.bar.dropDown().height() + 1);
}

namespace {

// Remembers the colours and back pictures a button paints with.
class cStateCanvas : public cFixedMetricCanvas {
 public:
  using cFixedMetricCanvas::cFixedMetricCanvas;
  using cFixedMetricCanvas::drawBitmap;
  std::vector<unsigned int> lines;
  unsigned int text = 0;
  cPicture* back = nullptr;
  bool setLineMode(unsigned int c, int) override {
    lines.push_back(c);
    return true;
  }
  bool setTextColors(unsigned int fore, unsigned int bg) override {
    text = fore;
    return cFixedMetricCanvas::setTextColors(fore, bg);
  }
  bool drawBitmap(int x, int y, cPicture* p, int w, int h) override {
    back = p;
    return cFixedMetricCanvas::drawBitmap(x, y, p, w, h);
  }
};

}  // namespace

TEST(ToolBar, PerStateColoursAndBackPictures) {
  using S = cButtonChild;
  const struct {
    S::eButtonStates state;
    void (*enter)(sBar&, cButtonChild*);
  } states[] = {
      {S::bsNormal, [](sBar&, cButtonChild*) {}},
      {S::bsFocused, [](sBar& t, cButtonChild* b) { t.root.processFocusDirect(b); }},
      {S::bsHovered, [](sBar&, cButtonChild* b) { b->onMouseOver(); }},
      {S::bsPressed, [](sBar&, cButtonChild* b) { b->onMouseButton(1, 1, cChildElement::mbLeft, true); }},
      {S::bsDisabled, [](sBar&, cButtonChild* b) { b->disable(false); }},
  };
  for (const auto& k : states) {
    SCOPED_TRACE(k.state);
    sBar b(1000, 2);
    b.bar.setBorder(true);  // the 3D style frames and backs every state
    cPicture pictures[5];
    for (int s = 0; s < 5; ++s) {
      pictures[s].create(0x010101u * (s + 1), 4, 4);
      b.bar.setButtonsTextColor(S::eButtonStates(s), 0x100 + s);
      b.bar.setButtonsBorderColor(S::eButtonStates(s), 0x200 + s);
      b.bar.refButtonsBgImage(S::eButtonStates(s), &pictures[s]);
    }
    b.bar.setButton(7, "later", -1);
    for (int id : {0, 7}) {
      cButtonChild* button = b.bar.findButton(id);
      k.enter(b, button);
      ASSERT_EQ(button->state(), k.state);
      cStateCanvas c(button->width(), button->height());
      button->onPaint(&c);
      const bool set = id == 0;
      EXPECT_EQ(c.text == 0x100u + k.state, set);
      EXPECT_EQ(c.back == &pictures[k.state], set);
      ASSERT_EQ(c.lines.size(), 4u);
      EXPECT_EQ(c.lines[0] == 0x200u + k.state, set);
      EXPECT_EQ(c.lines[3] == 0x200u + k.state, set);
    }
  }
}
