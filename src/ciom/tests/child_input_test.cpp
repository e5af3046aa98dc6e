#include <gtest/gtest.h>

#include "base/utils.h"
#include "ciom/child.h"
#include "support/probe.h"

namespace {

using K = cChildElement;

unsigned int gNow = 0;
unsigned int testClock() { return gNow; }

struct Window : sProbeWindow {
  Window() { cChildElement::clockMs = testClock; }
  ~Window() { cChildElement::clockMs = ticks_ms; }
  std::string focusedName() {
    auto* f = static_cast<cProbe*>(form.getFocused());
    return f ? f->name : "none";
  }
  void key(int k, bool shift = false, bool mod2 = false, bool mod3 = false) {
    form.processKey(k, shift, mod2, mod3);
  }
  void click(int x, int y, int button = K::mbLeft) {
    form.processMouseBtn(x, y, button, true, false, false);
    form.processMouseBtn(x, y, button, false, false, false);
  }
};

// Four tab stops side by side, the third inside a panel that is no stop.
struct TabForm : Window {
  cProbe a{"a", &log}, b{"b", &log}, panel{"panel", &log}, c{"c", &log}, d{"d", &log};
  TabForm() {
    for (cProbe* p : {&a, &b, &c, &d}) p->tabStop = true;
    form.attach(&a, 0, 0, 40, 20);
    form.attach(&b, 40, 0, 40, 20);
    form.attach(&panel, 80, 0, 60, 40);
    panel.attach(&c, 0, 0, 40, 20);
    form.attach(&d, 140, 0, 40, 20);
  }
};

}  // namespace

TEST(ChildFocus, TabAndShiftTabCycleThroughTheStopsAndWrap) {
  TabForm f;
  std::string seen;
  for (int i = 0; i < 5; ++i) {
    f.key(K::kcTab);
    seen += f.focusedName() + " ";
  }
  EXPECT_EQ(seen, "a b c d a ");
  seen.clear();
  for (int i = 0; i < 5; ++i) {
    f.key(K::kcTab, true);
    seen += f.focusedName() + " ";
  }
  EXPECT_EQ(seen, "d c b a d ");

  // Disabled and hidden stops are passed over; a Tab with the second
  // modifier is a key like any other.
  f.b.disable(false);
  f.c.hide(false);
  f.key(K::kcTab);
  EXPECT_EQ(f.focusedName(), "a");
  f.key(K::kcTab);
  EXPECT_EQ(f.focusedName(), "d");
  f.log.lines.clear();
  f.key(K::kcTab, false, true);
  EXPECT_EQ(f.focusedName(), "d");
  EXPECT_EQ(f.log.joined(), "d:key265");
}

TEST(ChildFocus, ArrowsMoveAmongSiblingsAndWrapOnlyWhenCyclic) {
  TabForm f;
  f.key(K::kcTab);
  f.key(K::kcRight);
  EXPECT_EQ(f.focusedName(), "b");
  // The panel is no arrow stop, so the step passes over it.
  f.key(K::kcDown);
  EXPECT_EQ(f.focusedName(), "d");
  f.log.lines.clear();
  f.key(K::kcRight);
  EXPECT_EQ(f.focusedName(), "d");
  EXPECT_EQ(f.log.joined(), "");
  f.key(K::kcLeft);
  EXPECT_EQ(f.focusedName(), "b");

  Window w;
  cProbe x("x", &w.log), y("y", &w.log), edit("edit", &w.log);
  x.tabStop = y.tabStop = edit.tabStop = true;
  edit.arrowsCaptured = true;
  cProbe ring("ring", &w.log);
  ring.cyclic = true;
  w.form.attach(&ring, 0, 0, 100, 100);
  ring.attach(&x, 0, 0, 10, 10);
  ring.attach(&y, 10, 0, 10, 10);
  ring.attach(&edit, 20, 0, 10, 10);
  w.form.processFocusDirect(&y);
  w.key(K::kcRight);
  EXPECT_EQ(w.form.getFocused(), &edit);
  // An element that uses the arrows itself keeps them.
  w.log.lines.clear();
  w.key(K::kcRight);
  EXPECT_EQ(w.form.getFocused(), &edit);
  EXPECT_EQ(w.log.joined(), "edit:key339");
  w.form.processFocusDirect(&x);
  w.key(K::kcLeft);
  EXPECT_EQ(w.form.getFocused(), &edit);
}

TEST(ChildFocus, KeysGoDownTheFocusPathAndRaiseContextRequests) {
  TabForm f;
  f.log.lines.clear();
  EXPECT_FALSE(f.form.processKey('A', false, false, false));
  f.form.processFocusDirect(&f.c);
  f.log.lines.clear();
  EXPECT_TRUE(f.form.processKey('A', false, false, false));
  EXPECT_TRUE(f.form.processChar('a', false, false, false));
  f.key(K::kcF10);
  f.key(K::kcF10, true);
  f.key(K::kcMenu);
  f.target.drain();
  EXPECT_EQ(f.log.joined(),
            "c:key65 c:char97 c:key455 c:key455 c:key359 c:action1<c panel:action1<c form:action1<c "
            "c:action2<c panel:action2<c form:action2<c c:action2<c panel:action2<c form:action2<c");

  // A disabled element on the path swallows keys without seeing them.
  f.panel.disable(false);
  f.log.lines.clear();
  EXPECT_TRUE(f.form.processKey('B', false, false, false));
  EXPECT_EQ(f.log.joined(), "");
}

