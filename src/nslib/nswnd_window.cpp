// Windows over Xlib: the layer's start, creation and destruction, geometry,
// captions, pointer shapes and capture, and the cross-thread wake-up.
#include <X11/Xatom.h>
#include <X11/cursorfont.h>

#include <algorithm>
#include <cstring>

#include "nslib/nswnd_internal.h"

sNSLayer* gLayer = nullptr;
cNSWndWrapper* gMouseCapture = nullptr;

namespace {

// A request about a window that vanished meanwhile (a wake-up racing a
// close, a focus change on a window just unmapped) is harmless; Xlib's
// default handler would end the process for it.
int ignoreXError(Display*, XErrorEvent*) { return 0; }

Atom intern(Display* d, const char* name) { return XInternAtom(d, name, False); }

// A window that cannot be resized is held at `width` x `height`, its own
// size when 0.
void setNormalHints(cNSWndWrapper* w, int x, int y, bool placed, int width = 0, int height = 0) {
  XSizeHints hints{};
  if (placed) {
    hints.flags |= USPosition;
    hints.x = x;
    hints.y = y;
  }
  if (!w->resizable) {
    hints.flags |= PMinSize | PMaxSize;
    hints.min_width = hints.max_width = width > 0 ? width : w->width;
    hints.min_height = hints.max_height = height > 0 ? height : w->height;
  } else {
    if (w->minW > 0 || w->minH > 0) {
      hints.flags |= PMinSize;
      hints.min_width = w->minW;
      hints.min_height = w->minH;
    }
    if (w->maxW > 0 || w->maxH > 0) {
      hints.flags |= PMaxSize;
      hints.max_width = w->maxW > 0 ? w->maxW : 32767;
      hints.max_height = w->maxH > 0 ? w->maxH : 32767;
    }
  }
  XSetWMNormalHints(gLayer->app.display, w->xid, &hints);
}

// A manager that says nothing of its frame still shows it: once the window
// is mapped, the frame is what its top-level ancestor (the manager's frame
// window, or the window itself when nothing took it in) adds around it.
bool measuredFrame(cNSWndWrapper* w, long ext[4]) {
  if (!w->mapped || w->myPosFixed) return false;
  Display* d = gLayer->app.display;
  const Window root = RootWindow(d, gLayer->app.screen);
  Window top = w->xid, parent = None;
  // Managers nest a frame a level or two deep; a deeper chain is no frame
  // of theirs.
  for (int depth = 0; depth < 8 && parent != root; ++depth) {
    Window r, *kids = nullptr;
    unsigned n = 0;
    if (!XQueryTree(d, top, &r, &parent, &kids, &n)) return false;
    if (kids) XFree(kids);
    if (parent == None) return false;
    if (parent != root) top = parent;
  }
  if (parent != root) return false;
  Window r, child;
  int x = 0, y = 0, tx, ty, ox, oy;
  unsigned tw, th, ow, oh, border, depth;
  if (!XGetGeometry(d, top, &r, &tx, &ty, &tw, &th, &border, &depth) ||
      !XGetGeometry(d, w->xid, &r, &ox, &oy, &ow, &oh, &border, &depth) ||
      !XTranslateCoordinates(d, w->xid, top, 0, 0, &x, &y, &child))
    return false;
  const long sides[4] = {x, static_cast<long>(tw) - x - static_cast<long>(ow), y,
                         static_cast<long>(th) - y - static_cast<long>(oh)};
  for (int i = 0; i < 4; ++i) ext[i] = std::clamp(sides[i], 0L, 4096L);
  return true;
}

// The frame a window manager drew around the content: left, right, top,
// bottom; all 0, and false, until the manager has said or the window is
// mapped and the frame can be measured.
bool frameExtents(cNSWndWrapper* w, long ext[4]) {
  ext[0] = ext[1] = ext[2] = ext[3] = 0;
  const std::vector<long> said = nswnd_cardinals(w->xid, gLayer->atoms.netFrameExtents, 4);
  if (said.size() != 4) return measuredFrame(w, ext);
  for (int i = 0; i < 4; ++i) ext[i] = std::clamp(said[i], 0L, 4096L);
  return true;
}

// Only a window manager may redirect what the root's children ask for.
bool managerRuns() {
  Display* d = gLayer->app.display;
  XWindowAttributes a;
  return XGetWindowAttributes(d, RootWindow(d, gLayer->app.screen), &a) &&
         (a.all_event_masks & SubstructureRedirectMask);
}

// The room a frame leaves in the work area across and down; a frame that
// would leave none is not believed.
void frameRoom(const long frame[4], int aw, int ah, int* across, int* down) {
  *across = static_cast<int>(frame[0] + frame[1]);
  *down = static_cast<int>(frame[2] + frame[3]);
  if (aw - *across < 1 || ah - *down < 1) *across = *down = 0;
}

cNSWndWrapper* makeWindow(int x, int y, int width, int height, bool popup) {
  nswnd_init();
  if (!gLayer) return nullptr;
  Display* d = gLayer->app.display;
  if (width < 1 || height < 1 || width > 32767 || height > 32767) return nullptr;
  XSetWindowAttributes attrs{};
  attrs.background_pixmap = None;  // every pixel comes from the paint
  attrs.bit_gravity = NorthWestGravity;
  attrs.override_redirect = popup;
  attrs.save_under = popup;
  attrs.event_mask = ExposureMask | KeyPressMask | KeyReleaseMask | ButtonPressMask | ButtonReleaseMask |
                     PointerMotionMask | EnterWindowMask | LeaveWindowMask | StructureNotifyMask |
                     FocusChangeMask | PropertyChangeMask;
  Window xid =
      XCreateWindow(d, RootWindow(d, gLayer->app.screen), x, y, static_cast<unsigned>(width),
                    static_cast<unsigned>(height), 0, CopyFromParent, InputOutput, CopyFromParent,
                    CWBackPixmap | CWBitGravity | CWOverrideRedirect | CWSaveUnder | CWEventMask, &attrs);
  if (!xid) return nullptr;
  auto* w = new cNSWndWrapper;
  w->xid = xid;
  w->serial = gLayer->nextSerial++;
  w->width = width;
  w->height = height;
  w->myPosFixed = popup;
  w->drawable = {d, xid, DefaultVisual(d, gLayer->app.screen), width, height};
  if (gLayer->im)
    w->xic = XCreateIC(gLayer->im, XNInputStyle, XIMPreeditNothing | XIMStatusNothing, XNClientWindow, xid,
                       XNFocusWindow, xid, nullptr);
  gLayer->windows[xid] = w;
  return w;
}

void freeWindow(cNSWndWrapper* w) {
  Display* d = gLayer->app.display;
  if (w->backBuffer) XFreePixmap(d, w->backBuffer);
  delete w;
}

}  // namespace

