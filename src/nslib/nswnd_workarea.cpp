// The part of the screen that windows may take: the work area the desktop
// names, or, where it names none, the screen less the bands that panels
// and docks keep for themselves; never an area too small for the smallest
// form, where the screen serves instead.
//
// Bands are read when they change, not at each question: the root's children
// are watched as they come, go, show, hide and change their bands, so that a
// question costs as little beside thousands of windows as beside none.
#include <X11/Xatom.h>

#include <algorithm>
#include <unordered_map>
#include <vector>

#include "nslib/nswnd_internal.h"

namespace {

// No form of the toolkit is smaller than an empty message box (105 high,
// its one button wide) in its frame; an area that cannot hold one is no
// place for windows.
constexpr long kLeastWidth = 160, kLeastHeight = 120;

// A top-level window of another program: its bands as it last set them
// (left, right, top, bottom, then where each starts and ends along its
// edge, when it says), whether it is shown, and whether they wait to be
// read again: once, however often they change meanwhile.
struct sTop {
  std::vector<long> strut;
  bool mapped = false, unread = false;
};

// The windows, those whose bands wait to be read, and the bands of all as
// last worked out for a screen of that size; `changed` when they may differ.
struct sWatch {
  bool started = false;
  std::unordered_map<Window, sTop> tops;
  std::vector<Window> unread;
  bool changed = true;
  long bands[4] = {0, 0, 0, 0};
  long width = 0, height = 0;
};
sWatch gWatch;

// Up to `most` 32-bit cardinals of a window's property; empty when it is
// missing or of another kind.
std::vector<long> cardinals(Window w, Atom prop, long most) {
  Display* d = gLayer->app.display;
  Atom type;
  int format;
  unsigned long count, after;
  unsigned char* data = nullptr;
  std::vector<long> out;
  if (XGetWindowProperty(d, w, prop, 0, most, False, XA_CARDINAL, &type, &format, &count, &after, &data) ==
          Success &&
      data && type == XA_CARDINAL && format == 32)
    out.assign(reinterpret_cast<const long*>(data), reinterpret_cast<const long*>(data) + count);
  if (data) XFree(data);
  return out;
}

Window rootWindow() { return RootWindow(gLayer->app.display, gLayer->app.screen); }

void markUnread(Window w) {
  auto it = gWatch.tops.find(w);
  if (it == gWatch.tops.end() || it->second.unread) return;
  it->second.unread = true;
  gWatch.unread.push_back(w);
}

// Our own windows keep no bands, and the masks we gave them must stay.
void add(Window w) {
  if (w == gLayer->clipWindow || nswnd_find(w)) return;
  gWatch.tops[w];
  markUnread(w);
}

// Notes what an event tells of the root's children; true for the events
// only the watch asked for. It makes no request, as Xlib may be scanning
// its queue when it runs.
bool note(const XEvent& e) {
  if (!gWatch.started) return false;
  const sNSAtoms& a = gLayer->atoms;
  if (e.type == PropertyNotify) {
    if (e.xproperty.atom != a.netWmStrut && e.xproperty.atom != a.netWmStrutPartial) return false;
    markUnread(e.xproperty.window);
    return true;
  }
  const Window root = rootWindow();
  if (e.xany.window != root) return false;
  if (e.type == CreateNotify || (e.type == ReparentNotify && e.xreparent.parent == root)) {
    add(e.type == CreateNotify ? e.xcreatewindow.window : e.xreparent.window);
  } else if (e.type == DestroyNotify || e.type == ReparentNotify) {
    gWatch.changed |= gWatch.tops.erase(e.type == DestroyNotify ? e.xdestroywindow.window : e.xreparent.window) > 0;
  } else if (e.type == MapNotify || e.type == UnmapNotify) {
    auto it = gWatch.tops.find(e.type == MapNotify ? e.xmap.window : e.xunmap.window);
    if (it != gWatch.tops.end()) it->second.mapped = e.type == MapNotify;
    gWatch.changed |= it != gWatch.tops.end();
  }
  // The clipboard ends what it sends to a window that goes too.
  return e.type != DestroyNotify;
}

// Watching starts with the first question that needs the bands; the root is
// asked for its children's news before they are listed, so that none comes
// unseen.
void startWatch() {
  if (gWatch.started) return;
  gWatch.started = true;
  Display* d = gLayer->app.display;
  XSelectInput(d, rootWindow(), SubstructureNotifyMask);
  Window root, parent, *children = nullptr;
  unsigned count = 0;
  if (XQueryTree(d, rootWindow(), &root, &parent, &children, &count))
    for (unsigned i = 0; i < count; ++i) add(children[i]);
  if (children) XFree(children);
}

// Takes the news still queued, then reads the bands of the windows that
// came or changed them since they were last read.
void catchUp() {
  Display* d = gLayer->app.display;
  XEvent ev;
  while (XCheckIfEvent(d, &ev, [](Display*, XEvent* e, XPointer) -> Bool { return note(*e); }, nullptr)) {
  }
  const sNSAtoms& a = gLayer->atoms;
  for (Window w : gWatch.unread) {
    auto it = gWatch.tops.find(w);
    if (it == gWatch.tops.end()) continue;  // gone since
    sTop& top = it->second;
    top.unread = false;
    // Asked before the read, so that a change after it is heard.
    XSelectInput(d, w, PropertyChangeMask);
    top.strut = cardinals(w, a.netWmStrutPartial, 12);
    if (top.strut.size() < 4) top.strut = cardinals(w, a.netWmStrut, 4);
    XWindowAttributes attrs;
    top.mapped = top.strut.size() >= 4 && XGetWindowAttributes(d, w, &attrs) && attrs.map_state != IsUnmapped;
    gWatch.changed = true;
  }
  gWatch.unread.clear();
}

// The band a window keeps along one side (left, right, top, bottom): none
// when it would leave no screen, or when the part of the edge it names lies
// off the screen.
long band(const std::vector<long>& strut, int side, long width, long height) {
  const long across = side < 2 ? width : height, along = side < 2 ? height : width;
  if (strut[side] <= 0 || strut[side] >= across) return 0;
  if (strut.size() < 12) return strut[side];
  const long start = strut[4 + 2 * side], end = strut[5 + 2 * side];
  return start <= end && end >= 0 && start < along ? strut[side] : 0;
}

}  // namespace

