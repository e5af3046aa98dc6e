// Where the desktop names no work area (no manager, or one that says
// nothing of it), the bands that panels keep along the screen's edges are
// left to them, on an 800 x 600 screen.
#include "managed_desktop.h"

using namespace nstest;

namespace {

// A panel of another program: its band as _NET_WM_STRUT_PARTIAL (left,
// right, top, bottom, and the part of its edge each takes, from `start` to
// `end`), or as the older _NET_WM_STRUT.
struct sPanel {
  long left, right, top, bottom;
  bool partial, mapped;
  long start = 0, end = 599;
};

Window showPanel(cPeer& peer, const sPanel& p) {
  XSetWindowAttributes attrs{};
  attrs.override_redirect = True;
  const Window w = XCreateWindow(peer.d, peer.root(), 0, 0, 20, 20, 0, CopyFromParent, InputOutput, CopyFromParent,
                                 CWOverrideRedirect, &attrs);
  long strut[12] = {p.left, p.right, p.top, p.bottom, p.start, p.end, p.start, p.end, p.start, p.end, p.start, p.end};
  const char* name = p.partial ? "_NET_WM_STRUT_PARTIAL" : "_NET_WM_STRUT";
  XChangeProperty(peer.d, w, XInternAtom(peer.d, name, False), XA_CARDINAL, 32, PropModeReplace,
                  reinterpret_cast<unsigned char*>(strut), p.partial ? 12 : 4);
  if (p.mapped) XMapWindow(peer.d, w);
  XSync(peer.d, False);
  return w;
}

// The work area the desktop names, or none when empty.
void announce(cPeer& peer, std::vector<long> area) {
  const Atom name = XInternAtom(peer.d, "_NET_WORKAREA", False);
  if (area.empty())
    XDeleteProperty(peer.d, peer.root(), name);
  else
    XChangeProperty(peer.d, peer.root(), name, XA_CARDINAL, 32, PropModeReplace,
                    reinterpret_cast<unsigned char*>(area.data()), static_cast<int>(area.size()));
  XSync(peer.d, False);
}

void checkWorkAreas() {
  const struct {
    const char* name;
    std::vector<sPanel> panels;
    std::vector<int> area;  // x, y, width, height
    std::vector<long> announced = {};
  } cases[] = {
      {"no panel", {}, {0, 0, 800, 600}},
      {"a left panel", {{40, 0, 0, 0, true, true}}, {40, 0, 760, 600}},
      {"left and an older bottom one", {{40, 0, 0, 0, true, true}, {0, 0, 0, 30, false, true}}, {40, 0, 760, 570}},
      {"the widest band of a side", {{0, 0, 20, 0, true, true}, {0, 25, 30, 0, true, true}}, {0, 30, 775, 570}},
      {"a panel not shown", {{40, 0, 0, 0, true, false}}, {0, 0, 800, 600}},
      {"a band wider than the screen", {{0, 900, 0, 0, true, true}}, {0, 0, 800, 600}},
      {"bands that leave nothing", {{500, 300, 0, 0, true, true}}, {0, 0, 800, 600}},
      {"docks on every side", {{30, 0, 0, 0, false, true}, {0, 50, 0, 0, true, true}, {0, 0, 25, 0, true, true},
                              {0, 0, 0, 40, true, true}}, {30, 25, 720, 535}},
      {"a band that leaves a sliver", {{795, 0, 0, 0, true, true}}, {0, 0, 800, 600}},
      {"bands that leave a sliver between them", {{400, 395, 0, 0, true, true}}, {0, 0, 800, 600}},
      {"a band that leaves a line", {{0, 0, 0, 599, true, true}}, {0, 0, 800, 600}},
      {"a band along a part of its edge", {{40, 0, 0, 0, true, true, 500, 700}}, {40, 0, 760, 600}},
      {"a band along a part off the screen", {{40, 0, 0, 0, true, true, 700, 900}}, {0, 0, 800, 600}},
      {"a top band off the screen", {{0, 0, 30, 0, true, true, 800, 1000}}, {0, 0, 800, 600}},
      {"a band along a part that ends before it starts", {{40, 0, 0, 0, true, true, 300, 200}}, {0, 0, 800, 600}},
      {"a named work area", {{40, 0, 0, 0, true, true}}, {0, 30, 800, 570}, {0, 30, 800, 570}},
      {"a named work area of a line", {{40, 0, 0, 0, true, true}}, {40, 0, 760, 600}, {0, 0, 800, 1}},
  };
  cPeer peer;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<Window> shown;
    for (const sPanel& p : c.panels) shown.push_back(showPanel(peer, p));
    announce(peer, c.announced);
    int x = -1, y = -1, w = -1, h = -1;
    nswnd_work_area(&x, &y, &w, &h);
    EXPECT_EQ(std::vector<int>({x, y, w, h}), c.area);
    announce(peer, {});
    for (Window p : shown) XDestroyWindow(peer.d, p);
    XSync(peer.d, False);
  }
  // A panel that changes its band after it was read, hides and shows.
  const Window panel = showPanel(peer, {40, 0, 0, 0, true, true});
  const auto setBand = [&](long left) {
    long strut[4] = {left, 0, 0, 0};
    XChangeProperty(peer.d, panel, XInternAtom(peer.d, "_NET_WM_STRUT_PARTIAL", False), XA_CARDINAL, 32,
                    PropModeReplace, reinterpret_cast<unsigned char*>(strut), 4);
  };
  const struct {
    const char* name;
    std::function<void()> change;
    int left;
  } steps[] = {
      {"as shown", [] {}, 40},
      {"widened", [&] { setBand(60); }, 60},
      {"hidden", [&] { XUnmapWindow(peer.d, panel); }, 0},
      {"shown again", [&] { XMapWindow(peer.d, panel); }, 60},
      {"given up", [&] { setBand(0); }, 0},
      {"taken again", [&] { setBand(40); }, 40},
      {"hidden, shown and hidden again unasked",
       [&] {
         XUnmapWindow(peer.d, panel);
         XMapWindow(peer.d, panel);
         XUnmapWindow(peer.d, panel);
       },
       0},
      {"shown, widened and narrowed unasked",
       [&] {
         XMapWindow(peer.d, panel);
         setBand(70);
         setBand(50);
       },
       50},
  };
  for (const auto& s : steps) {
    SCOPED_TRACE(s.name);
    s.change();
    XSync(peer.d, False);
    int x = -1, y = -1, w = -1, h = -1;
    nswnd_work_area(&x, &y, &w, &h);
    EXPECT_EQ(std::vector<int>({x, y, w, h}), std::vector<int>({s.left, 0, 800 - s.left, 600}));
  }
  // A window as large as the screen stays clear of the panel.
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