void nswnd_init() {
  if (gLayer) return;
  // Job threads post wake-ups on the same connection.
  XInitThreads();
  Display* d = XOpenDisplay(nullptr);
  if (!d) return;
  XSetErrorHandler(ignoreXError);
  auto* layer = new sNSLayer;
  layer->app = {d, DefaultScreen(d)};
  sNSAtoms& a = layer->atoms;
  a.wmProtocols = intern(d, "WM_PROTOCOLS");
  a.wmDelete = intern(d, "WM_DELETE_WINDOW");
  a.netWmName = intern(d, "_NET_WM_NAME");
  a.utf8String = intern(d, "UTF8_STRING");
  a.netWmState = intern(d, "_NET_WM_STATE");
  a.netWmStateModal = intern(d, "_NET_WM_STATE_MODAL");
  a.netWmStateMaxVert = intern(d, "_NET_WM_STATE_MAXIMIZED_VERT");
  a.netWmStateMaxHorz = intern(d, "_NET_WM_STATE_MAXIMIZED_HORZ");
  a.netFrameExtents = intern(d, "_NET_FRAME_EXTENTS");
  a.netWorkarea = intern(d, "_NET_WORKAREA");
  a.netWmStrut = intern(d, "_NET_WM_STRUT");
  a.netWmStrutPartial = intern(d, "_NET_WM_STRUT_PARTIAL");
  a.wake = intern(d, "_ZVK_WAKE_UP");
  a.clipboard = intern(d, "CLIPBOARD");
  a.targets = intern(d, "TARGETS");
  a.raw = intern(d, "application/x-zvk-raw-bytes");
  a.incr = intern(d, "INCR");
  a.pasteData = intern(d, "_ZVK_CLIPBOARD_DATA");

  layer->clipWindow = XCreateWindow(d, RootWindow(d, layer->app.screen), -10, -10, 1, 1, 0, CopyFromParent,
                                    InputOnly, CopyFromParent, 0, nullptr);

  // The local input method turns key symbols into text in any locale.
  XSetLocaleModifiers("@im=none");
  layer->im = XOpenIM(d, nullptr, nullptr, nullptr);

  // The cursor font has no closed hand; the move cross stands for dragging.
  const unsigned shapes[7] = {XC_left_ptr,          XC_xterm, XC_crosshair, XC_hand2, XC_sb_h_double_arrow,
                              XC_sb_v_double_arrow, XC_fleur};
  for (int i = 0; i < 7; ++i) layer->cursors[i] = XCreateFontCursor(d, shapes[i]);

  XColor colour{};
  colour.red = static_cast<unsigned short>(0.8745 * 65535);
  colour.green = static_cast<unsigned short>(0.898 * 65535);
  colour.blue = static_cast<unsigned short>(0.953 * 65535);
  colour.flags = DoRed | DoGreen | DoBlue;
  layer->background = XAllocColor(d, DefaultColormap(d, layer->app.screen), &colour)
                          ? colour.pixel
                          : WhitePixel(d, layer->app.screen);
  gLayer = layer;
}

