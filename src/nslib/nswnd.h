// The window layer: top-level windows and pop-ups over Xlib, the one modal
// loop of the program, pointer capture, the cross-thread wake-up and the
// clipboard. Everything runs on the main thread except nswnd_notify_action.
//
// A window reports what happens to it through its callback as an event code
// and a record (below). Positions are in pixels from the top-left corner of
// the window's content; screen positions from the top-left of the screen.
#pragma once

#include <X11/Xlib.h>

#include <cstdint>
#include <functional>

#include "base/buffers.h"

// A window handle; callers never look inside.
struct cNSWndWrapper;

// The event callback: (event code, record or null, the window's parameter).
// Only the answers to the close request and the key question are read.
typedef int (*nswnd_event_proc)(int code, void* record, void* param);

// The result a window holds while its loop runs; the loop ends on any result
// set through nswnd_modal_result, this value included.
constexpr int kNSModalRunning = static_cast<int>(0x80000001u);

enum eNSWEvent {
  nsweClose = 0,      // no record; a non-zero answer keeps the window
  nsweMouseBtn = 1,   // sNSWMouseBtn
  nsweMouseMove = 2,  // sNSWMouseMove
  nsweWheel = 3,      // sNSWWheel
  nsweEnter = 4,
  nsweLeave = 5,
  nsweKey = 6,    // sNSWKey
  nsweChar = 7,   // sNSWChar
  nswePaint = 8,  // sNSWPaint
  nsweSize = 9,   // sNSWSize
  nsweWakeUp = 10,
  nsweFocus = 11,
  nsweFocusLost = 12,
  // sNSWKey, asked while the window waits, of a key still queued: a non-zero
  // answer says the window ends on it. Nothing runs and nothing changes.
  nsweKeyEnds = 13,
  // No record; sent between the turns of a wait: the window asks the server
  // now for the repaints it wants, and runs nothing else.
  nsweRepaintsAsked = 14,
  // sNSWClick, asked while the window waits, of a left click still queued:
  // a non-zero answer says the window ends on it. As for nsweKeyEnds.
  nsweClickEnds = 15,
};

// Modifier bytes hold 0 or 1. The Control key of the keyboard plays the
// "command" role (the toolkit's Control), the Super key the "control" one
// and Alt the "option" one.
struct sNSWMouseBtn {
  int32_t down;    // 1 press, 0 release
  int32_t button;  // 1 left, 2 right
  int32_t x, y;
  uint8_t shift, command, control, option;
};

struct sNSWMouseMove {
  int32_t x, y;
  uint8_t left, right;  // buttons held
  uint8_t shift, command, control, option;
};

struct sNSWWheel {
  int32_t x, y;
  int32_t dx, dy, dz;  // a turn away from the user is a negative dy
  uint8_t shift, command, control, option;
};

// The key is already the toolkit's key code (nswnd_key_code), 0 for keys the
// toolkit does not know.
struct sNSWKey {
  int32_t key;
  uint8_t down;
  uint8_t shift, command, control, option;
};

// A left click: where it was pressed, or where it was released when its
// press is no longer queued (handled, or being handled), and where it was
// released.
struct sNSWClick {
  int32_t x, y;
  int32_t releaseX, releaseY;
};

struct sNSWChar {
  uint16_t unit;  // one UTF-16 code unit
  uint8_t shift, option;
};

// What a paint draws into: an X drawable of the window's content size.
struct sNSWDrawable {
  Display* display;
  Drawable drawable;
  Visual* visual;
  int width, height;
};

struct sNSWPaint {
  sNSWDrawable* context;
  int32_t x, y, width, height;  // the part that needs drawing
};

struct sNSWSize {
  int32_t width, height;  // the new content size
};

// The layer's shared state; null until nswnd_init has run.
struct cAppWrapper {
  Display* display;
  int screen;
};

void nswnd_init();
cAppWrapper* nsapp();
cNSWndWrapper* captured();
// Dispatches the events already waiting, then returns.
void nswnd_msgloop();
void proccessEventProc(XEvent* event);

// x = y = -1 centres the window on the screen.
cNSWndWrapper* nswnd_create_wnd(nswnd_event_proc proc, void* param, const char* caption, int width,
                                int height, bool resizable, int x, int y);
