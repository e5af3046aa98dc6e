#include <gtest/gtest.h>

#include "ciom/child.h"
#include "support/probe.h"
#include "support/testplatform.h"

namespace {

sRect rectOf(cChildElement& e) {
  sRect r;
  e.childRect(&r);
  return r;
}

void expectRect(cChildElement& e, int x, int y, int w, int h) {
  sRect r = rectOf(e);
  EXPECT_EQ(r.x, x);
  EXPECT_EQ(r.y, y);
  EXPECT_EQ(r.width, w);
  EXPECT_EQ(r.height, h);
}

struct Window {
  sProbeLog log;
  cTestRequestTarget target;
  cProbe form{"form", &log};
  Window(int w = 200, int h = 100) { target.bind(&form, w, h); }
};

}  // namespace

TEST(ChildTree, AnchorsKeepTheirDistancesToTheEdgesAcrossResizes) {
  Window win;
  cProbe margin("margin", &win.log), right("right", &win.log), limited("limited", &win.log);
  ASSERT_TRUE(win.form.anchor(&margin, 10, 10, -21, -21));
  ASSERT_TRUE(win.form.anchor(&right, -51, 0, 50, -1));
  expectRect(margin, 10, 10, 180, 80);
  expectRect(right, 150, 0, 50, 100);

  win.form.processSizeChanges(300, 150, false);
  expectRect(margin, 10, 10, 280, 130);
  expectRect(right, 250, 0, 50, 150);
  win.form.processSizeChanges(120, 60, false);
  expectRect(margin, 10, 10, 100, 40);
  expectRect(right, 70, 0, 50, 60);

  // Size limits hold against the anchors, the maximum over the minimum.
  ASSERT_TRUE(win.form.anchor(&limited, 0, 0, -1, 5));
  limited.setMinSize(50, 20);
  limited.setMaxSize(40, -1);
  win.form.processSizeChanges(130, 60, false);
  expectRect(limited, 0, 0, 40, 20);
}

TEST(ChildTree, ResizesRepaintOnlyTheStripsThatChanged) {
  Window win;
  cProbe child("child", &win.log);
  ASSERT_TRUE(win.form.anchor(&child, 10, 10, -21, 30));
  win.target.repaints.clear();
  win.form.processSizeChanges(250, 100, false);
  ASSERT_EQ(win.target.repaints.size(), 1u);
  const sArea& a = win.target.repaints[0];
  EXPECT_EQ(a.left, 190);
  EXPECT_EQ(a.top, 10);
  EXPECT_EQ(a.right, 240);
  EXPECT_EQ(a.bottom, 40);
}

TEST(ChildTree, AttachDetachAndTheTreeAnswers) {
  Window win;
  cProbe a("a", &win.log), b("b", &win.log), inner("inner", &win.log);
  ASSERT_TRUE(win.form.attach(&a, 0, 0, 50, 50));
  ASSERT_TRUE(a.attach(&inner, 5, 6, 10, 10));
  EXPECT_TRUE(win.form.isChild(&inner));
  EXPECT_FALSE(win.form.isDirectChild(&inner));

  // A second attach moves; an element is never in two trees nor below itself.
  EXPECT_TRUE(win.form.attach(&a, 20, 30, 50, 50));
  expectRect(a, 20, 30, 50, 50);
  EXPECT_FALSE(win.form.attach(&inner, 0, 0, 1, 1));
  EXPECT_FALSE(inner.attach(&win.form, 0, 0, 1, 1));
  EXPECT_FALSE(win.form.attach(&win.form, 0, 0, 1, 1));

  sRect r;
  ASSERT_TRUE(win.form.childRect(&inner, &r));
  EXPECT_EQ(r.x, 25);
  EXPECT_EQ(r.y, 36);
  sPoint p;
  ASSERT_TRUE(inner.absPos(p));
  EXPECT_EQ(p.x, 100 + 25);
  EXPECT_EQ(p.y, 50 + 36);

  EXPECT_TRUE(win.form.dettach(&a));
  EXPECT_FALSE(win.form.isChild(&inner));
  EXPECT_EQ(a.parent(), nullptr);
  EXPECT_FALSE(a.absPos(p));
  EXPECT_TRUE(win.form.attach(&b, 0, 0, 5, 5));
  EXPECT_TRUE(win.form.attach(&a, 0, 0, 5, 5));
}

TEST(ChildTree, RepaintAreasAreClampedAndFollowThePlaceInTheWindow) {
  Window win;
  cProbe child("child", &win.log), loose("loose", &win.log);
  ASSERT_TRUE(win.form.attach(&child, 10, 20, 50, 40));
  win.target.repaints.clear();
  sRect past{30, 5, 100, 10};
  child.repaint(&past);
  child.repaint(nullptr);
  ASSERT_EQ(win.target.repaints.size(), 2u);
  EXPECT_EQ(win.target.repaints[0].left, 40);
  EXPECT_EQ(win.target.repaints[0].right, 10 + 49);
  EXPECT_EQ(win.target.repaints[0].top, 25);
  EXPECT_EQ(win.target.repaints[1].right, 10 + 50);
  EXPECT_EQ(win.target.repaints[1].bottom, 20 + 40);

  // A moved child leaves its old place to the parent.
  win.target.repaints.clear();
  EXPECT_TRUE(child.move(100, 20, 50, 40));
  ASSERT_EQ(win.target.repaints.size(), 2u);
  EXPECT_EQ(win.target.repaints[0].left, 10);
  EXPECT_EQ(win.target.repaints[1].left, 100);

  // Nothing is asked for an element that is not in a window's tree.
  loose.repaint(nullptr);
  EXPECT_EQ(win.target.repaints.size(), 2u);
}

TEST(ChildTree, DestroyedChildLeavesNoPointerBehind) {
  Window win;
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

TEST(ChildTree, TextsAndTheClipboard) {
  Window win;
  win.form.setText("abcdef", -1, false);
  char buf[4];
  win.form.text(buf, sizeof buf);
  EXPECT_STREQ(buf, "abc");
  win.form.setText("abcdef", 2, false);
  EXPECT_STREQ(win.form.text(), "ab");

  EXPECT_TRUE(win.form.clipboardCopyText("hi", -1));
  EXPECT_EQ(win.target.clipboardText, std::string("hi", 3));
  EXPECT_TRUE(win.form.clipboardCopyText(nullptr, -1));
  EXPECT_EQ(win.target.clipboardText, std::string(1, '\0'));
  win.target.clipboardText = "copied";
  _guardchar<char> text;
  ASSERT_TRUE(win.form.clipboardRequestText(text));
  EXPECT_STREQ(text.ptr, "copied");

  cProbe loose("loose", &win.log);
  EXPECT_FALSE(loose.clipboardCopyText("x", -1));
  EXPECT_FALSE(loose.clipboardRequestText(text));
}