cAppWrapper* nsapp() {
  nswnd_init();
  return gLayer ? &gLayer->app : nullptr;
}

cNSWndWrapper* captured() { return gMouseCapture; }

cNSWndWrapper* nswnd_find(Window xid) {
  if (!gLayer) return nullptr;
  auto it = gLayer->windows.find(xid);
  return it == gLayer->windows.end() ? nullptr : it->second;
}

void nswnd_pin(cNSWndWrapper* wnd) { ++wnd->pins; }

void nswnd_unpin(cNSWndWrapper* wnd) {
  if (--wnd->pins == 0 && wnd->dead) freeWindow(wnd);
}

int nswnd_send(cNSWndWrapper* wnd, int code, void* record) {
  if (!wnd->myEventCbProc) return 0;
  return wnd->myEventCbProc(code, record, wnd->myEventCbParam);
}

cNSWndWrapper* nswnd_create_wnd(nswnd_event_proc proc, void* param, const char* caption, int width,
                                int height, bool resizable, int x, int y) {
  nswnd_init();
  if (!gLayer) return nullptr;
  long frame[4];
  const bool known = nswnd_frame_guess(nullptr, nullptr, frame);
  if (x == -1 && y == -1) {
    int ax, ay, aw, ah;
    nswnd_work_area(&ax, &ay, &aw, &ah);
    x = ax + (aw - width - static_cast<int>(frame[0] + frame[1])) / 2;
    y = ay + (ah - height - static_cast<int>(frame[2] + frame[3])) / 2;
  }
  // A window larger than the screen, or placed past its edge, would hide
  // its own buttons; it stays inside the work area, its frame included.
  nswnd_fit_work_area(frame, &x, &y, &width, &height);
  cNSWndWrapper* w = makeWindow(x, y, width, height, false);
  if (!w) return nullptr;
  // A side that takes all the room a guessed frame left was sized by the
  // guess, whether the caller asked for that room or more.
  int roomW = 32767, roomH = 32767, rx = x, ry = y;
  nswnd_fit_work_area(frame, &rx, &ry, &roomW, &roomH);
  w->fillsGuessW = !known && width == roomW;
  w->fillsGuessH = !known && height == roomH;
  w->placedX = x;
  w->placedY = y;
  Display* d = gLayer->app.display;
  w->resizable = resizable;
  setNormalHints(w, x, y, true);
  XSetWMProtocols(d, w->xid, &gLayer->atoms.wmDelete, 1);
  if (caption) nswnd_set_caption(w, caption);
  w->myEventCbProc = proc;
  w->myEventCbParam = param;
  return w;
}

