// X events become the window callback's event codes and records: modal
// filtering, the click-out of the capture window, left-button tracking,
// keys with their characters, paints through a back buffer, size and focus.
#include <X11/keysym.h>
#include <poll.h>

#include <algorithm>
#include <vector>

#include "base/textconv.h"
#include "nslib/nswnd_internal.h"

namespace {

struct sMods {
  uint8_t shift, command, control, option;
};

sMods modsOf(unsigned state) {
  return {static_cast<uint8_t>((state & ShiftMask) != 0), static_cast<uint8_t>((state & ControlMask) != 0),
          static_cast<uint8_t>((state & Mod4Mask) != 0), static_cast<uint8_t>((state & Mod1Mask) != 0)};
}

// While a window has a modal child, the innermost modal window decides for
// all under it: left presses, releases and every move are dropped, so the
// parent cannot be clicked or hovered; right clicks, the wheel and keys pass.
bool droppedForModal(cNSWndWrapper* w, const XEvent* ev) {
  if (!w->myModalChild) return false;
  switch (ev->type) {
    case ButtonPress:
    case ButtonRelease:
      return ev->xbutton.button == Button1;
    case MotionNotify:
      return true;
    default:
      return false;
  }
}

bool inside(const cNSWndWrapper* w, int x, int y) {
  return x >= 0 && y >= 0 && x < w->width && y < w->height;
}

void sendButton(cNSWndWrapper* w, bool down, int button, int x, int y, unsigned state) {
  sMods m = modsOf(state);
  sNSWMouseBtn rec{down ? 1 : 0, button, x, y, m.shift, m.command, m.control, m.option};
  nswnd_send(w, nsweMouseBtn, &rec);
}

// After a left press the pointer is followed until its release, in a loop
// of its own; a press that ended the window's modal loop gets no release.
void trackLeftButton(cNSWndWrapper* w) {
  nswnd_pin(w);
  while (!w->dead && !w->myModalEnded) {
    XEvent ev;
    nswnd_next_event(&ev);
    if (ev.type == ButtonRelease && ev.xbutton.button == Button1) {
      cNSWndWrapper* target = nswnd_find(ev.xbutton.window);
      if (target == w)
        sendButton(w, false, 1, ev.xbutton.x, ev.xbutton.y, ev.xbutton.state);
      else
        proccessEventProc(&ev);
      break;
    }
    proccessEventProc(&ev);
  }
  nswnd_unpin(w);
}

void onButtonPress(cNSWndWrapper* w, const XButtonEvent& b) {
  if (b.button == Button1) {
    sendButton(w, true, 1, b.x, b.y, b.state);
    trackLeftButton(w);
  } else if (b.button == Button3) {
    sendButton(w, true, 2, b.x, b.y, b.state);
  } else if (b.button >= 4 && b.button <= 7) {
    sMods m = modsOf(b.state);
    int dx = b.button == 6 ? -1 : b.button == 7 ? 1 : 0;
    int dy = b.button == 4 ? -1 : b.button == 5 ? 1 : 0;
    sNSWWheel rec{b.x, b.y, dx, dy, 0, m.shift, m.command, m.control, m.option};
    nswnd_send(w, nsweWheel, &rec);
  }
}

void onMotion(cNSWndWrapper* w, XEvent* ev) {
  // Only the latest position of a burst matters.
  while (XCheckTypedWindowEvent(gLayer->app.display, w->xid, MotionNotify, ev)) {
  }
  const XMotionEvent& m = ev->xmotion;
  sMods k = modsOf(m.state);
  sNSWMouseMove rec{m.x,
                    m.y,
                    static_cast<uint8_t>((m.state & Button1Mask) != 0),
                    static_cast<uint8_t>((m.state & Button3Mask) != 0),
                    k.shift,
                    k.command,
                    k.control,
                    k.option};
  nswnd_send(w, nsweMouseMove, &rec);
}

sNSWKey keyOf(XKeyEvent& k, bool down) {
  sMods m = modsOf(k.state);
  return {nswnd_key_code(XLookupKeysym(&k, 0)), static_cast<uint8_t>(down), m.shift, m.command, m.control, m.option};
}

void onKey(cNSWndWrapper* w, XKeyEvent& k, bool down) {
  sNSWKey rec = keyOf(k, down);
  sMods m = modsOf(k.state);
  nswnd_send(w, nsweKey, &rec);
  // Shortcuts with the Control or Super key type nothing.
  if (!down || m.command || m.control || !w->xic || w->dead) return;
  char text[64];
  KeySym sym;
  Status status;
  int n = Xutf8LookupString(w->xic, &k, text, sizeof text, &sym, &status);
  if (status != XLookupChars && status != XLookupBoth) return;
  if (n <= 0) return;
  unsigned short units[64];
  long long count = utf82w(text, n, units, 64, nullptr);
  nswnd_pin(w);
  for (long long i = 0; i < count && units[i] != 0 && !w->dead; ++i) {
    sNSWChar ch{units[i], m.shift, m.option};
    nswnd_send(w, nsweChar, &ch);
  }
  nswnd_unpin(w);
}

// One look through the queue from its head for an exposure of the window
// that comes before any notice of a new size.
struct sMergeScan {
  const cNSWndWrapper* w;
  bool resized;
};

Bool exposureBeforeResize(Display*, XEvent* e, XPointer arg) {
  auto* scan = reinterpret_cast<sMergeScan*>(arg);
  if (scan->resized || e->xany.window != scan->w->xid) return False;
  if (e->type == ConfigureNotify &&
      (e->xconfigure.width != scan->w->width || e->xconfigure.height != scan->w->height))
    scan->resized = true;
  return e->type == Expose ? True : False;
}

void onExpose(cNSWndWrapper* w, const XExposeEvent& e) {
  int x0 = e.x, y0 = e.y, x1 = e.x + e.width, y1 = e.y + e.height;
  if (w->exposePending) {
    x0 = std::min(x0, w->exposeX0);
    y0 = std::min(y0, w->exposeY0);
    x1 = std::max(x1, w->exposeX1);
    y1 = std::max(y1, w->exposeY1);
  }
  w->exposePending = true;
  w->exposeX0 = x0;
  w->exposeY0 = y0;
  w->exposeX1 = x1;
  w->exposeY1 = y1;
  if (e.count > 0) return;  // more of the same exposure follows
  w->exposePending = false;
  // Repaints asked for while the window was busy wait in the queue as
  // exposures of their own; one paint answers them all, or a window that
  // paints slowly would go on painting long after it was asked to. Those
  // behind a change of size are of a size the window has not heard of yet:
  // they wait for a paint of their own.
  XEvent more;
  sMergeScan scan{w, false};
  while (XCheckIfEvent(gLayer->app.display, &more, exposureBeforeResize, reinterpret_cast<XPointer>(&scan))) {
    scan.resized = false;
    x0 = std::min(x0, more.xexpose.x);
    y0 = std::min(y0, more.xexpose.y);
    x1 = std::max(x1, more.xexpose.x + more.xexpose.width);
    y1 = std::max(y1, more.xexpose.y + more.xexpose.height);
  }
  x0 = std::max(x0, 0);
  y0 = std::max(y0, 0);
  x1 = std::min(x1, w->width);
  y1 = std::min(y1, w->height);
  if (x1 <= x0 || y1 <= y0) return;

  Display* d = gLayer->app.display;
  if (!w->backBuffer || w->backW != w->width || w->backH != w->height) {
    if (w->backBuffer) XFreePixmap(d, w->backBuffer);
    w->backBuffer =
        XCreatePixmap(d, w->xid, static_cast<unsigned>(w->width), static_cast<unsigned>(w->height),
                      static_cast<unsigned>(DefaultDepth(d, gLayer->app.screen)));
    w->backW = w->width;
    w->backH = w->height;
  }
  // The paint draws off-screen and the result is copied in one piece, so
  // the screen never shows a half-drawn window.
  // The copy comes from a whole pixmap: its notice of nothing to redraw
  // would only pile up in the queue while a wait takes exposures alone.
  XGCValues noNotice{};
  noNotice.graphics_exposures = False;
  GC gc = XCreateGC(d, w->backBuffer, GCGraphicsExposures, &noNotice);
  XSetForeground(d, gc, gLayer->background);
  XFillRectangle(d, w->backBuffer, gc, x0, y0, static_cast<unsigned>(x1 - x0),
                 static_cast<unsigned>(y1 - y0));
  sNSWDrawable target{d, w->backBuffer, DefaultVisual(d, gLayer->app.screen), w->width, w->height};
  sNSWPaint rec{&target, x0, y0, x1 - x0, y1 - y0};
  nswnd_pin(w);
  nswnd_send(w, nswePaint, &rec);
  if (!w->dead)
    XCopyArea(d, w->backBuffer, w->xid, gc, x0, y0, static_cast<unsigned>(x1 - x0),
              static_cast<unsigned>(y1 - y0), x0, y0);
  XFreeGC(d, gc);
  // Sent now, not at the loop's next wait: what runs first may hold the window.
  XFlush(d);
  nswnd_unpin(w);
}

void onConfigure(cNSWndWrapper* w, const XConfigureEvent& c) {
  if (c.width == w->width && c.height == w->height) return;
  w->width = c.width;
  w->height = c.height;
  w->drawable.width = c.width;
  w->drawable.height = c.height;
  sNSWSize rec{c.width, c.height};
  nswnd_send(w, nsweSize, &rec);
}

void onMap(cNSWndWrapper* w) {
  w->mapped = true;
  nswnd_refit_mapped(w);
  nswnd_refresh_header(w);
  if (w->focusOnMap) {
    w->focusOnMap = false;
    nswnd_focus(w);
  }
  if (gMouseCapture == w) nswnd_capture_mouse(w);
}

// The capture window hears of a press anywhere else as a left press at
// (-1, -1), so a pop-up closes when the user clicks away from it.
bool clickOut(cNSWndWrapper* w, const XButtonEvent& b) {
  cNSWndWrapper* cap = gMouseCapture;
  if (!cap || b.button > Button3) return false;
  bool outside = cap != w || !inside(cap, b.x, b.y);
  if (!outside) return false;
  sendButton(cap, true, 1, -1, -1, 0);
  // The press itself belongs to nobody when it fell outside every window.
  return cap == w;
}

}  // namespace

