// The part of the screen that windows may take: the work area the desktop
// names, or, where it names none, the screen less the bands that panels
// and docks keep for themselves; never an area too small for the smallest
// form, where the screen serves instead.
//
// Bands are read when they change, not at each question: the root's
// children are watched as they show and hide, and each tells when its bands
// change, so that only the windows that did are read again and a question
// costs as little beside thousands of windows as beside none.
#include <X11/Xatom.h>

#include <algorithm>
#include <unordered_map>
#include <unordered_set>
#include <utility>

#include "nslib/nswnd_internal.h"

namespace {

// No form of the toolkit is smaller than an empty message box (105 high,
// its one button wide) in its frame; an area that cannot hold one is no
// place for windows.
constexpr long kLeastWidth = 160, kLeastHeight = 120;

bool gWatching = false;
// The shown top-level windows of other programs that keep bands, as they
// last set them (left, right, top, bottom, then where each starts and ends
// along its edge, when they say). A window is hidden before it goes or
// leaves the root, so hiding is all that takes its bands away.
std::unordered_map<Window, std::vector<long>> gBanded;
// The windows that showed or changed their bands since they were last
// read: each is read once, however often it changed meanwhile.
std::unordered_set<Window> gUnread;

Window rootWindow() { return RootWindow(gLayer->app.display, gLayer->app.screen); }

// Only the root's children keep bands; any client may set a property on
// another window.
bool topLevel(Window w) {
  Window root, parent = None, *children = nullptr;
  unsigned count = 0;
  if (XQueryTree(gLayer->app.display, w, &root, &parent, &children, &count) && children) XFree(children);
  return parent == rootWindow();
}

// Takes the news still queued, then reads the bands of the windows that
// showed or changed them since they were last read. Watching starts with
// the first question that needs the bands; the root is asked for its
// children's news before they are listed, so that none comes unseen.
void catchUp() {
  Display* d = gLayer->app.display;
  if (!gWatching) {
    gWatching = true;
    XSelectInput(d, rootWindow(), SubstructureNotifyMask);
    Window root, parent, *children = nullptr;
    unsigned count = 0;
    if (XQueryTree(d, rootWindow(), &root, &parent, &children, &count)) gUnread.insert(children, children + count);
    if (children) XFree(children);
  }
  XEvent ev;
  while (XCheckIfEvent(d, &ev, [](Display*, XEvent* e, XPointer) -> Bool { return nswnd_workarea_event(*e); },
                       nullptr)) {
  }
  const sNSAtoms& a = gLayer->atoms;
  for (Window w : std::exchange(gUnread, {})) {
    gBanded.erase(w);
    // Our own windows keep no bands, and the masks we gave them must stay.
    if (w == gLayer->clipWindow || nswnd_find(w) || !topLevel(w)) continue;
    // Asked before the read, so that a change after it is heard.
    XSelectInput(d, w, PropertyChangeMask);
    std::vector<long> strut = nswnd_cardinals(w, a.netWmStrutPartial, 12);
    if (strut.size() < 4) strut = nswnd_cardinals(w, a.netWmStrut, 4);
    XWindowAttributes attrs;
    if (strut.size() >= 4 && XGetWindowAttributes(d, w, &attrs) && attrs.map_state != IsUnmapped)
      gBanded[w] = std::move(strut);
  }
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

std::vector<long> nswnd_cardinals(Window w, Atom prop, long most) {
  Atom type;
  int format;
  unsigned long count, after;
  unsigned char* data = nullptr;
  std::vector<long> out;
  if (XGetWindowProperty(gLayer->app.display, w, prop, 0, most, False, XA_CARDINAL, &type, &format, &count,
                         &after, &data) == Success &&
      data && type == XA_CARDINAL && format == 32)
    out.assign(reinterpret_cast<const long*>(data), reinterpret_cast<const long*>(data) + count);
  if (data) XFree(data);
  return out;
}

// It makes no request, as Xlib may be scanning its queue when it runs.
bool nswnd_workarea_event(const XEvent& e) {
  if (!gWatching) return false;
  const sNSAtoms& a = gLayer->atoms;
  if (e.type == PropertyNotify) {
    if (e.xproperty.atom != a.netWmStrut && e.xproperty.atom != a.netWmStrutPartial) return false;
    gUnread.insert(e.xproperty.window);
    return true;
  }
  if (e.xany.window != rootWindow()) return false;
  if (e.type == MapNotify) gUnread.insert(e.xmap.window);
  if (e.type == UnmapNotify) gBanded.erase(e.xunmap.window);
  // The clipboard ends what it sends to a window that goes too.
  return e.type != DestroyNotify;
}

long nswnd_workarea_mask(Window w) { return gWatching && topLevel(w) ? PropertyChangeMask : NoEventMask; }

void nswnd_work_area(int* x, int* y, int* width, int* height) {
  *x = *y = 0;
  nswnd_desktop_size(width, height);
  if (!gLayer) return;
  const long w = *width, h = *height;
  // A named work area off the screen or too small is not believed; the bands answer.
  std::vector<long> area = nswnd_cardinals(rootWindow(), gLayer->atoms.netWorkarea, 4);
  if (area.size() != 4 || area[0] < 0 || area[1] < 0 || area[2] < kLeastWidth || area[3] < kLeastHeight ||
      area[0] + area[2] > w || area[1] + area[3] > h) {
    catchUp();
    // The widest band of each side: one rectangle is all a window is fitted to.
    long bands[4] = {0, 0, 0, 0};
    for (const auto& [window, strut] : gBanded)
      for (int side = 0; side < 4; ++side) bands[side] = std::max(bands[side], band(strut, side, w, h));
    area = {bands[0], bands[2], w - bands[0] - bands[1], h - bands[2] - bands[3]};
  }
  if (area[2] < kLeastWidth || area[3] < kLeastHeight) return;
  *x = static_cast<int>(area[0]);
  *y = static_cast<int>(area[1]);
  *width = static_cast<int>(area[2]);
  *height = static_cast<int>(area[3]);
}