cNSWndWrapper* nswnd_create_popup(nswnd_event_proc proc, void* param, int x, int y, int width, int height) {
  cNSWndWrapper* w = makeWindow(x, y, width, height, true);
  if (!w) return nullptr;
  w->myEventCbProc = proc;
  w->myEventCbParam = param;
  return w;
}

bool nswnd_destroy(cNSWndWrapper* wnd) {
  if (!wnd || !gLayer || wnd->dead) return false;
  if (gMouseCapture == wnd) nswnd_cancel_capture(wnd);
  wnd->myEventCbProc = nullptr;
  wnd->myEventCbParam = nullptr;
  for (auto& [xid, other] : gLayer->windows)
    if (other->myModalChild == wnd) other->myModalChild = nullptr;
  gLayer->windows.erase(wnd->xid);
  if (wnd->xic) XDestroyIC(wnd->xic);
  XDestroyWindow(gLayer->app.display, wnd->xid);
  XFlush(gLayer->app.display);
  wnd->dead = true;
  if (wnd->pins == 0) freeWindow(wnd);
  return true;
}

int nswnd_modal_result(cNSWndWrapper* wnd, int result) {
  if (!wnd) return 0;
  wnd->myModalRC = result;
  wnd->myModalEnded = true;
  return 0;
}

bool nswnd_show_floating(cNSWndWrapper* wnd) {
  if (!wnd || !wnd->myEventCbProc) return false;
  XMapRaised(gLayer->app.display, wnd->xid);
  nswnd_invalidate_view(wnd, 0, 0, 0, 0);
  nswnd_refresh_header(wnd);
  XFlush(gLayer->app.display);
  return true;
}

bool nswnd_capture_mouse(cNSWndWrapper* wnd) {
  if (!wnd || !gLayer) return false;
  gMouseCapture = wnd;
  // Presses in other windows come to the capture window; those of this
  // program's own windows still go to them. An unmapped window takes the
  // grab when it appears.
  if (wnd->mapped)
    XGrabPointer(gLayer->app.display, wnd->xid, True, ButtonPressMask | ButtonReleaseMask | PointerMotionMask,
                 GrabModeAsync, GrabModeAsync, None, None, CurrentTime);
  return true;
}

bool nswnd_cancel_capture(cNSWndWrapper* wnd) {
  if (!wnd || gMouseCapture != wnd) return false;
  gMouseCapture = nullptr;
  XUngrabPointer(gLayer->app.display, CurrentTime);
  XFlush(gLayer->app.display);
  return true;
}

bool nswnd_notify_action(cNSWndWrapper* wnd) {
  if (!wnd || !gLayer) return false;
  XEvent ev{};
  ev.xclient.type = ClientMessage;
  ev.xclient.window = wnd->xid;
  ev.xclient.message_type = gLayer->atoms.wake;
  ev.xclient.format = 32;
  ev.xclient.data.l[0] = static_cast<long>(wnd->serial & 0xFFFFFFFFu);
  ev.xclient.data.l[1] = static_cast<long>(wnd->serial >> 32);
  Display* d = gLayer->app.display;
  if (!XSendEvent(d, wnd->xid, False, NoEventMask, &ev)) return false;
  XFlush(d);
  return true;
}

bool nswnd_minimize(cNSWndWrapper* wnd) {
  if (!wnd) return false;
  return XIconifyWindow(gLayer->app.display, wnd->xid, gLayer->app.screen) != 0;
}

bool nswnd_maximize(cNSWndWrapper* wnd) {
  if (!wnd) return false;
  // Zooming toggles, as a window manager's maximise button does.
  XEvent ev{};
  ev.xclient.type = ClientMessage;
  ev.xclient.window = wnd->xid;
  ev.xclient.message_type = gLayer->atoms.netWmState;
  ev.xclient.format = 32;
  ev.xclient.data.l[0] = 2;  // toggle
  ev.xclient.data.l[1] = static_cast<long>(gLayer->atoms.netWmStateMaxVert);
  ev.xclient.data.l[2] = static_cast<long>(gLayer->atoms.netWmStateMaxHorz);
  ev.xclient.data.l[3] = 1;
  Display* d = gLayer->app.display;
  XSendEvent(d, RootWindow(d, gLayer->app.screen), False, SubstructureRedirectMask | SubstructureNotifyMask,
             &ev);
  XFlush(d);
  return true;
}