bool nswnd_workarea_event(const XEvent& ev) { return gLayer && note(ev); }

long nswnd_workarea_mask(Window w) { return gWatch.tops.count(w) ? PropertyChangeMask : NoEventMask; }

void nswnd_work_area(int* x, int* y, int* width, int* height) {
  *x = *y = 0;
  nswnd_desktop_size(width, height);
  if (!gLayer) return;
  const long w = *width, h = *height;
  // A named work area that does not fit on the screen is not believed.
  const std::vector<long> v = cardinals(rootWindow(), gLayer->atoms.netWorkarea, 4);
  if (v.size() == 4 && v[0] >= 0 && v[1] >= 0 && v[2] >= kLeastWidth && v[3] >= kLeastHeight && v[0] + v[2] <= w &&
      v[1] + v[3] <= h) {
    *x = static_cast<int>(v[0]);
    *y = static_cast<int>(v[1]);
    *width = static_cast<int>(v[2]);
    *height = static_cast<int>(v[3]);
    return;
  }
  startWatch();
  catchUp();
  long* bands = gWatch.bands;
  if (gWatch.changed || gWatch.width != w || gWatch.height != h) {
    // The widest band of each side: one rectangle is all a window is fitted to.
    std::fill(bands, bands + 4, 0);
    for (const auto& [window, top] : gWatch.tops)
      if (top.mapped && top.strut.size() >= 4)
        for (int side = 0; side < 4; ++side) bands[side] = std::max(bands[side], band(top.strut, side, w, h));
    gWatch.changed = false;
    gWatch.width = w;
    gWatch.height = h;
  }
  if (w - bands[0] - bands[1] < kLeastWidth || h - bands[2] - bands[3] < kLeastHeight) return;
  *x = static_cast<int>(bands[0]);
  *y = static_cast<int>(bands[2]);
  *width = static_cast<int>(w - bands[0] - bands[1]);
  *height = static_cast<int>(h - bands[2] - bands[3]);
}
