
#include "x11_driver.h"

using namespace nstest;

TEST(WindowLayer, PlacesSizesAndMovesWindows) {
  requireDisplay();
  int sw, sh, x, y, w, h;
  ASSERT_TRUE(nswnd_desktop_size(&sw, &sh));

  cRecorder r;
  r.wnd = nswnd_create_wnd(cRecorder::proc, &r, "Centred", 200, 100, true, -1, -1);
  ASSERT_TRUE(r.wnd);
  ASSERT_TRUE(nswnd_show_floating(r.wnd));
  ASSERT_TRUE(pumpUntil([&] { return !r.only(nswePaint).empty(); }));
  ASSERT_TRUE(nswnd_getpossize(r.wnd, &x, &y, &w, &h));
  EXPECT_EQ(x, (sw - 200) / 2);
  EXPECT_EQ(y, (sh - 100) / 2);

  // Only the pair (-1, -1) centres; a single -1 is a place just off the
  // screen, which the window is moved onto.
  cRecorder other;
  other.wnd = nswnd_create_wnd(cRecorder::proc, &other, nullptr, 50, 40, false, -1, 5);
  nswnd_show_floating(other.wnd);
  ASSERT_TRUE(pumpUntil([&] { return !other.only(nswePaint).empty(); }));
  nswnd_getpossize(other.wnd, &x, &y, &w, &h);
  EXPECT_EQ(x, 0);
  EXPECT_EQ(y, 5);

  EXPECT_FALSE(nswnd_move(r.wnd, 10, 10, 0, 50));
  ASSERT_TRUE(nswnd_move(r.wnd, 30, 40, 300, 180));
  ASSERT_TRUE(pumpUntil([&] { return !r.only(nsweSize).empty(); }));
  EXPECT_EQ(r.only(nsweSize).back().a, 300);
  EXPECT_EQ(r.only(nsweSize).back().b, 180);
  nswnd_getpossize(r.wnd, &x, &y, &w, &h);
  EXPECT_EQ(x, 30);
  EXPECT_EQ(y, 40);
  EXPECT_FALSE(nswnd_setpointer(r.wnd, 10));
  nswnd_destroy(other.wnd);
  nswnd_destroy(r.wnd);
}

TEST(WindowLayer, PaintsThroughTheRecordAndRepaintsWhatIsInvalidated) {
  requireDisplay();
  Display* d = nsapp()->display;
  cRecorder r;
  unsigned long red = 0xFF0000;  // the test server's default visual is 24-bit TrueColor
  // Paints the left half red through the record's drawable.
  auto proc = [](int code, void* record, void* param) {
    auto* rec = static_cast<cRecorder*>(param);
    if (code == nswePaint) {
      auto* p = static_cast<sNSWPaint*>(record);
      GC gc = XCreateGC(p->context->display, p->context->drawable, 0, nullptr);
      XSetForeground(p->context->display, gc, 0xFF0000);
      XFillRectangle(p->context->display, p->context->drawable, gc, 0, 0, 60, 80);
      XFreeGC(p->context->display, gc);
    }
    return cRecorder::proc(code, record, rec);
  };
  r.wnd = nswnd_create_wnd(proc, &r, "Paint", 120, 80, false, 10, 10);
  ASSERT_TRUE(r.wnd);
  nswnd_show_floating(r.wnd);
  ASSERT_TRUE(pumpUntil([&] { return !r.only(nswePaint).empty(); }));
  XSync(d, False);
  XImage* img = XGetImage(d, xidOf(r.wnd), 0, 0, 120, 80, AllPlanes, ZPixmap);
  ASSERT_TRUE(img);
  EXPECT_EQ(XGetPixel(img, 5, 5) & 0xFFFFFF, red);
  EXPECT_EQ(XGetPixel(img, 59, 79) & 0xFFFFFF, red);
  EXPECT_NE(XGetPixel(img, 100, 40) & 0xFFFFFF, red);
  XDestroyImage(img);

  r.events.clear();
  ASSERT_TRUE(nswnd_invalidate_view(r.wnd, 10, 20, 30, 15));
  ASSERT_TRUE(pumpUntil([&] { return !r.only(nswePaint).empty(); }));
  sEvent p = r.only(nswePaint).front();
  EXPECT_EQ(std::vector<int>({p.a, p.b, p.c, p.d}), std::vector<int>({10, 20, 30, 15}));
  nswnd_destroy(r.wnd);
}

