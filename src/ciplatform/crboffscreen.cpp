#include <cstring>
#include <new>

#include "ciplatform/crbcanvas.h"

bool cCrbOffscreenCanvas::create(int w, int h) {
  close();
  // Checked before cairo sees the sizes: its own limit would otherwise give
  // an error surface that draws nothing.
  if (w < 1 || h < 1 || w > kMaxSide || h > kMaxSide) return false;
  mySurface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
  if (cairo_surface_status(mySurface) != CAIRO_STATUS_SUCCESS ||
      cairo_image_surface_get_stride(mySurface) != static_cast<long long>(w) * 4) {
    close();
    return false;
  }
  cairo_t* context = cairo_create(mySurface);
  if (cairo_status(context) != CAIRO_STATUS_SUCCESS) {
    cairo_destroy(context);
    close();
    return false;
  }
  return cCrbCanvas::create(context, w, h);
}

void cCrbOffscreenCanvas::close() {
  cairo_t* context = myContext;
  cCrbCanvas::close();
  if (context) cairo_destroy(context);
  if (mySurface) cairo_surface_destroy(mySurface);
  mySurface = nullptr;
}

cCrbOffscreenCanvas* cCrbOffscreenCanvas::make(int w, int h) {
  auto* canvas = new (std::nothrow) cCrbOffscreenCanvas;
  if (canvas && !canvas->create(w, h)) {
    delete canvas;
    return nullptr;
  }
  return canvas;
}

// The stored colour is kept as it is (premultiplied, so what was drawn over
// nothing reads as drawn over black) and the result is opaque.
bool cCrbOffscreenCanvas::snapshot(cPicture* out, sRect* r) {
  if (!out || !mySurface) return false;
  const int w = width(), h = height();
  cairo_surface_flush(mySurface);
  const unsigned int* px = reinterpret_cast<const unsigned int*>(cairo_image_surface_get_data(mySurface));
  if (!px) return false;
  sRect whole{0, 0, w, h};
  const sRect& a = r ? *r : whole;
  if (a.x < 0 || a.x >= w || a.y < 0 || a.y >= h || a.width < 1 || a.width > w || a.height < 1 ||
      a.height > h || a.x + a.width > w || a.y + a.height > h)
    return false;
  if (!out->create(a.width, a.height)) return false;
  unsigned int* dst = out->raw();
  for (int row = 0; row < a.height; ++row) {
    const unsigned int* line = px + static_cast<long long>(a.y + row) * w + a.x;
    for (int col = 0; col < a.width; ++col) *dst++ = line[col] | 0xFF000000u;
  }
  return true;
}
