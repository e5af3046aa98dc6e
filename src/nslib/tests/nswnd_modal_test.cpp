#include "x11_driver.h"

using namespace nstest;

// A caller's id can be any int, the value a running loop starts with too.
TEST(ModalLoop, AnyResultEndsTheLoopAndIsAnswered) {
  requireDisplay();
  for (int result : {-5, kNSModalRunning, 0, 0x7FFFFFFF}) {
    cRecorder r;
    r.wnd = nswnd_create_wnd(cRecorder::proc, &r, "Loop", 200, 100, false, -1, -1);
    int wakes = 0;
    r.hook = [&](const sEvent& e) {
      if (e.code == nsweWakeUp && ++wakes == 1) nswnd_modal_result(r.wnd, result);
      return 0;
    };
    cWatchdog dog(r);
    nswnd_notify_action(r.wnd);
    EXPECT_EQ(nswnd_modal(r.wnd, nullptr), result);
    EXPECT_EQ(wakes, 1);
    nswnd_destroy(r.wnd);
  }
}

TEST(ModalLoop, CloseBoxEndsWithZeroOnlyWhenTheWindowAgrees) {
  requireDisplay();
  cPeer peer;
  cRecorder r;
  r.wnd = nswnd_create_wnd(cRecorder::proc, &r, "Close", 200, 100, false, -1, -1);
  Window xid = xidOf(r.wnd);
  int closes = 0, wakes = 0;
  r.closeAnswer = 1;  // the first request is refused
  r.hook = [&](const sEvent& e) {
    if (e.code == nsweClose && ++closes == 1) nswnd_notify_action(r.wnd);
    if (e.code == nsweWakeUp && ++wakes == 2) {
      r.closeAnswer = 0;  // still running after the refusal: now agree
      peer.closeBox(xid);
    }
    if (e.code == nsweWakeUp && wakes == 1) peer.closeBox(xid);
    return 0;
  };
  cWatchdog dog(r);
  nswnd_notify_action(r.wnd);
  EXPECT_EQ(nswnd_modal(r.wnd, nullptr), 0);
  EXPECT_EQ(closes, 2);
  nswnd_destroy(r.wnd);
}

TEST(ModalLoop, NestedSheetsEndInnerFirstAndEachKeepsItsTitle) {
  requireDisplay();
  cPeer peer;
  cRecorder parent, one, two;
  parent.wnd = nswnd_create_wnd(cRecorder::proc, &parent, "Parent", 400, 300, true, 50, 50);
  one.wnd = nswnd_create_wnd(cRecorder::proc, &one, "Sheet one", 200, 150, false, -1, -1);
  two.wnd = nswnd_create_wnd(cRecorder::proc, &two, "Sheet two", 100, 80, false, -1, -1);
  auto title = [&](cRecorder& r) {
    XSync(nsapp()->display, False);
    return peer.property(xidOf(r.wnd), "_NET_WM_NAME");
  };
  std::vector<std::string> seen;
  std::vector<int> results;
  parent.hook = [&](const sEvent& e) {
    if (e.code == nsweWakeUp && results.empty()) {
      results.push_back(nswnd_modal(one.wnd, parent.wnd));
      seen.push_back(title(parent));
      nswnd_modal_result(parent.wnd, 9);
    }
    return 0;
  };
  one.hook = [&](const sEvent& e) {
    if (e.code == nsweWakeUp && results.empty()) {
      seen.push_back(title(parent));
      nswnd_set_caption(parent.wnd, "Renamed");  // shown at once, under the sheet
      seen.push_back(title(parent));
      EXPECT_EQ(peer.property(xidOf(one.wnd), "WM_TRANSIENT_FOR").size(), sizeof(long));
      nswnd_notify_action(two.wnd);
      results.push_back(nswnd_modal(two.wnd, one.wnd));
      seen.push_back(title(one));
      nswnd_modal_result(one.wnd, 1);
    }
    return 0;
  };
  two.hook = [&](const sEvent& e) {
    if (e.code == nsweWakeUp) {
      seen.push_back(title(one));
      nswnd_modal_result(two.wnd, 2);
    }
    return 0;
  };
  cWatchdog dog(parent), dogOne(one), dogTwo(two);
  nswnd_notify_action(parent.wnd);
  nswnd_notify_action(one.wnd);
  EXPECT_EQ(nswnd_modal(parent.wnd, nullptr), 9);
  EXPECT_EQ(results, (std::vector<int>{2, 1}));
  EXPECT_EQ(seen, (std::vector<std::string>{"Parent", "Renamed", "Sheet one", "Sheet one", "Renamed"}));

  // A parent that never had a caption keeps its empty title.
  cRecorder bare;
  bare.wnd = nswnd_create_wnd(cRecorder::proc, &bare, nullptr, 300, 200, false, 0, 0);
  one.hook = [&](const sEvent& e) {
    if (e.code == nsweWakeUp) nswnd_modal_result(one.wnd, 4);
    return 0;
  };
  nswnd_notify_action(one.wnd);
  EXPECT_EQ(nswnd_modal(one.wnd, bare.wnd), 4);
  EXPECT_EQ(title(bare), "");
  for (cRecorder* r : {&parent, &one, &two, &bare}) nswnd_destroy(r->wnd);
}

