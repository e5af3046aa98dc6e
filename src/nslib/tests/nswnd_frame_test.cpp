// The room a window leaves for the frame a window manager draws around it,
// on an 800 x 600 screen under openbox with a 30 pixel panel along the top:
// the frame the manager announced on the window when it is believable, a
// title bar and borders while it has said nothing, and a window made larger
// than the screen placed and cut so that its frame fits too.
#include "managed_desktop.h"

using namespace nstest;

TEST(ManagedWindowLayer, TheLargestWindowLeavesRoomForItsFrame) {
  cManagedDesktop desk(800, 600, 30);
  if (!desk.ready()) GTEST_SKIP() << desk.why();
  cPeer peer;
  cRecorder r;
  r.wnd = nswnd_create_wnd(cRecorder::proc, &r, "Framed", 2000, 2000, false, -1, -1);
  ASSERT_TRUE(r.wnd);
  const Window xid = xidOf(r.wnd);
  // Nothing of ours is framed yet: the manager's frame is guessed.
  int w = 0, h = 0, x = 0, y = 0;
  ASSERT_TRUE(nswnd_client_area(r.wnd, &w, &h));
  EXPECT_EQ(w, 800 - 8);
  EXPECT_EQ(h, 570 - 28);
  Window root;
  unsigned gw, gh, border, depth;
  XGetGeometry(peer.d, xid, &root, &x, &y, &gw, &gh, &border, &depth);
  EXPECT_EQ(x, 0);
  EXPECT_EQ(y, 30) << "the frame's top at the panel's foot";

  const Atom extents = XInternAtom(peer.d, "_NET_FRAME_EXTENTS", False);
  const struct {
    const char* name;
    Atom type;
    int format;
    std::vector<long> values;
    int width, height;
  } cases[] = {
      {"none said", 0, 0, {}, 792, 542},
      {"a title bar", XA_CARDINAL, 32, {1, 1, 20, 4}, 798, 546},
      {"no frame at all", XA_CARDINAL, 32, {0, 0, 0, 0}, 800, 570},
      {"larger than the screen", XA_CARDINAL, 32, {4096, 4096, 4096, 4096}, 800, 570},
      {"beyond 32 bits signed", XA_CARDINAL, 32, {0xFFFFFFFFL, 0, 0xFFFFFFFFL, 0}, 800, 570},
      {"one side short", XA_CARDINAL, 32, {1, 1, 20}, 792, 542},
      {"not cardinals", XA_ATOM, 32, {1, 1, 20, 4}, 792, 542},
      {"16-bit values", XA_CARDINAL, 16, {1, 1, 20, 4}, 792, 542},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.type) {
      std::vector<short> halves(c.values.begin(), c.values.end());
      const unsigned char* data = c.format == 16 ? reinterpret_cast<const unsigned char*>(halves.data())
                                                 : reinterpret_cast<const unsigned char*>(c.values.data());
      XChangeProperty(peer.d, xid, extents, c.type, c.format, PropModeReplace, data,
                      static_cast<int>(c.values.size()));
    } else {
      XDeleteProperty(peer.d, xid, extents);
    }
    XSync(peer.d, False);
    ASSERT_TRUE(nswnd_max_size(r.wnd, &w, &h));
    EXPECT_EQ(w, c.width);
    EXPECT_EQ(h, c.height);
  }
  nswnd_destroy(r.wnd);
}

// A manager that maps windows where they ask, draws no frame and never says
// so: until one of ours is mapped a frame is guessed; then it is measured
// as none, and the largest window takes the whole screen.
TEST(ManagedWindowLayer, AManagerWithoutFramesLeavesTheWholeScreen) {
  cManagedDesktop desk(800, 600, cManagedDesktop::sFrameless{});
  if (!desk.ready()) GTEST_SKIP() << desk.why();
  cRecorder first;
  first.wnd = nswnd_create_wnd(cRecorder::proc, &first, "First", 300, 200, false, -1, -1);
  ASSERT_TRUE(first.wnd);
  int w = 0, h = 0;
  ASSERT_TRUE(nswnd_max_size(first.wnd, &w, &h));
  EXPECT_EQ(w, 800 - 8) << "guessed while nothing is mapped";
  EXPECT_EQ(h, 600 - 28);
  ASSERT_TRUE(nswnd_show_floating(first.wnd));
  EXPECT_TRUE(pumpUntil([&] { return nswnd_max_size(first.wnd, &w, &h) && w == 800 && h == 600; }))
      << w << "x" << h;

  cRecorder big;
  big.wnd = nswnd_create_wnd(cRecorder::proc, &big, "Big", 2000, 2000, false, -1, -1);
  ASSERT_TRUE(big.wnd);
  ASSERT_TRUE(nswnd_client_area(big.wnd, &w, &h));
  EXPECT_EQ(w, 800);
  EXPECT_EQ(h, 600);
  nswnd_destroy(big.wnd);
  nswnd_destroy(first.wnd);
}

