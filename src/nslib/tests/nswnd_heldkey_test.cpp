// A key held down repeats: into the window that heard its press, and into no
// other one that takes the focus while it is still down (the next box would
// otherwise be answered by the key that closed the one before).
#include "x11_driver.h"

using namespace nstest;

namespace {

TEST(HeldKey, RepeatsOnlyInTheWindowThatHeardItsPress) {
  requireDisplay();
  const struct {
    const char* name;
    bool pressedInEarlierWindow;
    bool repeatsArrive;
  } cases[] = {{"held in the window", false, true}, {"held since the window before", true, false}};
  const int escapeCode = nswnd_key_code(XK_Escape);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    cPeer user;
    const KeyCode escape = XKeysymToKeycode(user.d, XK_Escape);
    if (c.pressedInEarlierWindow) {
      // The box ends on the press; the key stays down as its window goes.
      cRecorder box;
      box.wnd = nswnd_create_wnd(cRecorder::proc, &box, "Box", 120, 60, false, 0, 0);
      box.hook = [&](const sEvent& e) {
        if (e.code == nsweFocus) {
          XTestFakeKeyEvent(user.d, escape, True, 0);
          XSync(user.d, False);
        }
        if (e.code == nsweKey && e.b) nswnd_modal_result(box.wnd, 1);
        return 0;
      };
      cWatchdog dog(box);
      ASSERT_EQ(nswnd_modal(box.wnd, nullptr), 1);
      nswnd_destroy(box.wnd);
    }
    cRecorder form;
    form.wnd = nswnd_create_wnd(cRecorder::proc, &form, "Form", 200, 100, false, 0, 0);
    std::thread held;
    form.hook = [&](const sEvent& e) {
      if (e.code == nsweFocus && !held.joinable())
        held = std::thread([&] {
          if (!c.pressedInEarlierWindow) XTestFakeKeyEvent(user.d, escape, True, 0);
          XSync(user.d, False);
          // Longer than the server's delay before it repeats a key.
          std::this_thread::sleep_for(std::chrono::milliseconds(1200));
          XTestFakeKeyEvent(user.d, escape, False, 0);
          XSync(user.d, False);
          user.key(XK_Escape);
          user.key(XK_k);
        });
      if (e.code == nsweKey && e.b && e.a == 'K') nswnd_modal_result(form.wnd, 2);
      return 0;
    };
    cWatchdog dog(form);
    EXPECT_EQ(nswnd_modal(form.wnd, nullptr), 2);
    if (held.joinable()) held.join();
    int escapes = 0;
    for (const sEvent& e : form.only(nsweKey)) escapes += e.a == escapeCode && e.b;
    // The press after the release always counts.
    if (c.repeatsArrive)
      EXPECT_GE(escapes, 3);
    else
      EXPECT_EQ(escapes, 1);
    nswnd_destroy(form.wnd);
  }
}

}  // namespace
