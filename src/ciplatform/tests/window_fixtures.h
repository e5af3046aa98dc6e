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

// The viewable top-level windows of the peer's screen, bottom to top.
inline std::vector<Window> shownWindows(nstest::cPeer& peer) {
  std::vector<Window> out;
  Window root, parent, *kids = nullptr;
  unsigned int n = 0;
  if (XQueryTree(peer.d, peer.root(), &root, &parent, &kids, &n) && kids)
    for (unsigned int i = 0; i < n; ++i) {
      XWindowAttributes a;
      if (XGetWindowAttributes(peer.d, kids[i], &a) && a.map_state == IsViewable) out.push_back(kids[i]);
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
