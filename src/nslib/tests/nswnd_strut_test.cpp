// Where the desktop names no work area (no manager, or one that says
// nothing of it), the bands that panels keep along the screen's edges are
// left to them, on an 800 x 600 screen.
#include "managed_desktop.h"

using namespace nstest;

namespace {

// A panel of another program: its band as _NET_WM_STRUT_PARTIAL (left,
// right, top, bottom and their extents), or as the older _NET_WM_STRUT.
struct sPanel {
  long left, right, top, bottom;
  bool partial, mapped;
};

Window showPanel(cPeer& peer, const sPanel& p) {
  XSetWindowAttributes attrs{};
  attrs.override_redirect = True;
  const Window w = XCreateWindow(peer.d, peer.root(), 0, 0, 20, 20, 0, CopyFromParent, InputOutput, CopyFromParent,
                                 CWOverrideRedirect, &attrs);
  long strut[12] = {p.left, p.right, p.top, p.bottom, 0, 599, 0, 599, 0, 799, 0, 799};
  const char* name = p.partial ? "_NET_WM_STRUT_PARTIAL" : "_NET_WM_STRUT";
  XChangeProperty(peer.d, w, XInternAtom(peer.d, name, False), XA_CARDINAL, 32, PropModeReplace,
                  reinterpret_cast<unsigned char*>(strut), p.partial ? 12 : 4);
  if (p.mapped) XMapWindow(peer.d, w);
  XSync(peer.d, False);
  return w;
}

void checkWorkAreas() {
  const struct {
    const char* name;
    std::vector<sPanel> panels;
    std::vector<int> area;  // x, y, width, height
  } cases[] = {
      {"no panel", {}, {0, 0, 800, 600}},
      {"a left panel", {{40, 0, 0, 0, true, true}}, {40, 0, 760, 600}},
      {"left and an older bottom one", {{40, 0, 0, 0, true, true}, {0, 0, 0, 30, false, true}}, {40, 0, 760, 570}},
      {"the widest band of a side", {{0, 0, 20, 0, true, true}, {0, 25, 30, 0, true, true}}, {0, 30, 775, 570}},
      {"a panel not shown", {{40, 0, 0, 0, true, false}}, {0, 0, 800, 600}},
      {"a band wider than the screen", {{0, 900, 0, 0, true, true}}, {0, 0, 800, 600}},
      {"bands that leave nothing", {{500, 300, 0, 0, true, true}}, {0, 0, 800, 600}},
  };
  cPeer peer;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<Window> shown;
    for (const sPanel& p : c.panels) shown.push_back(showPanel(peer, p));
    int x = -1, y = -1, w = -1, h = -1;
    nswnd_work_area(&x, &y, &w, &h);
    EXPECT_EQ(std::vector<int>({x, y, w, h}), c.area);
    for (Window p : shown) XDestroyWindow(peer.d, p);
    XSync(peer.d, False);
  }
  // A window as large as the screen stays clear of the panel.
  const Window panel = showPanel(peer, {40, 0, 0, 0, true, true});
  cRecorder r;
  r.wnd = nswnd_create_wnd(cRecorder::proc, &r, "Beside", 2000, 2000, false, -1, -1);
  ASSERT_TRUE(r.wnd);
  ASSERT_TRUE(nswnd_show_floating(r.wnd));
  int x = 0, y = 0, w = 0, h = 0;
  ASSERT_TRUE(pumpUntil([&] { return !r.only(nswePaint).empty(); }));
  ASSERT_TRUE(nswnd_getpossize(r.wnd, &x, &y, &w, &h));
  EXPECT_GE(x, 40);
  EXPECT_LE(x + w, 800);
  nswnd_destroy(r.wnd);
  XDestroyWindow(peer.d, panel);
}

}  // namespace

TEST(StrutWindowLayer, PanelsKeepTheirBandsWithoutAManager) {
  cManagedDesktop desk(800, 600, cManagedDesktop::sBare{});
  if (!desk.ready()) GTEST_SKIP() << desk.why();
  checkWorkAreas();
}

TEST(StrutWindowLayer, PanelsKeepTheirBandsUnderAManagerThatNamesNoWorkArea) {
  cManagedDesktop desk(800, 600, cManagedDesktop::sFrameless{});
  if (!desk.ready()) GTEST_SKIP() << desk.why();
  checkWorkAreas();
}