// Exposures that wait while the window is busy are painted at once, but
// never across a change of size: those behind it are of the new size.
// Another program asks for the repaints, then moves or resizes the window.
TEST(WindowLayer, QueuedExposuresMergeUpToAChangeOfSize) {
  requireDisplay();
  struct {
    const char* name;
    int width, height;  // what the other program gives it
    std::vector<std::vector<int>> paints;
  } cases[] = {
      {"moved", 200, 150, {{10, 10, 60, 40}}},
      {"resized", 400, 300, {{10, 10, 20, 20}, {0, 0, 400, 300}}},
  };
  cPeer peer;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    cRecorder r;
    r.wnd = nswnd_create_wnd(cRecorder::proc, &r, "Exposed", 200, 150, true, 10, 10);
    ASSERT_TRUE(nswnd_show_floating(r.wnd));
    ASSERT_TRUE(pumpUntil([&] { return !r.only(nswePaint).empty(); }));
    nswnd_msgloop();
    r.events.clear();
    const Window xid = xidOf(r.wnd);
    XClearArea(peer.d, xid, 10, 10, 20, 20, True);
    XMoveResizeWindow(peer.d, xid, 30, 30, static_cast<unsigned>(c.width), static_cast<unsigned>(c.height));
    XClearArea(peer.d, xid, 50, 30, 20, 20, True);
    XSync(peer.d, False);
    // All of it waits in the layer's queue before the first is handled.
    XSync(nsapp()->display, False);
    EXPECT_TRUE(pumpUntil([&] { return r.only(nswePaint).size() >= c.paints.size(); }));
    nswnd_msgloop();
    std::vector<std::vector<int>> paints;
    for (const sEvent& p : r.only(nswePaint)) paints.push_back({p.a, p.b, p.c, p.d});
    EXPECT_EQ(paints, c.paints);
    nswnd_destroy(r.wnd);
  }
}

// A paint is on the screen once its exposure is handled, though more events
// wait: whatever the program runs next may hold the window for a while.
TEST(WindowLayer, APaintReachesTheScreenBeforeTheNextEvent) {
  requireDisplay();
  Display* d = nsapp()->display;
  static unsigned long colour = 0xFF0000;
  auto proc = [](int code, void* record, void* param) {
    if (code == nswePaint) {
      auto* p = static_cast<sNSWPaint*>(record);
      GC gc = XCreateGC(p->context->display, p->context->drawable, 0, nullptr);
      XSetForeground(p->context->display, gc, colour);
      XFillRectangle(p->context->display, p->context->drawable, gc, 0, 0, 120, 80);
      XFreeGC(p->context->display, gc);
    }
    return cRecorder::proc(code, record, param);
  };
  cRecorder r;
  r.wnd = nswnd_create_wnd(proc, &r, "Shown", 120, 80, false, 10, 10);
  ASSERT_TRUE(r.wnd && nswnd_show_floating(r.wnd));
  ASSERT_TRUE(pumpUntil([&] { return !r.only(nswePaint).empty(); }));
  nswnd_msgloop();
  colour = 0x00FF00;
  cPeer peer;
  const Window xid = xidOf(r.wnd);
  XClearArea(peer.d, xid, 0, 0, 0, 0, True);
  XEvent later{};  // an event of nobody's, still waiting after the paint
  later.xclient = {ClientMessage, 0, False, peer.d, xid, XInternAtom(peer.d, "ZVK_LATER", False), 32, {}};
  XSendEvent(peer.d, xid, False, 0, &later);
  XSync(peer.d, False);
  XSync(d, False);
  r.events.clear();
  for (XEvent ev; r.only(nswePaint).empty() && XPending(d) > 1;) {
    XNextEvent(d, &ev);
    proccessEventProc(&ev);
  }
  ASSERT_FALSE(r.only(nswePaint).empty());
  ASSERT_GE(XQLength(d), 1);
  XImage* img = XGetImage(peer.d, xid, 0, 0, 120, 80, AllPlanes, ZPixmap);
  ASSERT_TRUE(img);
  EXPECT_EQ(XGetPixel(img, 60, 40) & 0xFFFFFF, 0x00FF00u);
  XDestroyImage(img);
  nswnd_destroy(r.wnd);
}
