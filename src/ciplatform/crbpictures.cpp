// Pictures and other canvases drawn onto a canvas. A cPicture already holds
// B, G, R, A words, which cairo reads as they are: opaque pictures through
// the format that ignores alpha, pictures with alpha after premultiplying.
#include <vector>

#include "ciplatform/crbcanvas.h"

namespace {

// Paints the image at (X, Y) scaled to w x h; a copy at its own size stays
// pixel for pixel.
void paintImage(cairo_t* cr, cairo_surface_t* image, double X, double Y, int iw, int ih, int w, int h) {
  cairo_save(cr);
  cairo_new_path(cr);
  cairo_rectangle(cr, X, Y, w, h);
  cairo_translate(cr, X, Y);
  cairo_scale(cr, static_cast<double>(w) / iw, static_cast<double>(h) / ih);
  cairo_set_source_surface(cr, image, 0, 0);
  if (w == iw && h == ih) cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_NEAREST);
  cairo_pattern_set_extend(cairo_get_source(cr), CAIRO_EXTEND_PAD);
  cairo_fill(cr);
  cairo_restore(cr);
}

cairo_surface_t* wrap(unsigned int* px, cairo_format_t format, int w, int h) {
  cairo_surface_t* s =
      cairo_image_surface_create_for_data(reinterpret_cast<unsigned char*>(px), format, w, h, w * 4);
  if (cairo_surface_status(s) == CAIRO_STATUS_SUCCESS) return s;
  cairo_surface_destroy(s);
  return nullptr;
}

bool hasPixels(const cPicture* p) {
  return p->raw() && p->width() >= 1 && p->height() >= 1 &&
         p->pixels.count == static_cast<long long>(p->width()) * p->height();
}

}  // namespace

bool cCrbCanvas::drawBitmap(sPoint* at, cPicture* p, sSize* size) {
  if (!at) return false;
  return size ? drawBitmap(at->x, at->y, p, size->cx, size->cy) : drawBitmap(at->x, at->y, p, -1, -1);
}

bool cCrbCanvas::drawBitmap(int x, int y, cPicture* p, int w, int h) {
  if (!p || !myContext) return false;
  if (w == 0 || h == 0 || x > width() || y > height()) return true;
  if (!hasPixels(p)) return false;
  if (w < 0 && h < 0) {
    w = p->width();
    h = p->height();
  }
  if (w < 0 || h < 0) return false;
  if (static_cast<long long>(x) + w <= 0 || static_cast<long long>(y) + h < 1) return true;
  cairo_surface_t* image = wrap(p->raw(), CAIRO_FORMAT_RGB24, p->width(), p->height());
  if (!image) return false;
  paintImage(myContext, image, static_cast<double>(myArea.left) + x, static_cast<double>(myArea.top) + y,
             p->width(), p->height(), w, h);
  cairo_surface_destroy(image);
  return true;
}

bool cCrbCanvas::drawTransparent(sPoint* at, cPicture* p, sSize* size) {
  if (!at || !p || !myContext) return false;
  if ((size && (size->cx == 0 || size->cy == 0)) || at->x > width() || at->y > height()) return true;
  if (!hasPixels(p)) return false;
  const int w = p->width(), h = p->height();
  if (static_cast<long long>(at->x) + w < 0 || static_cast<long long>(at->y) + h < 0) return true;
  std::vector<unsigned int> premultiplied(static_cast<size_t>(p->pixels.count));
  const unsigned char* src = reinterpret_cast<const unsigned char*>(p->raw());
  for (size_t i = 0; i < premultiplied.size(); ++i, src += 4) {
    const double f = src[3] * 0.00392157;
    premultiplied[i] = static_cast<unsigned int>(src[3]) << 24 | static_cast<unsigned int>(src[2] * f) << 16 |
                       static_cast<unsigned int>(src[1] * f) << 8 | static_cast<unsigned int>(src[0] * f);
  }
  cairo_surface_t* image = wrap(premultiplied.data(), CAIRO_FORMAT_ARGB32, w, h);
  if (!image) return false;
  paintImage(myContext, image, static_cast<double>(myArea.left) + at->x,
             static_cast<double>(myArea.top) + at->y, w, h, w, h);
  cairo_surface_destroy(image);
  return true;
}

// Copies from a canvas that has pixels of its own: an offscreen canvas or a
// part of one.
bool cCrbCanvas::draw(int x, int y, cCanvas* source, int sx, int sy, int sw, int sh) {
  auto* src = dynamic_cast<cCrbCanvas*>(source);
  if (!src || !myContext || !src->myContext) return false;
  cairo_surface_t* image = cairo_get_target(src->myContext);
  if (cairo_surface_get_type(image) != CAIRO_SURFACE_TYPE_IMAGE) return false;
  const int srcW = src->width(), srcH = src->height();
  int startX = 0, startY = 0, w = srcW, h = srcH;
  if (sx > 0 || sy > 0 || sw > 0 || sh > 0) {
    if (srcW < 1 || srcH < 1) return false;
    if (sx > srcW || sy > srcH) return true;
    startX = std::max(sx, 0);
    startY = std::max(sy, 0);
    w = sw > 0 && sw < srcW - startX ? sw : srcW - startX;
    h = sh > 0 && sh < srcH - startY ? sh : srcH - startY;
    if (w == 0 || h == 0) return false;
  }
  if (w < 1 || h < 1) return true;
  const double X = static_cast<double>(myArea.left) + x, Y = static_cast<double>(myArea.top) + y;
  cairo_surface_flush(image);
  cairo_save(myContext);
  cairo_new_path(myContext);
  cairo_rectangle(myContext, X, Y, w, h);
  cairo_set_source_surface(myContext, image, X - src->myArea.left - startX, Y - src->myArea.top - startY);
  cairo_fill(myContext);
  cairo_restore(myContext);
  return true;
}
