// What the real-window tests share: a window maker that speaks the
// toolkit's English texts, and a picture of part of the screen as a PNG file
// for people to look at.
#pragma once

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <cairo.h>

#include <string>

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

// The w x h pixels of `from` at (x, y), read through the display.
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