TEST(ModalLoop, AJobThreadsWakeUpsAllArrive) {
  requireDisplay();
  cRecorder r;
  r.wnd = nswnd_create_wnd(cRecorder::proc, &r, "Wake", 100, 100, false, 0, 0);
  int wakes = 0;
  r.hook = [&](const sEvent& e) {
    if (e.code == nsweWakeUp && ++wakes == 1000) nswnd_modal_result(r.wnd, 1);
    return 0;
  };
  cWatchdog dog(r);
  std::thread job([&] {
    for (int i = 0; i < 1000; ++i) ASSERT_TRUE(nswnd_notify_action(r.wnd));
  });
  EXPECT_EQ(nswnd_modal(r.wnd, nullptr), 1);
  job.join();
  EXPECT_EQ(wakes, 1000);
  nswnd_destroy(r.wnd);
}

TEST(ModalLoop, AWakeUpForAClosedWindowIsDropped) {
  requireDisplay();
  cRecorder gone, alive;
  gone.wnd = nswnd_create_wnd(cRecorder::proc, &gone, "Gone", 100, 100, false, 0, 0);
  alive.wnd = nswnd_create_wnd(cRecorder::proc, &alive, "Alive", 100, 100, false, 0, 0);
  ASSERT_TRUE(nswnd_notify_action(gone.wnd));
  nswnd_destroy(gone.wnd);
  ASSERT_TRUE(nswnd_notify_action(alive.wnd));
  ASSERT_TRUE(pumpUntil([&] { return !alive.only(nsweWakeUp).empty(); }));
  EXPECT_TRUE(gone.events.empty());
  nswnd_destroy(alive.wnd);
}

