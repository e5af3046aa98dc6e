// What the real-window tests share: a window maker that speaks the
// toolkit's English texts, and the windows a peer sees on the screen.
#pragma once

#include "nslib/tests/x11_driver.h"
// The driver header brings gtest and Xlib in the order they need.
#include <cairo.h>

#include <string>
#include <vector>

#include "ciom/ciomlangs.h"
#include "ciplatform/nswmaker.h"

struct sToolkitMaker {
  cNSWMaker maker;
  sToolkitMaker() {
    static cCIOMLang* toolkit = new cCIOMLang;
    cLibLang::ref(toolkit);
    cLibLang::applyLang(eLangENG);
    maker.create(nullptr, nullptr, 0);
    maker.langStore = &cLibLang::gCiomLang;
  }
};

// The window a manager's frame holds: the one that has WM_STATE, found
// depth first; 0 when none does.
inline Window managedClient(Display* d, Window w) {
  Atom state = XInternAtom(d, "WM_STATE", False), type;
  int format;
  unsigned long count, after;
  unsigned char* data = nullptr;
  const bool has = XGetWindowProperty(d, w, state, 0, 0, False, AnyPropertyType, &type, &format, &count, &after,
                                      &data) == Success &&
                   type != None;
  if (data) XFree(data);
  if (has) return w;
  Window root, parent, *kids = nullptr, found = 0;
  unsigned int n = 0;
  if (XQueryTree(d, w, &root, &parent, &kids, &n) && kids)
    for (unsigned int i = 0; i < n && !found; ++i) found = managedClient(d, kids[i]);
  if (kids) XFree(kids);
  return found;
}

// The viewable top-level windows of the peer's screen, bottom to top; under
// a window manager, the program's windows inside its frames.
inline std::vector<Window> shownWindows(nstest::cPeer& peer) {
  std::vector<Window> out;
  Window root, parent, *kids = nullptr;
  unsigned int n = 0;
  if (XQueryTree(peer.d, peer.root(), &root, &parent, &kids, &n) && kids)
    for (unsigned int i = 0; i < n; ++i) {
      XWindowAttributes a;
      if (!XGetWindowAttributes(peer.d, kids[i], &a) || a.map_state != IsViewable) continue;
      const Window client = a.override_redirect ? 0 : managedClient(peer.d, kids[i]);
      out.push_back(client ? client : kids[i]);
    }
  if (kids) XFree(kids);
  return out;
}

// The viewable override-redirect windows (pop-ups).
inline std::vector<Window> popups(nstest::cPeer& peer) {
  std::vector<Window> out;
  for (Window w : shownWindows(peer)) {
    XWindowAttributes a;
    if (XGetWindowAttributes(peer.d, w, &a) && a.override_redirect) out.push_back(w);
  }
  return out;
}

// The window a manager put `client` in (the client itself without one):
// the rectangle the user sees of it.
inline void outerRect(Display* d, Window client, int& x, int& y, int& w, int& h) {
  Window top = client, root, parent, *kids = nullptr;
  unsigned int n = 0;
  while (XQueryTree(d, top, &root, &parent, &kids, &n) && parent != root) {
    if (kids) XFree(kids);
    kids = nullptr;
    top = parent;
  }
  if (kids) XFree(kids);
  XWindowAttributes a{};
  XGetWindowAttributes(d, top, &a);
  x = a.x;
  y = a.y;
  w = a.width + 2 * a.border_width;
  h = a.height + 2 * a.border_width;
}

// The topmost window with that caption, or 0.
inline Window captioned(nstest::cPeer& peer, const std::string& caption) {
  Window found = 0;
  for (Window w : shownWindows(peer))
    if (peer.property(w, "_NET_WM_NAME") == caption) found = w;
  return found;
}

// The screen's pixels in a rectangle of `from`, saved as a PNG file.
inline bool writeScreenPng(Display* d, Drawable from, int x, int y, int w, int h, const std::string& path) {
  XImage* image = XGetImage(d, from, x, y, static_cast<unsigned>(w), static_cast<unsigned>(h), AllPlanes, ZPixmap);
  if (!image) return false;
  cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_RGB24, w, h);
  auto* px = reinterpret_cast<unsigned int*>(cairo_image_surface_get_data(s));
  const int stride = cairo_image_surface_get_stride(s) / 4;
  for (int row = 0; row < h; ++row)
    for (int col = 0; col < w; ++col) px[row * stride + col] = static_cast<unsigned int>(XGetPixel(image, col, row));
  cairo_surface_mark_dirty(s);
  const bool ok = cairo_surface_write_to_png(s, path.c_str()) == CAIRO_STATUS_SUCCESS;
  cairo_surface_destroy(s);
  XDestroyImage(image);
  return ok;
}