namespace {
int gWaits = 0;
}  // namespace

bool nswnd_waiting() { return gWaits > 0; }

void nswnd_serve_exposures() {
  Display* d = gLayer->app.display;
  ++gWaits;
  XEvent ev;
  // Only as many as were queued when the turn began: a window exposed again
  // as fast as it paints still gets back to the work its wait does.
  for (int left = XEventsQueued(d, QueuedAfterReading); left > 0 && XCheckTypedEvent(d, Expose, &ev); --left)
    if (cNSWndWrapper* w = nswnd_find(ev.xexpose.window)) onExpose(w, ev.xexpose);
  --gWaits;
}

namespace {

bool isCloseBox(const XEvent& e) {
  return e.type == ClientMessage && e.xclient.message_type == gLayer->atoms.wmProtocols &&
         static_cast<Atom>(e.xclient.data.l[0]) == gLayer->atoms.wmDelete;
}

// The window's keys, left buttons and close box that wait in the queue, in
// their order; nothing is taken.
struct sQueuedEnds {
  Window xid;
  bool closeBox = false;
  std::vector<XEvent> input;
};

Bool seeQueued(Display*, XEvent* e, XPointer arg) {
  auto* seen = reinterpret_cast<sQueuedEnds*>(arg);
  if (e->xany.window != seen->xid) return False;
  const bool left = (e->type == ButtonPress || e->type == ButtonRelease) && e->xbutton.button == Button1;
  if (e->type == KeyPress || left) seen->input.push_back(*e);
  if (isCloseBox(*e)) seen->closeBox = true;
  return False;
}

// Whether input waiting in the queue will end the window: its close box, or
// a key or a click the window itself says it ends on, asked as its handling
// sees them. A click is asked of at its release, with its press's place.
bool endQueued(cNSWndWrapper* w) {
  sQueuedEnds seen{w->xid, false, {}};
  XEvent ev;
  XCheckIfEvent(gLayer->app.display, &ev, seeQueued, reinterpret_cast<XPointer>(&seen));
  if (seen.closeBox) return true;
  const XButtonEvent* press = nullptr;
  for (XEvent& e : seen.input) {
    if (e.type == KeyPress) {
      sNSWKey rec = keyOf(e.xkey, true);
      if (nswnd_send(w, nsweKeyEnds, &rec) != 0) return true;
    } else if (e.type == ButtonPress) {
      press = &e.xbutton;
    } else {
      const XButtonEvent& r = e.xbutton;
      sNSWClick rec{press ? press->x : r.x, press ? press->y : r.y, r.x, r.y};
      press = nullptr;
      if (nswnd_send(w, nsweClickEnds, &rec) != 0) return true;
    }
  }
  return false;
}

}  // namespace

