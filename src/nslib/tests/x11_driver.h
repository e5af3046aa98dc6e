// Test helpers for the window layer: a recorder of window events, a second
// X connection that plays the user (XTest) or another program, and a
// deadline on every wait so that a lost event fails a test instead of
// hanging it.
#pragma once

// gtest comes first: Xlib defines macros (None, Bool) that clash with it.
#include <gtest/gtest.h>
// clang-format off
#include <X11/Xlib.h>
#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>
#include <X11/extensions/XTest.h>
// clang-format on

#include <atomic>
#include <chrono>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "nslib/nswnd.h"

namespace nstest {

constexpr int kTimedOut = -77;

struct sEvent {
  int code;
  int a = 0, b = 0, c = 0, d = 0;  // the record's first fields
  int mods = 0;                    // shift | command << 1 | control << 2 | option << 3
};

// Records what a window hears; `hook` may act on each event, and a wake-up
// after the deadline ends the window's loop with kTimedOut.
struct cRecorder {
  cNSWndWrapper* wnd = nullptr;
  std::vector<sEvent> events;
  std::function<int(const sEvent&)> hook;
  std::atomic<bool> expired{false};
  int closeAnswer = 0;

  template <typename R>
  static int mods(const R* r) {
    return r->shift | r->command << 1 | r->control << 2 | r->option << 3;
  }

  static int proc(int code, void* record, void* param) {
    auto* self = static_cast<cRecorder*>(param);
    sEvent e{code};
    if (code == nsweMouseBtn) {
      auto* r = static_cast<sNSWMouseBtn*>(record);
      e = {code, r->down, r->button, r->x, r->y, mods(r)};
    } else if (code == nsweMouseMove) {
      auto* r = static_cast<sNSWMouseMove*>(record);
      e = {code, r->x, r->y, r->left, r->right, mods(r)};
    } else if (code == nsweWheel) {
      auto* r = static_cast<sNSWWheel*>(record);
      e = {code, r->x, r->y, r->dx, r->dy, mods(r)};
    } else if (code == nsweKey) {
      auto* r = static_cast<sNSWKey*>(record);
      e = {code, r->key, r->down, 0, 0, mods(r)};
    } else if (code == nsweChar) {
      auto* r = static_cast<sNSWChar*>(record);
      e = {code, r->unit, 0, 0, 0, r->shift | r->option << 3};
    } else if (code == nswePaint) {
      auto* r = static_cast<sNSWPaint*>(record);
      e = {code, r->x, r->y, r->width, r->height};
    } else if (code == nsweSize) {
      e = {code, static_cast<sNSWSize*>(record)->width, static_cast<sNSWSize*>(record)->height};
    }
    self->events.push_back(e);
    if (code == nsweWakeUp && self->expired) {
      nswnd_modal_result(self->wnd, kTimedOut);
      return 0;
    }
    int answer = self->hook ? self->hook(e) : 0;
    return code == nsweClose ? self->closeAnswer : answer;
  }

  std::vector<sEvent> only(int code) const {
    std::vector<sEvent> out;
    for (const sEvent& e : events)
      if (e.code == code) out.push_back(e);
    return out;
  }
};

// Calls `expire` once, on its own thread, when the deadline passes first.
class cDeadline {
 public:
  explicit cDeadline(std::function<void()> expire, std::chrono::milliseconds limit = std::chrono::seconds(10))
      : thread_([this, expire, limit] {
          auto end = std::chrono::steady_clock::now() + limit;
          while (!done_ && std::chrono::steady_clock::now() < end)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
          if (!done_) expire();
        }) {}
  ~cDeadline() {
    done_ = true;
    thread_.join();
  }

 private:
  std::atomic<bool> done_{false};
  std::thread thread_;
};

// Ends a window's loop with kTimedOut when it runs past its deadline.
struct cWatchdog : cDeadline {
  explicit cWatchdog(cRecorder& rec)
      : cDeadline([&rec] {
          rec.expired = true;
          nswnd_notify_action(rec.wnd);
        }) {}
};

// A second connection: the user at the keyboard and mouse, or another
// program on the same display.
struct cPeer {
  Display* d = XOpenDisplay(nullptr);
  cPeer() {}
  ~cPeer() {
    if (d) XCloseDisplay(d);
  }
  Window root() const { return DefaultRootWindow(d); }

