// What the window layer's files share: the window record, the layer's atoms
// and window table, and the event translation entry points.
#pragma once

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <string>
#include <unordered_map>
#include <vector>

#include "nslib/nswnd.h"

struct cNSWndWrapper {
  Window xid = 0;
  // Stamps wake-ups, so one meant for a destroyed window is never taken for
  // a later window that got the same X id.
  unsigned long long serial = 0;
  nswnd_event_proc myEventCbProc = nullptr;
  void* myEventCbParam = nullptr;
  int myHdrHeight = 0;
  // Whether the loop has a result is kept apart from the result itself, so
  // every int, the running marker's value included, can end a run.
  int myModalRC = kNSModalRunning;
  bool myModalEnded = false;
  cNSWndWrapper* myModalChild = nullptr;
  std::string myCaption;
  bool hasCaption = false;
  bool myPosFixed = false;
  Cursor myCursor = 0;

  int width = 0, height = 0;  // content size as last configured
  int minW = 0, minH = 0, maxW = 0, maxH = 0;
  bool resizable = false;
  bool mapped = false;
  // Sides sized to the room a guessed frame left, fitted again once the
  // real frame shows; and where the window was put when made.
  bool fillsGuessW = false, fillsGuessH = false;
  int placedX = 0, placedY = 0;
  bool focusOnMap = false;
  // A window that only holds boxes up, and whether its loop is to show it
  // once nothing waits.
  bool hideUnderSheets = false, showWhenIdle = false;
  XIC xic = nullptr;

  // Back buffer of the paints, kept while the size stays.
  Pixmap backBuffer = 0;
  int backW = 0, backH = 0;
  sNSWDrawable drawable{};
  bool exposePending = false;
  int exposeX0 = 0, exposeY0 = 0, exposeX1 = 0, exposeY1 = 0;
  bool dropRelease = false;  // the press was a click-out

  // Loops on the stack that still read this record; destruction waits.
  int pins = 0;
  bool dead = false;
};

struct sNSAtoms {
  Atom wmProtocols, wmDelete, netWmName, utf8String, netWmState, netWmStateModal, netWmStateMaxVert,
      netWmStateMaxHorz, netFrameExtents, netWorkarea, netWmStrut, netWmStrutPartial, wake, clipboard, targets, raw, incr,
      pasteData;
};

struct sNSLayer {
  cAppWrapper app{};
  sNSAtoms atoms{};
  Window clipWindow = 0;
  XIM im = nullptr;
  Cursor cursors[7] = {};
  unsigned long background = 0;
  std::unordered_map<Window, cNSWndWrapper*> windows;
  unsigned long long nextSerial = 1;
};

extern sNSLayer* gLayer;
extern cNSWndWrapper* gMouseCapture;

cNSWndWrapper* nswnd_find(Window xid);
void nswnd_pin(cNSWndWrapper* wnd);
void nswnd_unpin(cNSWndWrapper* wnd);
int nswnd_send(cNSWndWrapper* wnd, int code, void* record);
void nswnd_refresh_header(cNSWndWrapper* wnd);
void nswnd_show_title(cNSWndWrapper* wnd, const std::string& title);
// The frame (left, right, top, bottom) the manager gives or will give a
// window: its own once said, else its parent's, else that of another of our
// windows, else a title bar and borders while a manager runs; 0 without one.
// False when it is only guessed so.
bool nswnd_frame_guess(cNSWndWrapper* wnd, cNSWndWrapper* parent, long ext[4]);
// The frame the manager said it drew or that was measured; all 0, and
// false, while neither is known.
bool nswnd_frame_known(cNSWndWrapper* wnd, long ext[4]);
// A newly mapped window sized by a guessed frame takes the room its real
// frame leaves.
void nswnd_refit_mapped(cNSWndWrapper* w);
// A window's place and size moved and cut so that it lies, with its frame,
// inside the work area.
void nswnd_fit_work_area(const long frame[4], int* x, int* y, int* width, int* height);

// Up to `most` 32-bit cardinals of a window's property; empty when it is
// missing or of another kind.
std::vector<long> nswnd_cardinals(Window w, Atom prop, long most);

// The work area's watch of the root's children: `event` notes what an event
// tells of them and is true when nothing else wants it; `mask` is what the
// watch asks of a window, which whoever else selects on it must keep.
bool nswnd_workarea_event(const XEvent& event);
long nswnd_workarea_mask(Window w);

// Event translation of one X event for its window.
void nswnd_translate(cNSWndWrapper* wnd, XEvent* event);
// While the main thread waits (a paste), its windows repaint what was
// uncovered; nothing else is taken, so input waits in order.
void nswnd_serve_exposures();
// Clipboard traffic: events of the layer's own window and of the windows
// that take a value from us in pieces. False for any other event.
bool nswnd_clip_event(XEvent* event);
// The next X event for the loops; while values go out in pieces, the wait
// wakes by itself to give up readers that stopped asking.
void nswnd_next_event(XEvent* event);
