#include <gtest/gtest.h>

#include <vector>

#include "support/probe.h"

namespace {

std::vector<int> rectOf(cChildElement& e) {
  sRect r;
  e.childRect(&r);
  return {r.x, r.y, r.width, r.height};
}

std::vector<int> sides(const sArea& a) { return {a.left, a.top, a.right, a.bottom}; }

}  // namespace

TEST(ChildTree, AnchorsKeepTheirDistancesToTheEdgesAcrossResizes) {
  sProbeWindow win;
  cProbe margin("margin", &win.log), right("right", &win.log), limited("limited", &win.log);
  ASSERT_TRUE(win.form.anchor(&margin, 10, 10, -21, -21));
  ASSERT_TRUE(win.form.anchor(&right, -51, 0, 50, -1));
  EXPECT_EQ(rectOf(margin), std::vector<int>({10, 10, 180, 80}));
  EXPECT_EQ(rectOf(right), std::vector<int>({150, 0, 50, 100}));

  win.form.processSizeChanges(300, 150, false);
  EXPECT_EQ(rectOf(margin), std::vector<int>({10, 10, 280, 130}));
  EXPECT_EQ(rectOf(right), std::vector<int>({250, 0, 50, 150}));
  win.form.processSizeChanges(120, 60, false);
  EXPECT_EQ(rectOf(margin), std::vector<int>({10, 10, 100, 40}));
  EXPECT_EQ(rectOf(right), std::vector<int>({70, 0, 50, 60}));

  // Size limits hold against the anchors, the maximum over the minimum.
  ASSERT_TRUE(win.form.anchor(&limited, 0, 0, -1, 5));
  limited.setMinSize(50, 20);
  limited.setMaxSize(40, -1);
  win.form.processSizeChanges(130, 60, false);
  EXPECT_EQ(rectOf(limited), std::vector<int>({0, 0, 40, 20}));
}

TEST(ChildTree, ResizesRepaintOnlyTheStripsThatChanged) {
  sProbeWindow win;
  cProbe child("child", &win.log);
  ASSERT_TRUE(win.form.anchor(&child, 10, 10, -21, 30));
  win.target.repaints.clear();
  win.form.processSizeChanges(250, 100, false);
  ASSERT_EQ(win.target.repaints.size(), 1u);
  EXPECT_EQ(sides(win.target.repaints[0]), std::vector<int>({190, 10, 240, 40}));
}

TEST(ChildTree, AttachMovesAndNeverMakesACycle) {
  sProbeWindow win;
  cProbe a("a", &win.log), inner("inner", &win.log);
  ASSERT_TRUE(win.form.attach(&a, 0, 0, 50, 50));
  ASSERT_TRUE(a.attach(&inner, 5, 6, 10, 10));
  EXPECT_TRUE(win.form.attach(&a, 20, 30, 50, 50));
  EXPECT_EQ(rectOf(a), std::vector<int>({20, 30, 50, 50}));
  EXPECT_FALSE(win.form.attach(&inner, 0, 0, 1, 1));
  EXPECT_FALSE(inner.attach(&win.form, 0, 0, 1, 1));
  EXPECT_FALSE(win.form.attach(&win.form, 0, 0, 1, 1));

  sPoint p;
  ASSERT_TRUE(inner.absPos(p));
  EXPECT_EQ(p.x, 100 + 25);
  EXPECT_EQ(p.y, 50 + 36);
  EXPECT_TRUE(win.form.dettach(&a));
  EXPECT_FALSE(win.form.isChild(&inner));
  EXPECT_FALSE(a.absPos(p));
}

TEST(ChildTree, RepaintAreasAreClampedAndFollowThePlaceInTheWindow) {
  sProbeWindow win;
  cProbe child("child", &win.log), loose("loose", &win.log);
  ASSERT_TRUE(win.form.attach(&child, 10, 20, 50, 40));
  win.target.repaints.clear();
  sRect past{30, 5, 100, 10};
  child.repaint(&past);
  // A moved child leaves its old place to the parent.
  EXPECT_TRUE(child.move(100, 20, 50, 40));
  loose.repaint(nullptr);
  ASSERT_EQ(win.target.repaints.size(), 3u);
  EXPECT_EQ(sides(win.target.repaints[0]), std::vector<int>({40, 25, 59, 35}));
  EXPECT_EQ(sides(win.target.repaints[1]), std::vector<int>({10, 20, 60, 60}));
  EXPECT_EQ(sides(win.target.repaints[2]), std::vector<int>({100, 20, 150, 60}));
}

TEST(ChildTree, DestroyedChildLeavesNoPointerBehind) {
  sProbeWindow win;
  auto* child = new cProbe("child", &win.log);
  child->tabStop = true;
  ASSERT_TRUE(win.form.attach(child, 0, 0, 50, 50));
  win.form.processMouseMove(10, 10);
  win.form.processFocusDirect(child);
  child->capturePointer(false);
  EXPECT_TRUE(win.target.captured);
  delete child;
  EXPECT_FALSE(win.target.captured);
  EXPECT_EQ(win.form.getFirstChild(), nullptr);
  EXPECT_EQ(win.form.getFocused(), nullptr);
  win.log.lines.clear();
  win.form.processMouseMove(20, 20);
  win.form.processKey(cChildElement::kcTab, false, false, false);
  EXPECT_EQ(win.log.joined(), "form:over");
}

TEST(ChildTree, TextsAreCutToTheCallersBuffer) {
  sProbeWindow win;
  win.form.setText("abcdef", -1, false);
  char buf[4];
  win.form.text(buf, sizeof buf);
  EXPECT_STREQ(buf, "abc");
}
