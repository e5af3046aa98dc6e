
#include "x11_driver.h"

using namespace nstest;

namespace {

// Plays the user on its own connection once the main loop says the window
// is ready, then wakes `done` so that its loop can end.
class cUser {
 public:
  explicit cUser(std::function<void(cPeer&)> script) : script_(std::move(script)) {}
  ~cUser() { finish(); }
  // Waits for the script; its last act uses the window's handle.
  void finish() {
    if (thread_.joinable()) thread_.join();
  }
  void start(cNSWndWrapper* done) {
    if (thread_.joinable()) return;
    thread_ = std::thread([this, done] {
      script_(peer_);
      XSync(peer_.d, False);
      nswnd_notify_action(done);
    });
  }
  cPeer& peer() { return peer_; }

 private:
  std::function<void(cPeer&)> script_;
  cPeer peer_;
  std::thread thread_;
};

}  // namespace

TEST(Input, KeysArriveWithToolkitCodesAndCharactersAsUtf16) {
  requireDisplay();
  cRecorder r;
  r.wnd = nswnd_create_wnd(cRecorder::proc, &r, "Keys", 200, 100, false, 0, 0);
  // Keys for a Cyrillic letter and an emoji beyond the 16-bit plane, mapped
  // before the window looks up any key.
  cPeer keyboard;
  KeyCode ya = keyboard.mapSpare(XK_Cyrillic_ya), emoji = keyboard.mapSpare(0x101F600);
  ASSERT_TRUE(ya && emoji);
  cUser user([ya, emoji](cPeer& p) {
    for (KeySym k : {XK_Return, XK_Tab, XK_Escape, XK_Left, XK_Up, XK_Right, XK_Down, XK_a, XK_F8}) p.key(k);
    p.key(XK_a, XK_Shift_L);
    p.key(XK_c, XK_Control_L);
    p.typeCode(ya);
    p.typeCode(emoji);
  });
  r.hook = [&](const sEvent& e) {
    if (e.code == nsweFocus) user.start(r.wnd);
    if (e.code == nsweWakeUp) nswnd_modal_result(r.wnd, 1);
    return 0;
  };
  cWatchdog dog(r);
  ASSERT_EQ(nswnd_modal(r.wnd, nullptr), 1);

  std::vector<int> downs, ups, units;
  int controlC = -1;
  for (const sEvent& e : r.only(nsweKey)) {
    if (e.a == 0) continue;  // modifiers, F8 and the remapped keys
    (e.b ? downs : ups).push_back(e.a);
    if (e.a == 'C' && e.b) controlC = e.mods;
  }
  for (const sEvent& e : r.only(nsweChar)) units.push_back(e.a);
  std::vector<int> codes{0x18D, 0x109, 0x11B, 0x151, 0x152, 0x153, 0x154, 'A', 'A', 'C'};
  EXPECT_EQ(downs, codes);
  EXPECT_EQ(ups, codes);
  EXPECT_EQ(controlC, 2);  // the Control key in the command role
  // Control-C types nothing, nor do arrows and F8.
  EXPECT_EQ(units, (std::vector<int>{0x0D, 0x09, 0x1B, 'a', 'A', 0x44F, 0xD83D, 0xDE00}));
  user.finish();
  nswnd_destroy(r.wnd);
}