// Windows larger than the screen, or placed past its edge, and a sheet over
// a parent at the screen's corner all lie inside the screen while shown.
TEST(ModalLoop, WindowsAndSheetsStayInsideTheScreen) {
  requireDisplay();
  cPeer peer;
  const int sw = DisplayWidth(peer.d, DefaultScreen(peer.d)), sh = DisplayHeight(peer.d, DefaultScreen(peer.d));
  const struct {
    const char* name;
    int x, y, w, h;
    bool sheet;
  } cases[] = {
      {"centred, wider than the screen", -1, -1, sw + 300, 100, false},
      {"placed past the right and bottom edges", sw - 50, sh - 40, 300, 200, false},
      {"sheet wider and taller than the screen", -1, -1, sw + 10, sh + 10, true},
      {"sheet over a parent at the corner", -1, -1, 600, 400, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    cRecorder parent, r;
    parent.wnd = nswnd_create_wnd(cRecorder::proc, &parent, "Corner", 200, 150, false, sw - 200, sh - 150);
    r.wnd = nswnd_create_wnd(cRecorder::proc, &r, "Big", c.w, c.h, false, c.x, c.y);
    int x = -1, y = -1;
    unsigned w = 0, h = 0;
    r.hook = [&](const sEvent& e) {
      if (e.code != nsweWakeUp && e.code != nswePaint) return 0;
      XSync(nsapp()->display, False);
      XWindowAttributes a;
      Window child;
      if (!XGetWindowAttributes(peer.d, xidOf(r.wnd), &a) || a.map_state != IsViewable) return 0;
      XTranslateCoordinates(peer.d, xidOf(r.wnd), peer.root(), 0, 0, &x, &y, &child);
      w = static_cast<unsigned>(a.width);
      h = static_cast<unsigned>(a.height);
      nswnd_modal_result(r.wnd, 1);
      return 0;
    };
    cWatchdog dog(r);
    nswnd_modal(r.wnd, c.sheet ? parent.wnd : nullptr);
    EXPECT_GE(x, 0);
    EXPECT_GE(y, 0);
    EXPECT_GT(w, 0u);
    EXPECT_LE(x + static_cast<int>(w), sw);
    EXPECT_LE(y + static_cast<int>(h), sh);
    for (cRecorder* q : {&parent, &r}) nswnd_destroy(q->wnd);
  }
}

// A window that only holds boxes up is off the screen while its box is up,
// and never shows at all when the box was asked for before its loop began.
TEST(ModalLoop, AWindowHoldingBoxesIsShownOnlyWhileNoneIsUp) {
  requireDisplay();
  cPeer peer;
  cRecorder* watched = nullptr;
  auto shown = [&] {
    XSync(nsapp()->display, False);
    XWindowAttributes a;
    return XGetWindowAttributes(peer.d, xidOf(watched->wnd), &a) && a.map_state == IsViewable;
  };
  const struct {
    const char* name;
    bool atOnce;
    std::vector<bool> seen;  // the holder shown: before the box, under it, once it ended
  } cases[] = {
      {"box asked for at once", true, {false, false, false}},
      {"box asked for once shown", false, {true, false, false}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    cRecorder host, box;
    watched = &host;
    host.wnd = nswnd_create_wnd(cRecorder::proc, &host, "Holder", 350, 110, false, -1, -1);
    box.wnd = nswnd_create_wnd(cRecorder::proc, &box, "Box", 300, 150, false, -1, -1);
    nswnd_hide_under_sheets(host.wnd);
    std::vector<bool> seen;
    bool boxed = false;
    host.hook = [&](const sEvent& e) {
      // Shown again once the box has gone: that paint ends it.
      if (e.code == nswePaint && boxed) nswnd_modal_result(host.wnd, 1);
      if (e.code == nswePaint && !boxed) nswnd_notify_action(host.wnd);
      if (e.code != nsweWakeUp || boxed) return 0;
      boxed = true;
      seen.push_back(shown());
      nswnd_notify_action(box.wnd);
      nswnd_modal(box.wnd, host.wnd);
      seen.push_back(shown());
      if (c.atOnce) nswnd_modal_result(host.wnd, 1);
      return 0;
    };
    box.hook = [&](const sEvent& e) {
      if (e.code == nsweWakeUp && !box.expired) {
        seen.push_back(shown());
        nswnd_modal_result(box.wnd, 1);
      }
      return 0;
    };
    cWatchdog dogHost(host), dogBox(box);
    if (c.atOnce) nswnd_notify_action(host.wnd);
    EXPECT_EQ(nswnd_modal(host.wnd, nullptr), 1);
    EXPECT_EQ(seen, c.seen);
    EXPECT_EQ(host.only(nswePaint).empty(), c.atOnce);
    nswnd_destroy(box.wnd);
    nswnd_destroy(host.wnd);
  }
}
