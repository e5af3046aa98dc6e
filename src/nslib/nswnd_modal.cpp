// The one event loop of the program: a window's modal loop, its sheets
// nested inside it, and the dispatch of every X event to its window.
#include <X11/Xatom.h>

#include "nslib/nswnd_internal.h"

namespace {

Atom stateAtom() { return gLayer->atoms.netWmState; }

int takeResult(cNSWndWrapper* w) {
  const int rc = w->myModalEnded ? w->myModalRC : 0;
  w->myModalRC = kNSModalRunning;
  w->myModalEnded = false;
  return rc;
}

void present(cNSWndWrapper* w) {
  w->focusOnMap = true;
  if (w->mapped) nswnd_focus(w);
  XMapRaised(gLayer->app.display, w->xid);
  nswnd_invalidate_view(w, 0, 0, 0, 0);
}

// Nothing waits in the queue, wake-ups of actions posted so far included.
bool idle() {
  XSync(gLayer->app.display, False);
  return XPending(gLayer->app.display) == 0;
}

// Runs events until the window's result changes or the window goes.
void runLoop(cNSWndWrapper* w) {
  while (!w->myModalEnded && !w->dead) {
    if (w->showWhenIdle && idle()) {
      w->showWhenIdle = false;
      present(w);
    }
    XEvent ev;
    nswnd_next_event(&ev);
    proccessEventProc(&ev);
  }
}

// A dialog over its parent: transient for it, modal, centred on it.
void makeSheetOf(cNSWndWrapper* w, cNSWndWrapper* parent) {
  Display* d = gLayer->app.display;
  XSetTransientForHint(d, w->xid, parent->xid);
  Atom modal = gLayer->atoms.netWmStateModal;
  XChangeProperty(d, w->xid, stateAtom(), XA_ATOM, 32, PropModeReplace,
                  reinterpret_cast<unsigned char*>(&modal), 1);
  int px, py, pw, ph;
  nswnd_getpossize(parent, &px, &py, &pw, &ph);
  // Centred on the parent's frame, whose left edge is left of its content
  // by as much as the width above counts.
  long parentFrame[4];
  nswnd_frame_known(parent, parentFrame);
  int x = px - static_cast<int>(parentFrame[0]) + (pw - w->width) / 2;
  int y = py + (parent->height - w->height) / 2;
  // Its size was fitted to the work area when it was made; it takes the
  // frame of the window it stands over.
  int width = w->width, height = w->height;
  long frame[4];
  nswnd_frame_guess(w, parent, frame);
  nswnd_fit_work_area(frame, &x, &y, &width, &height);
  XMoveWindow(d, w->xid, x, y);
}

// A window that only holds boxes up waits for its loop to show it.
void show(cNSWndWrapper* w) {
  if (w->hideUnderSheets)
    w->showWhenIdle = true;
  else
    present(w);
}

bool hasFocus(cNSWndWrapper* w) {
  Window focus;
  int revert;
  XGetInputFocus(gLayer->app.display, &focus, &revert);
  return focus == w->xid;
}

}  // namespace

int nswnd_modal(cNSWndWrapper* wnd, cNSWndWrapper* parent) {
  if (!wnd || !wnd->myEventCbProc) return 0;
  nswnd_pin(wnd);
  if (!parent) {
    show(wnd);
    nswnd_refresh_header(wnd);
    runLoop(wnd);
    int rc = takeResult(wnd);
    nswnd_unpin(wnd);
    return rc;
  }

  nswnd_pin(parent);
  if (wnd->myPosFixed)
    show(wnd);
  else
    makeSheetOf(wnd, parent);
  if (gMouseCapture == parent) nswnd_cancel_capture(parent);
  // Placed over the parent first, which then leaves the screen to it.
  const bool hideParent = parent->hideUnderSheets && !wnd->myPosFixed;
  if (hideParent && !parent->showWhenIdle) XUnmapWindow(gLayer->app.display, parent->xid);
  if (!wnd->myPosFixed) show(wnd);
  nswnd_refresh_header(wnd);
  parent->myModalChild = wnd;

  runLoop(wnd);

  if (!parent->dead) parent->myModalChild = nullptr;
  if (hideParent && !parent->dead) parent->showWhenIdle = true;
  bool wasKey = !wnd->dead && hasFocus(wnd);
  if (!wnd->dead) XUnmapWindow(gLayer->app.display, wnd->xid);
  if (wasKey && !parent->dead) nswnd_focus(parent);
  int rc = takeResult(wnd);
  XFlush(gLayer->app.display);
  nswnd_unpin(parent);
  nswnd_unpin(wnd);
  return rc;
}

void nswnd_hide_under_sheets(cNSWndWrapper* wnd) {
  if (wnd) wnd->hideUnderSheets = true;
}

void nswnd_msgloop() {
  nswnd_init();
  if (!gLayer) return;
  Display* d = gLayer->app.display;
  XSync(d, False);
  while (XPending(d)) {
    XEvent ev;
    XNextEvent(d, &ev);
    proccessEventProc(&ev);
  }
}

void proccessEventProc(XEvent* ev) {
  if (!gLayer || !ev) return;
  if (nswnd_workarea_event(*ev) || nswnd_clip_event(ev)) return;
  if (ev->type == MappingNotify) {
    // Key symbols are looked up in Xlib's copy of the keyboard map.
    XRefreshKeyboardMapping(&ev->xmapping);
    return;
  }
  if (XFilterEvent(ev, None)) return;
  cNSWndWrapper* w = nswnd_find(ev->xany.window);
  if (!w) return;  // a window that is gone, or never was ours
  if (ev->type == ClientMessage && ev->xclient.message_type == gLayer->atoms.wake) {
    unsigned long long serial = static_cast<unsigned long>(ev->xclient.data.l[0]) & 0xFFFFFFFFu;
    serial |=
        (static_cast<unsigned long long>(static_cast<unsigned long>(ev->xclient.data.l[1])) & 0xFFFFFFFFu)
        << 32;
    if (serial == w->serial) nswnd_send(w, nsweWakeUp, nullptr);
    return;
  }
  nswnd_translate(w, ev);
}