cNSWndWrapper* nswnd_create_popup(nswnd_event_proc proc, void* param, int x, int y, int width, int height);
bool nswnd_destroy(cNSWndWrapper* wnd);

// Runs events until the window's result is set, and answers it. With a parent the window is shown as its
// sheet: modal to it, placed over it inside the screen's work area.
int nswnd_modal(cNSWndWrapper* wnd, cNSWndWrapper* parent);
// A window that only holds boxes up: while a sheet of it is up it is not
// shown, and its loop shows it only once it has handled what was waiting,
// so that a box asked for at once is all the user sees.
void nswnd_hide_under_sheets(cNSWndWrapper* wnd);
int nswnd_modal_result(cNSWndWrapper* wnd, int result);
bool nswnd_show_floating(cNSWndWrapper* wnd);
bool nswnd_capture_mouse(cNSWndWrapper* wnd);
bool nswnd_cancel_capture(cNSWndWrapper* wnd);
// Any thread. The handle must be alive during the call; a window destroyed
// before the wake-up arrives never sees it.
bool nswnd_notify_action(cNSWndWrapper* wnd);
// True while a paint comes from inside a wait of the main thread (a paste):
// the window paints what it shows, and runs no queued action meanwhile.
bool nswnd_waiting();
// Waits until `done` holds, repainting between its calls what is uncovered
// and what the window asks for (nsweRepaintsAsked), each call may do a short
// slice of the work waited for; false as soon as input that ends the window
// waits in the queue: its close box, or a key or left click the window
// answers nsweKeyEnds or nsweClickEnds for. That input stays queued, in
// order with the rest, which waits for the wait to end.
bool nswnd_wait(cNSWndWrapper* wnd, const std::function<bool()>& done);

bool nswnd_minimize(cNSWndWrapper* wnd);
bool nswnd_maximize(cNSWndWrapper* wnd);
// The whole frame, title bar included.
bool nswnd_move(cNSWndWrapper* wnd, int x, int y, int width, int height);
// 0 arrow, 1 text beam, 2 cross, 3 hand, 4 and 6 left-right, 5 and 7 up-down,
// 8 and 9 grab.
bool nswnd_setpointer(cNSWndWrapper* wnd, int type);
bool nswnd_setminsize(cNSWndWrapper* wnd, int width, int height);
bool nswnd_setmaxsize(cNSWndWrapper* wnd, int width, int height);
// The content's corner on the screen; the frame's width and height.
bool nswnd_getpossize(cNSWndWrapper* wnd, int* x, int* y, int* width, int* height);
bool nswnd_client_area(cNSWndWrapper* wnd, int* width, int* height);
bool nswnd_desktop_size(int* width, int* height);
// The part of the screen a window may take (without panels and docks).
void nswnd_work_area(int* x, int* y, int* width, int* height);
// The largest content a framed window may have: the work area less the
// frame the manager gives the window (a null one: a new window).
bool nswnd_max_size(cNSWndWrapper* wnd, int* width, int* height);
bool nswnd_main_optimal(int* x, int* y, int* width, int* height);
sNSWDrawable* nswnd_cgctx(cNSWndWrapper* wnd);
// All four 0: the whole content.
bool nswnd_invalidate_view(cNSWndWrapper* wnd, int x, int y, int width, int height);
bool nswnd_focus(cNSWndWrapper* wnd);
bool nswnd_set_caption(cNSWndWrapper* wnd, const char* caption);

// The toolkit's code of an X key symbol: 0xFFnn folds to 0x100 | nn,
// character keys give their upper-case letter or unshifted symbol, Return
// gives the Enter code 0x18D, and F8 and above and the modifiers give 0.
int nswnd_key_code(unsigned long keysym);

// The clipboard holds one item: text (UTF-16) or raw bytes. Putting replaces
// it; a null or empty text with no bytes leaves it empty. Reading answers
// false, with nothing, when there is no display, the clipboard is empty or
// its owner did not give the whole value (or its start, for a value above
// the size limit) by the paste's deadline.
bool nswnd_clip_put(const unsigned short* text, long long units, const unsigned char* raw, long long bytes);
bool nswnd_clip_text(_typebuf<unsigned short>& text);
// The raw bytes, or when there are none the text's UTF-16 bytes.
bool nswnd_clip_raw(_typebuf<unsigned char>& bytes);