TEST(Input, WhileASheetIsUpTheParentLosesOnlyLeftClicksAndMoves) {
  requireDisplay();
  cRecorder parent, sheet;
  parent.wnd = nswnd_create_wnd(cRecorder::proc, &parent, "Parent", 600, 400, false, 0, 0);
  sheet.wnd = nswnd_create_wnd(cRecorder::proc, &sheet, "Sheet", 100, 60, false, -1, -1);
  Window parentXid = xidOf(parent.wnd);
  cUser user([parentXid](cPeer& p) {
    p.click(20, 20);  // the parent's corner, far from the centred sheet
    p.moveTo(40, 30);
    p.click(60, 50, 3);
    p.click(60, 50, 5);
    XSetInputFocus(p.d, parentXid, RevertToParent, CurrentTime);
    p.key(XK_k);
  });
  sheet.hook = [&](const sEvent& e) {
    if (e.code == nsweFocus) user.start(sheet.wnd);
    if (e.code == nsweWakeUp) nswnd_modal_result(sheet.wnd, 3);
    return 0;
  };
  parent.hook = [&](const sEvent& e) {
    if (e.code == nsweWakeUp) {
      nswnd_modal_result(parent.wnd, nswnd_modal(sheet.wnd, parent.wnd));
    }
    return 0;
  };
  cWatchdog dog(parent), dogSheet(sheet);
  nswnd_notify_action(parent.wnd);
  ASSERT_EQ(nswnd_modal(parent.wnd, nullptr), 3);

  EXPECT_TRUE(parent.only(nsweMouseMove).empty());
  std::vector<std::vector<int>> buttons;
  for (const sEvent& e : parent.only(nsweMouseBtn)) buttons.push_back({e.a, e.b, e.c, e.d});
  EXPECT_EQ(buttons, (std::vector<std::vector<int>>{{1, 2, 60, 50}, {0, 2, 60, 50}}));
  ASSERT_EQ(parent.only(nsweWheel).size(), 1u);
  EXPECT_EQ(parent.only(nsweWheel)[0].d, 1);
  bool key = false;
  for (const sEvent& e : parent.only(nsweKey)) key = key || (e.a == 'K' && e.b);
  EXPECT_TRUE(key);
  EXPECT_TRUE(sheet.only(nsweMouseBtn).empty());
  user.finish();
  for (cRecorder* r : {&parent, &sheet}) nswnd_destroy(r->wnd);
}

TEST(Input, APressThatEndsTheLoopGetsNoRelease) {
  requireDisplay();
  cRecorder r;
  r.wnd = nswnd_create_wnd(cRecorder::proc, &r, "Press", 200, 100, false, 0, 0);
  cUser user([](cPeer& p) { p.click(30, 30); });
  r.hook = [&](const sEvent& e) {
    if (e.code == nsweFocus) user.start(r.wnd);
    if (e.code == nsweMouseBtn && e.a == 1) nswnd_modal_result(r.wnd, 6);
    return 0;
  };
  cWatchdog dog(r);
  ASSERT_EQ(nswnd_modal(r.wnd, nullptr), 6);
  ASSERT_EQ(r.only(nsweMouseBtn).size(), 1u);
  EXPECT_EQ(r.only(nsweMouseBtn)[0].c, 30);
  user.finish();
  nswnd_destroy(r.wnd);
}

TEST(Input, APressOutsideTheCaptureWindowArrivesThereAsAClickOut) {
  requireDisplay();
  cRecorder main, popup;
  main.wnd = nswnd_create_wnd(cRecorder::proc, &main, "Main", 300, 200, false, 100, 100);
  popup.wnd = nswnd_create_popup(cRecorder::proc, &popup, 600, 500, 80, 60);
  cUser user([](cPeer& p) {
    p.click(900, 900);  // on no window at all
    p.click(610, 520);  // inside the pop-up
  });
  main.hook = [&](const sEvent& e) {
    if (e.code == nsweFocus && !captured()) {
      nswnd_show_floating(popup.wnd);
      EXPECT_TRUE(nswnd_capture_mouse(popup.wnd));
    }
    if (e.code == nsweWakeUp) nswnd_modal_result(main.wnd, 1);
    return 0;
  };
  popup.hook = [&](const sEvent& e) {
    if (e.code == nswePaint) user.start(main.wnd);
    return 0;
  };
  cWatchdog dog(main);
  ASSERT_EQ(nswnd_modal(main.wnd, nullptr), 1);
  std::vector<std::vector<int>> buttons;
  for (const sEvent& e : popup.only(nsweMouseBtn)) buttons.push_back({e.a, e.b, e.c, e.d});
  EXPECT_EQ(buttons, (std::vector<std::vector<int>>{{1, 1, -1, -1}, {1, 1, 10, 20}, {0, 1, 10, 20}}));
  EXPECT_EQ(captured(), popup.wnd);
  user.finish();
  nswnd_destroy(popup.wnd);
  EXPECT_EQ(captured(), nullptr);
  nswnd_destroy(main.wnd);
}