  void key(KeySym sym, unsigned modSym = 0) {
    KeyCode mod = modSym ? XKeysymToKeycode(d, modSym) : 0;
    KeyCode k = XKeysymToKeycode(d, sym);
    if (mod) XTestFakeKeyEvent(d, mod, True, 0);
    XTestFakeKeyEvent(d, k, True, 0);
    XTestFakeKeyEvent(d, k, False, 0);
    if (mod) XTestFakeKeyEvent(d, mod, False, 0);
    XSync(d, False);
  }
  // Gives a free key code the symbol; type it with typeCode.
  KeyCode mapSpare(KeySym sym) {
    int lo, hi;
    XDisplayKeycodes(d, &lo, &hi);
    int per;
    KeySym* map = XGetKeyboardMapping(d, static_cast<KeyCode>(lo), hi - lo + 1, &per);
    int spare = 0;
    for (int k = hi; k >= lo && !spare; --k) {
      bool empty = true;
      for (int i = 0; i < per; ++i) empty = empty && map[(k - lo) * per + i] == NoSymbol;
      if (empty) spare = k;
    }
    XFree(map);
    KeySym syms[2] = {sym, sym};
    if (spare) XChangeKeyboardMapping(d, spare, 2, syms, 1);
    XSync(d, False);
    return static_cast<KeyCode>(spare);
  }
  void typeCode(KeyCode code) {
    XTestFakeKeyEvent(d, code, True, 0);
    XTestFakeKeyEvent(d, code, False, 0);
    XSync(d, False);
  }
  // The window manager's close request, as the close box sends it.
  void closeBox(Window w) {
    XEvent ev{};
    ev.xclient.type = ClientMessage;
    ev.xclient.window = w;
    ev.xclient.message_type = XInternAtom(d, "WM_PROTOCOLS", False);
    ev.xclient.format = 32;
    ev.xclient.data.l[0] = static_cast<long>(XInternAtom(d, "WM_DELETE_WINDOW", False));
    XSendEvent(d, w, False, NoEventMask, &ev);
    // Once handled, the press sits in the window's stream ahead of anything
    // its program asks of the server after this returns.
    XSync(d, False);
  }
  void moveTo(int x, int y) {
    XTestFakeMotionEvent(d, -1, x, y, 0);
    XSync(d, False);
  }
  void click(int x, int y, unsigned button = 1) {
    moveTo(x, y);
    XTestFakeButtonEvent(d, button, True, 0);
    XTestFakeButtonEvent(d, button, False, 0);
    XSync(d, False);
  }
  std::string property(Window w, const char* name) {
    Atom type;
    int format;
    unsigned long count, after;
    unsigned char* data = nullptr;
    std::string out;
    if (XGetWindowProperty(d, w, XInternAtom(d, name, False), 0, 1 << 16, False, AnyPropertyType, &type,
                           &format, &count, &after, &data) == Success &&
        data) {
      out.assign(reinterpret_cast<char*>(data), count * static_cast<unsigned>(format / 8));
      if (format == 32) out.assign(reinterpret_cast<char*>(data), count * sizeof(long));
    }
    if (data) XFree(data);
    return out;
  }
};

// The X window of a handle, found as the focus or by title is too fragile;
// the layer gives it through its drawable.
inline Window xidOf(cNSWndWrapper* w) { return nswnd_cgctx(w)->drawable; }

// Pumps the layer's events until `done` holds or the deadline passes.
inline bool pumpUntil(const std::function<bool()>& done,
                      std::chrono::milliseconds limit = std::chrono::seconds(5)) {
  auto end = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    nswnd_msgloop();
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

inline void requireDisplay() {
  nswnd_init();
  ASSERT_NE(nsapp(), nullptr) << "these tests need an X display (./test starts Xvfb)";
}

}  // namespace nstest
