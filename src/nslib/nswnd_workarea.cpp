// The part of the screen that windows may take: the work area the desktop
// names, or, where it names none, the screen less the bands that panels
// and docks keep for themselves.
#include <X11/Xatom.h>

#include <algorithm>
#include <vector>

#include "nslib/nswnd_internal.h"

namespace {

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

// The bands (left, right, top, bottom) that the shown top-level windows
// keep along the screen's edges. A band that would leave no screen is not
// believed; only the width of a partial band counts, as one rectangle is
// all a window is fitted to.
void strutBands(int width, int height, long bands[4]) {
  Display* d = gLayer->app.display;
  Window root = RootWindow(d, gLayer->app.screen), parent, *children = nullptr;
  unsigned count = 0;
  if (!XQueryTree(d, root, &root, &parent, &children, &count)) return;
  for (unsigned i = 0; i < count; ++i) {
    std::vector<long> strut = cardinals(children[i], gLayer->atoms.netWmStrutPartial, 12);
    if (strut.size() < 4) strut = cardinals(children[i], gLayer->atoms.netWmStrut, 4);
    if (strut.size() < 4) continue;
    XWindowAttributes a;
    if (!XGetWindowAttributes(d, children[i], &a) || a.map_state == IsUnmapped) continue;
    const long across[4] = {width, width, height, height};
    for (int side = 0; side < 4; ++side)
      if (strut[side] > 0 && strut[side] < across[side]) bands[side] = std::max(bands[side], strut[side]);
  }
  if (children) XFree(children);
  if (bands[0] + bands[1] >= width || bands[2] + bands[3] >= height) bands[0] = bands[1] = bands[2] = bands[3] = 0;
}

}  // namespace

void nswnd_work_area(int* x, int* y, int* width, int* height) {
  *x = *y = 0;
  nswnd_desktop_size(width, height);
  if (!gLayer) return;
  // A named work area that does not fit on the screen is not believed.
  const std::vector<long> v = cardinals(RootWindow(gLayer->app.display, gLayer->app.screen),
                                        gLayer->atoms.netWorkarea, 4);
  if (v.size() == 4 && v[0] >= 0 && v[1] >= 0 && v[2] > 0 && v[3] > 0 && v[0] + v[2] <= *width &&
      v[1] + v[3] <= *height) {
    *x = static_cast<int>(v[0]);
    *y = static_cast<int>(v[1]);
    *width = static_cast<int>(v[2]);
    *height = static_cast<int>(v[3]);
    return;
  }
  long bands[4] = {0, 0, 0, 0};
  strutBands(*width, *height, bands);
  *x = static_cast<int>(bands[0]);
  *y = static_cast<int>(bands[2]);
  *width -= static_cast<int>(bands[0] + bands[1]);
  *height -= static_cast<int>(bands[2] + bands[3]);
}
