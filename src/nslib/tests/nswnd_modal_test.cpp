#include "x11_driver.h"

using namespace nstest;

TEST(ModalLoop, EndsOnlyOnAResultOtherThanTheSentinel) {
  requireDisplay();
  cRecorder r;
  r.wnd = nswnd_create_wnd(cRecorder::proc, &r, "Loop", 200, 100, false, -1, -1);
  int wakes = 0;
  r.hook = [&](const sEvent& e) {
    if (e.code != nsweWakeUp) return 0;
    if (++wakes == 1) {
      nswnd_modal_result(r.wnd, kNSModalRunning);
      nswnd_notify_action(r.wnd);
    } else {
      nswnd_modal_result(r.wnd, -5);
    }
    return 0;
  };
  cWatchdog dog(r);
  nswnd_notify_action(r.wnd);
  EXPECT_EQ(nswnd_modal(r.wnd, nullptr), -5);
  EXPECT_EQ(wakes, 2);
  nswnd_destroy(r.wnd);
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

TEST(ModalLoop, NestedSheetsEndInnerFirstAndLendTheirTitles) {
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
      nswnd_set_caption(parent.wnd, "Renamed");  // shown only once the sheet is gone
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
  EXPECT_EQ(seen, (std::vector<std::string>{"Sheet one", "Sheet one", "Sheet two", "Sheet one", "Renamed"}));

  // A parent that never had a caption gets an empty title back.
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