bool nswnd_move(cNSWndWrapper* wnd, int x, int y, int width, int height) {
  if (!wnd || width == 0) return false;
  long ext[4];
  frameExtents(wnd, ext);
  int cw = std::max(1L, width - ext[0] - ext[1]);
  int ch = std::max(1L, height - ext[2] - ext[3]);
  if (!wnd->resizable) {
    wnd->width = cw;
    wnd->height = ch;
    setNormalHints(wnd, x, y, true);
  }
  XMoveResizeWindow(gLayer->app.display, wnd->xid, x, y, static_cast<unsigned>(cw),
                    static_cast<unsigned>(ch));
  nswnd_invalidate_view(wnd, 0, 0, 0, 0);
  return true;
}

bool nswnd_setpointer(cNSWndWrapper* wnd, int type) {
  if (!wnd || type < 0 || type > 9) return false;
  static const int shapeOf[10] = {0, 1, 2, 3, 4, 5, 4, 5, 6, 6};
  Cursor c = gLayer->cursors[shapeOf[type]];
  if (!c) return false;
  wnd->myCursor = c;
  XDefineCursor(gLayer->app.display, wnd->xid, c);
  XFlush(gLayer->app.display);
  return true;
}

bool nswnd_setminsize(cNSWndWrapper* wnd, int width, int height) {
  if (!wnd) return false;
  wnd->minW = width;
  wnd->minH = height;
  setNormalHints(wnd, 0, 0, false);
  return true;
}

bool nswnd_setmaxsize(cNSWndWrapper* wnd, int width, int height) {
  if (!wnd) return false;
  wnd->maxW = width;
  wnd->maxH = height;
  setNormalHints(wnd, 0, 0, false);
  return true;
}

void nswnd_refresh_header(cNSWndWrapper* wnd) {
  long ext[4];
  frameExtents(wnd, ext);
  wnd->myHdrHeight = static_cast<int>(ext[2]);
}

bool nswnd_getpossize(cNSWndWrapper* wnd, int* x, int* y, int* width, int* height) {
  if (!wnd) return false;
  Display* d = gLayer->app.display;
  int cx = 0, cy = 0;
  Window child;
  XTranslateCoordinates(d, wnd->xid, RootWindow(d, gLayer->app.screen), 0, 0, &cx, &cy, &child);
  long ext[4];
  frameExtents(wnd, ext);
  // The content's corner, as the y is: elements add their own offsets to
  // it, so a frame's left border would put every menu off the pointer.
  *x = cx;
  *y = cy;
  *width = wnd->width + static_cast<int>(ext[0] + ext[1]);
  *height = wnd->height + static_cast<int>(ext[2] + ext[3]);
  return true;
}

bool nswnd_client_area(cNSWndWrapper* wnd, int* width, int* height) {
  if (!wnd) return false;
  *width = wnd->width;
  *height = wnd->height;
  return true;
}

bool nswnd_desktop_size(int* width, int* height) {
  *width = *height = 0;
  if (!gLayer) return true;
  *width = DisplayWidth(gLayer->app.display, gLayer->app.screen);
  *height = DisplayHeight(gLayer->app.display, gLayer->app.screen);
  return true;
}

bool nswnd_frame_known(cNSWndWrapper* wnd, long ext[4]) { return frameExtents(wnd, ext); }

bool nswnd_frame_guess(cNSWndWrapper* wnd, cNSWndWrapper* parent, long ext[4]) {
  ext[0] = ext[1] = ext[2] = ext[3] = 0;
  if (wnd && frameExtents(wnd, ext)) return true;
  if (parent && frameExtents(parent, ext)) return true;
  // Before the manager has framed a window, it frames it as it framed our
  // others.
  for (auto& [xid, other] : gLayer->windows)
    if (other != wnd && !other->myPosFixed && other->mapped && frameExtents(other, ext)) return true;
  const long title[4] = {4, 4, 24, 4};
  if (managerRuns()) std::copy(title, title + 4, ext);
  return false;
}