TEST(ChildFocus, TheWindowGivesBackTheFocusItHadWhenItReturns) {
  TabForm f;
  f.form.processFocusDirect(&f.c);
  // Focus given while the window was being built survives its first focus.
  f.form.processOSFocus();
  EXPECT_EQ(f.focusedName(), "c");
  f.form.processOSFocusLost();
  EXPECT_EQ(f.focusedName(), "none");
  f.form.processOSFocus();
  EXPECT_EQ(f.focusedName(), "c");

  // An element that left the tree meanwhile is not followed.
  f.form.processOSFocusLost();
  f.form.dettach(&f.panel);
  f.form.processOSFocus();
  EXPECT_EQ(f.focusedName(), "form");
}

TEST(ChildFocus, LeftPressesMoveTheFocusToWhatIsUnderThePointer) {
  TabForm f;
  cProbe plain("plain", &f.log);
  f.panel.attach(&plain, 0, 25, 40, 10);
  plain.setAcceptFocus(false);
  f.click(50, 5);
  EXPECT_EQ(f.focusedName(), "b");
  f.click(85, 10);
  EXPECT_EQ(f.focusedName(), "c");
  // A child that takes no focus leaves it with the element the walk reached.
  f.click(85, 30);
  EXPECT_EQ(f.focusedName(), "panel");
  f.click(190, 90);
  EXPECT_EQ(f.focusedName(), "form");
  f.click(50, 5, K::mbRight);
  EXPECT_EQ(f.focusedName(), "form");
}

TEST(ChildInput, DoubleClicksNeedTimeAndDistanceWithinTheLimits) {
  auto presses = [](std::initializer_list<std::tuple<unsigned, int, int>> at) {
    Window w;
    for (auto [t, x, y] : at) {
      gNow = t;
      w.form.processMouseBtn(x, y, K::mbLeft, true, false, false);
    }
    int doubles = 0;
    for (const std::string& s : w.log.lines) doubles += s.rfind("form:dbl", 0) == 0;
    return doubles;
  };
  EXPECT_EQ(presses({{1000, 10, 10}, {1499, 12, 8}}), 1);
  EXPECT_EQ(presses({{1000, 10, 10}, {1500, 10, 10}}), 0);
  EXPECT_EQ(presses({{1000, 10, 10}, {1100, 13, 10}}), 0);
  EXPECT_EQ(presses({{1000, 10, 10}, {1100, 10, 7}}), 0);
  EXPECT_EQ(presses({{1000, 10, 10}, {1300, 10, 10}, {1450, 10, 10}}), 2);
  // A clock that went back is not a double click.
  EXPECT_EQ(presses({{1000, 10, 10}, {900, 10, 10}}), 0);

  // With the wish set, the element posts the double click to itself only.
  Window w;
  cProbe child("child", &w.log);
  w.form.attach(&child, 0, 0, 50, 50);
  child.setNotifyDoubleClick(true);
  gNow = 5000;
  child.processMouseBtn(1, 1, K::mbLeft, true, false, false);
  gNow = 5100;
  child.processMouseBtn(3, 2, K::mbLeft, true, false, false);
  w.log.lines.clear();
  w.target.drain();
  EXPECT_EQ(w.log.joined(), "child:action3<child");
}

TEST(ChildInput, PointerEventsReachTheChildUnderThePointer) {
  Window w;
  cProbe child("child", &w.log);
  w.form.attach(&child, 150, 50, 50, 50);
  w.log.lines.clear();
  w.form.processMouseBtn(150, 50, K::mbRight, true, true, false);
  w.form.processMouseBtn(160, 60, K::mbRight, false, true, false);
  // The far edge belongs to the form, not to the child ending there.
  w.form.processMouseBtn(200, 100, K::mbRight, true, false, false);
  w.target.drain();
  EXPECT_EQ(w.log.joined(),
            "child:btn2d@0,0 child:btn2u@10,10 form:btn2d@200,100 child:action2<child form:action2<child");

  w.log.lines.clear();
  w.form.processMouseMove(160, 60);
  w.form.processMouseMove(161, 61);
  w.form.processMouseMove(10, 10);
  EXPECT_EQ(w.log.joined(), "child:over child:left form:over");

  // While the child holds the pointer, events outside it still reach it.
  child.capturePointer(false);
  EXPECT_TRUE(w.target.captured);
  w.log.lines.clear();
  w.form.processMouseBtn(10, 10, K::mbLeft, true, false, false);
  EXPECT_EQ(w.log.lines.front(), "child:btn1d@-140,-40");
  child.releasePointer();
  EXPECT_FALSE(w.target.captured);
  w.log.lines.clear();
  w.form.processMouseBtn(10, 10, 3, true, false, false);
  EXPECT_EQ(w.log.joined(), "form:btn3d@10,10");
}
