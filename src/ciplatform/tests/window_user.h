// The user of the real-window tests: a second X connection that finds the
// program's windows by caption and sends them keys, clicks and close
// requests, and reads their pixels back.
#pragma once

#include "nslib/tests/x11_driver.h"
// The driver header brings gtest and Xlib in the order they need.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "ciom/customform.h"
#include "window_fixtures.h"

// One user at a second connection; every wait has a deadline, past which
// the test process ends rather than hang.
class cUser {
 public:
  nstest::cPeer peer;

  Window find(const std::string& caption) {
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(15);
    while (std::chrono::steady_clock::now() < end) {
      if (Window w = captioned(peer, caption)) return w;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    std::fprintf(stderr, "no window \"%s\" appeared\n", caption.c_str());
    std::abort();
  }
  // A box over a form: its own window, which is transient for the form's;
  // a window of the same caption that is not a box (a form of that name)
  // would lose a key sent to it.
  Window findBox(const std::string& caption) {
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(15);
    while (std::chrono::steady_clock::now() < end) {
      for (Window w : shownWindows(peer)) {
        Window owner = 0;
        if (peer.property(w, "_NET_WM_NAME") == caption && XGetTransientForHint(peer.d, w, &owner) && owner)
          return w;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    std::fprintf(stderr, "no box \"%s\" appeared\n", caption.c_str());
    std::abort();
  }
  bool shown(const std::string& caption) { return captioned(peer, caption) != 0; }
  std::vector<Window> popups() { return ::popups(peer); }
  void key(Window w, KeySym sym, unsigned int state = 0) {
    for (int type : {KeyPress, KeyRelease}) {
      XEvent ev{};
      ev.xkey.type = type;
      ev.xkey.display = peer.d;
      ev.xkey.window = w;
      ev.xkey.root = peer.root();
      ev.xkey.state = state;
      ev.xkey.keycode = XKeysymToKeycode(peer.d, sym);
      ev.xkey.same_screen = True;
      XSendEvent(peer.d, w, True, type == KeyPress ? KeyPressMask : KeyReleaseMask, &ev);
    }
    XFlush(peer.d);
  }
  void closeBox(Window w) { peer.closeBox(w); }
  void motion(Window w, int x, int y) {
    XEvent ev{};
    ev.xmotion.type = MotionNotify;
    ev.xmotion.display = peer.d;
    ev.xmotion.window = w;
    ev.xmotion.root = peer.root();
    ev.xmotion.x = x;
    ev.xmotion.y = y;
    ev.xmotion.same_screen = True;
    XSendEvent(peer.d, w, True, PointerMotionMask, &ev);
    XFlush(peer.d);
  }
  // The window's pixels as a PNG file.
  bool screenshot(Window w, const std::string& path) {
    XWindowAttributes a;
    return XGetWindowAttributes(peer.d, w, &a) && writeScreenPng(peer.d, w, 0, 0, a.width, a.height, path);
  }
  static void pause(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }
  // Polls `done` for up to `limit`.
  static bool waitFor(const std::function<bool()>& done,
                      std::chrono::milliseconds limit = std::chrono::seconds(15)) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!done()) {
      if (std::chrono::steady_clock::now() > end) return false;
      pause(10);
    }
    return true;
  }
  // Whether w's caption became `caption`: the program sets it after what
  // it drew before, so the screen then shows that too.
  bool waitCaption(Window w, const std::string& caption) {
    return waitFor([&] { return peer.property(w, "_NET_WM_NAME") == caption; });
  }
};

// The newest pop-up on the screen, once there is one; 0 when none came.
inline Window waitForPopup(nstest::cPeer& peer) {
  Window found = 0;
  cUser::waitFor([&] {
    std::vector<Window> now = popups(peer);
    if (!now.empty()) found = now.back();
    return found != 0;
  });
  return found;
}

// Where a window's content starts on the screen; the pointer is put over
// its middle, which gives it the keys without a window manager.
inline void pointAtMiddle(nstest::cPeer& peer, Window w, int& x, int& y) {
  XWindowAttributes a;
  XGetWindowAttributes(peer.d, w, &a);
  Window child;
  XTranslateCoordinates(peer.d, w, peer.root(), 0, 0, &x, &y, &child);
  peer.moveTo(x + a.width / 2, y + a.height / 2);
}

// A form that runs `job` once it is live and ends with 1 when it answers
// true, 2 otherwise.
class cHostForm : public cCustomForm {
 public:
  std::function<bool(cChildElement*)> job;
  bool onAfterConstruct() override {
    end_modal(job(this) ? 1 : 2);
    return true;
  }
};

inline int hostRun(sToolkitMaker& m, const char* caption, std::function<bool(cChildElement*)> job) {
  auto* host = new cHostForm;
  host->job = std::move(job);
  return m.maker.modal(caption, 600, 500, host, nullptr, false);
}
