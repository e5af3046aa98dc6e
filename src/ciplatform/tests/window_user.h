// The user of the real-window tests: a second X connection, used from its
// own thread, that finds windows by caption and sends them keys, close
// requests and pointer moves through the server.
#pragma once

#include "nslib/tests/x11_driver.h"
// The driver header brings gtest and Xlib in the order they need.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "window_fixtures.h"

// One user at a second connection; every wait has a deadline, past which
// the test process ends rather than hang.
class cUser {
 public:
  nstest::cPeer peer;

  Window find(const std::string& caption) {
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(15);
    while (std::chrono::steady_clock::now() < end) {
      if (Window w = lookup(caption)) return w;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    std::fprintf(stderr, "no window \"%s\" appeared\n", caption.c_str());
    std::abort();
  }
  bool shown(const std::string& caption) { return lookup(caption) != 0; }
  // The viewable override-redirect windows (pop-ups) on the screen.
  std::vector<Window> popups() {
    std::vector<Window> out;
    eachChild([&](Window w) {
      XWindowAttributes a;
      if (XGetWindowAttributes(peer.d, w, &a) && a.map_state == IsViewable && a.override_redirect) out.push_back(w);
    });
    return out;
  }
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

 private:
  // The top-level windows from the bottom of the stack to the top.
  template <typename F>
  void eachChild(F f) {
    Window root, parent, *kids = nullptr;
    unsigned int n = 0;
    if (XQueryTree(peer.d, peer.root(), &root, &parent, &kids, &n) && kids)
      for (unsigned int i = 0; i < n; ++i) f(kids[i]);
    if (kids) XFree(kids);
  }
  // The topmost match: a sheet lends its caption to the window below it.
  Window lookup(const std::string& caption) {
    Window found = 0;
    eachChild([&](Window w) {
      XWindowAttributes a;
      if (XGetWindowAttributes(peer.d, w, &a) && a.map_state == IsViewable &&
          peer.property(w, "_NET_WM_NAME") == caption)
        found = w;
    });
    return found;
  }
};