void nswnd_refit_mapped(cNSWndWrapper* w) {
  if (!w->fillsGuessW && !w->fillsGuessH) return;
  long ext[4];
  if (!frameExtents(w, ext)) return;
  int x = w->placedX, y = w->placedY;
  int width = w->fillsGuessW ? 32767 : w->width, height = w->fillsGuessH ? 32767 : w->height;
  w->fillsGuessW = w->fillsGuessH = false;
  nswnd_fit_work_area(ext, &x, &y, &width, &height);
  if (width == w->width && height == w->height) return;
  Display* d = gLayer->app.display;
  setNormalHints(w, x, y, true, width, height);
  XMoveResizeWindow(d, w->xid, x, y, static_cast<unsigned>(width), static_cast<unsigned>(height));
  XFlush(d);
}

void nswnd_fit_work_area(const long frame[4], int* x, int* y, int* width, int* height) {
  int ax, ay, aw, ah;
  nswnd_work_area(&ax, &ay, &aw, &ah);
  if (aw < 1 || ah < 1) return;
  int across, down;
  frameRoom(frame, aw, ah, &across, &down);
  *width = std::min(*width, aw - across);
  *height = std::min(*height, ah - down);
  // The manager puts the frame's corner where the window asked to be.
  *x = std::clamp(*x, ax, ax + aw - across - *width);
  *y = std::clamp(*y, ay, ay + ah - down - *height);
}

bool nswnd_max_size(cNSWndWrapper* wnd, int* width, int* height) {
  int x, y;
  nswnd_work_area(&x, &y, width, height);
  if (!gLayer) return *width > 0 && *height > 0;
  long ext[4];
  nswnd_frame_guess(wnd, nullptr, ext);
  int across, down;
  frameRoom(ext, *width, *height, &across, &down);
  *width -= across;
  *height -= down;
  return *width > 0 && *height > 0;
}

bool nswnd_main_optimal(int* x, int* y, int* width, int* height) {
  *x = *y = -1;
  int ax, ay, w, h;
  nswnd_work_area(&ax, &ay, &w, &h);
  *width = static_cast<int>(w * 0.7);
  *height = static_cast<int>(h * 0.7);
  return true;
}

sNSWDrawable* nswnd_cgctx(cNSWndWrapper* wnd) { return wnd ? &wnd->drawable : nullptr; }

bool nswnd_invalidate_view(cNSWndWrapper* wnd, int x, int y, int width, int height) {
  if (!wnd) return false;
  bool whole = x == 0 && y == 0 && width == 0 && height == 0;
  if (!whole && (width <= 0 || height <= 0)) return true;
  // With no background, clearing only asks the server for an expose.
  XClearArea(gLayer->app.display, wnd->xid, x, y, static_cast<unsigned>(std::max(width, 0)),
             static_cast<unsigned>(std::max(height, 0)), True);
  XFlush(gLayer->app.display);
  return true;
}

bool nswnd_focus(cNSWndWrapper* wnd) {
  if (!wnd) return false;
  if (wnd->mapped)
    XSetInputFocus(gLayer->app.display, wnd->xid, RevertToParent, CurrentTime);
  else
    wnd->focusOnMap = true;
  XFlush(gLayer->app.display);
  return true;
}

void nswnd_show_title(cNSWndWrapper* wnd, const std::string& title) {
  Display* d = gLayer->app.display;
  const auto* bytes = reinterpret_cast<const unsigned char*>(title.data());
  int n = static_cast<int>(title.size());
  XChangeProperty(d, wnd->xid, gLayer->atoms.netWmName, gLayer->atoms.utf8String, 8, PropModeReplace, bytes,
                  n);
  XChangeProperty(d, wnd->xid, XA_WM_NAME, gLayer->atoms.utf8String, 8, PropModeReplace, bytes, n);
  XFlush(d);
}

bool nswnd_set_caption(cNSWndWrapper* wnd, const char* caption) {
  if (!wnd) return false;
  wnd->myCaption = caption ? caption : "";
  wnd->hasCaption = true;
  nswnd_show_title(wnd, wnd->myCaption);
  return true;
}