// The first window of a process is sized by the guessed frame; under a
// manager that draws none, a side that took all the guessed room takes the
// whole screen once the window is mapped, and a smaller one keeps its size.
TEST(ManagedWindowLayer, TheFirstWindowGrowsToTheRoomItsRealFrameLeaves) {
  cManagedDesktop desk(800, 600, cManagedDesktop::sFrameless{});
  if (!desk.ready()) GTEST_SKIP() << desk.why();
  const struct {
    int width, height;  // asked
    int mappedW, mappedH;
  } cases[] = {
      {2000, 2000, 800, 600},
      {800 - 8, 100, 800, 100},  // asked for the guessed room, as boxes do
      {300, 200, 300, 200},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.width);
    cRecorder r;
    r.wnd = nswnd_create_wnd(cRecorder::proc, &r, "First", c.width, c.height, false, -1, -1);
    ASSERT_TRUE(r.wnd);
    ASSERT_TRUE(nswnd_show_floating(r.wnd));
    int w = 0, h = 0;
    // Mapped once its frame is measured as none.
    EXPECT_TRUE(pumpUntil([&] { return nswnd_max_size(r.wnd, &w, &h) && w == 800 && h == 600; }));
    EXPECT_TRUE(pumpUntil([&] {
      return nswnd_client_area(r.wnd, &w, &h) && w == c.mappedW && h == c.mappedH;
    })) << w << "x" << h;
    nswnd_destroy(r.wnd);
  }
}

// Elements add their offsets to the window's position, and menus open
// there: under a manager whose frame has a left border, it is the corner of
// the content, where the pointer's coordinates start.
TEST(ManagedWindowLayer, AFramedWindowIsPlacedAtItsContent) {
  cManagedDesktop desk(800, 600, 30);
  if (!desk.ready()) GTEST_SKIP() << desk.why();
  cPeer peer;
  cRecorder r;
  r.wnd = nswnd_create_wnd(cRecorder::proc, &r, "Framed", 300, 200, false, -1, -1);
  ASSERT_TRUE(r.wnd);
  ASSERT_TRUE(nswnd_show_floating(r.wnd));
  const Window xid = xidOf(r.wnd);
  // Framed once the manager has said so, with a border on the left.
  std::string said;
  ASSERT_TRUE(pumpUntil([&] {
    said = peer.property(xid, "_NET_FRAME_EXTENTS");
    return said.size() == 4 * sizeof(long) && reinterpret_cast<const long*>(said.data())[0] > 0;
  }));
  const long* frame = reinterpret_cast<const long*>(said.data());
  int contentX = 0, contentY = 0, x = 0, y = 0, w = 0, h = 0, cw = 0, ch = 0;
  Window child;
  ASSERT_TRUE(pumpUntil([&] {
    XTranslateCoordinates(peer.d, xid, DefaultRootWindow(peer.d), 0, 0, &contentX, &contentY, &child);
    return nswnd_getpossize(r.wnd, &x, &y, &w, &h) && x == contentX && y == contentY;
  })) << "at " << x << "," << y << ", the content at " << contentX << "," << contentY;
  ASSERT_TRUE(nswnd_client_area(r.wnd, &cw, &ch));
  EXPECT_EQ(w, cw + frame[0] + frame[1]);
  EXPECT_EQ(h, ch + frame[2] + frame[3]);
  nswnd_destroy(r.wnd);
}