bool nswnd_wait(cNSWndWrapper* wnd, const std::function<bool()>& done) {
  Display* d = gLayer->app.display;
  for (;;) {
    nswnd_serve_exposures();
    if (done()) return true;
    if (endQueued(wnd)) return false;
    // What the slice changed is asked for now, not when the wait is over.
    nswnd_send(wnd, nsweRepaintsAsked, nullptr);
    // `done` may itself do a slice of the work waited for: a short look
    // for events, then back to it.
    pollfd p{ConnectionNumber(d), POLLIN, 0};
    poll(&p, 1, 1);
  }
}

void nswnd_translate(cNSWndWrapper* w, XEvent* ev) {
  if (ev->type == ButtonPress) {
    Window xid = w->xid;
    if (clickOut(w, ev->xbutton)) {
      if (cNSWndWrapper* still = nswnd_find(xid)) still->dropRelease = true;
      return;
    }
    w = nswnd_find(xid);  // the click-out may have closed it
    if (!w) return;
  }
  if (ev->type == ButtonRelease && w->dropRelease) {
    w->dropRelease = false;
    return;
  }
  if (droppedForModal(w, ev)) return;
  switch (ev->type) {
    case ButtonPress:
      onButtonPress(w, ev->xbutton);
      break;
    case ButtonRelease:
      if (ev->xbutton.button == Button1 || ev->xbutton.button == Button3)
        sendButton(w, false, ev->xbutton.button == Button1 ? 1 : 2, ev->xbutton.x, ev->xbutton.y,
                   ev->xbutton.state);
      break;
    case MotionNotify:
      onMotion(w, ev);
      break;
    case EnterNotify:
    case LeaveNotify:
      if (ev->xcrossing.mode == NotifyNormal)
        nswnd_send(w, ev->type == EnterNotify ? nsweEnter : nsweLeave, nullptr);
      break;
    case KeyPress:
    case KeyRelease:
      onKey(w, ev->xkey, ev->type == KeyPress);
      break;
    case Expose:
      onExpose(w, ev->xexpose);
      break;
    case ConfigureNotify:
      onConfigure(w, ev->xconfigure);
      break;
    case MapNotify:
      onMap(w);
      break;
    case UnmapNotify:
      w->mapped = false;
      break;
    case PropertyNotify:
      if (ev->xproperty.atom == gLayer->atoms.netFrameExtents) nswnd_refresh_header(w);
      break;
    case FocusIn:
    case FocusOut:
      if (ev->xfocus.detail == NotifyInferior || ev->xfocus.detail == NotifyPointer) break;
      if (w->xic) (ev->type == FocusIn ? XSetICFocus : XUnsetICFocus)(w->xic);
      nswnd_send(w, ev->type == FocusIn ? nsweFocus : nsweFocusLost, nullptr);
      break;
    case ClientMessage:
      if (isCloseBox(*ev)) {
        // The close box ends the loop with 0 only when the window agrees.
        if (nswnd_send(w, nsweClose, nullptr) == 0 && !w->dead) nswnd_modal_result(w, 0);
      }
      break;
    default:
      break;
  }
}
